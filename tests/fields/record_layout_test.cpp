#include "fields/record_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/db_builder.h"

namespace qv {
namespace {

using testing::RowBuilder;

Bytes B(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }

// Where the data of slot n starts in `record` and how long it is, as
// SplitRecordFields finds them: -1 and 0 for a slot without data.
int GetFieldOffset(const Bytes& record, int n) {
  if (n < 0 || n >= kFieldSlots) return -1;
  const ByteView data = SplitRecordFields(record)[static_cast<size_t>(n)];
  return data.data() == nullptr ? -1 : static_cast<int>(data.data() - record.data());
}
int GetFieldLength(const Bytes& record, int n) {
  if (n < 0 || n >= kFieldSlots) return 0;
  return static_cast<int>(SplitRecordFields(record)[static_cast<size_t>(n)].size());
}

TEST(RecordLayout, WalksEntriesWithAndWithoutPrefix) {
  const Bytes plain = RowBuilder().Text("abc").Int(7).EndMark().Build();
  EXPECT_EQ(plain, B({0, 4, 0, 'a', 'b', 'c', 0, 4, 0, 7, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(GetFieldOffset(plain, 0), 3);
  EXPECT_EQ(GetFieldLength(plain, 0), 4);
  EXPECT_EQ(GetFieldOffset(plain, 1), 9);
  EXPECT_EQ(GetFieldLength(plain, 1), 4);
  EXPECT_EQ(GetFieldOffset(plain, 2), -1);
  EXPECT_EQ(GetFieldLength(plain, 2), 0);
  EXPECT_EQ(GetFieldOffset(plain, 5), -1);
  EXPECT_EQ(GetFieldOffset(plain, -1), -1);

  // Any non-zero flag byte means a 20-byte prefix, whatever it holds.
  Bytes prefixed = {7};
  prefixed.insert(prefixed.end(), 20, 0xFF);
  const Bytes tail = RowBuilder().Text("x").Build();
  prefixed.insert(prefixed.end(), tail.begin() + 1, tail.end());
  EXPECT_EQ(GetFieldOffset(prefixed, 0), 23);
  EXPECT_EQ(GetFieldLength(prefixed, 0), 2);

  const Bytes endOnly = B({0, 0xFF, 0xFF});
  EXPECT_EQ(GetFieldOffset(endOnly, 0), -1);
  EXPECT_EQ(GetFieldLength(endOnly, 0), 0);
  EXPECT_EQ(GetFieldOffset(Bytes{}, 0), -1);
  EXPECT_EQ(GetFieldLength(Bytes{}, 0), 0);

  // All 30 slots used: no end mark, the last field is still found.
  RowBuilder full;
  for (int slot = 0; slot < kFieldSlots; ++slot) full.Int(slot);
  const Bytes all = full.Build();
  EXPECT_EQ(GetFieldOffset(all, 29), 1 + 29 * 6 + 2);
  EXPECT_EQ(GetFieldLength(all, 29), 4);
  EXPECT_EQ(GetFieldOffset(all, 30), -1);
}

TEST(RecordLayout, MalformedRecordsHaveNoFieldsPastTheDamage) {
  // Too short for the flag byte's prefix.
  Bytes shortPrefix = {1};
  shortPrefix.insert(shortPrefix.end(), 19, 0);
  EXPECT_EQ(GetFieldOffset(shortPrefix, 0), -1);
  // An entry whose length runs past the end has no data, nor has any after it.
  const Bytes overrun = RowBuilder().Text("ok").Append(B({10, 0, 'x', 'y'})).Build();
  EXPECT_EQ(GetFieldLength(overrun, 0), 3);
  EXPECT_EQ(GetFieldOffset(overrun, 1), -1);
  EXPECT_EQ(GetFieldLength(overrun, 1), 0);
  EXPECT_EQ(GetFieldOffset(overrun, 2), -1);
  // A length cut in half.
  const Bytes halfLength = RowBuilder().Int(1).Append(B({5})).Build();
  EXPECT_EQ(GetFieldOffset(halfLength, 0), 3);
  EXPECT_EQ(GetFieldOffset(halfLength, 1), -1);
  // A missing end mark simply ends the fields.
  const Bytes noEnd = RowBuilder().Int(1).Build();
  EXPECT_EQ(GetFieldOffset(noEnd, 1), -1);
  // The largest length a walk can meet stays in bounds.
  const Bytes huge = B({0, 0xFE, 0xFF, 1, 2});
  EXPECT_EQ(GetFieldOffset(huge, 0), -1);
  EXPECT_EQ(GetFieldLength(huge, 0), 0);
}

// SplitRecordFields walks the entries once for every slot; on sound and
// damaged records alike it must find what the walk to each field finds.
TEST(RecordLayout, SplittingAgreesWithTheWalkToEachField) {
  Bytes prefixed = {7};
  prefixed.insert(prefixed.end(), 20, 0xFF);
  const Bytes tail = RowBuilder().Text("x").Int(3).EndMark().Build();
  prefixed.insert(prefixed.end(), tail.begin() + 1, tail.end());
  Bytes shortPrefix = {1};
  shortPrefix.insert(shortPrefix.end(), 19, 0);
  Bytes bareprefix = {1};
  bareprefix.insert(bareprefix.end(), 20, 0);
  RowBuilder full;
  for (int slot = 0; slot < kFieldSlots; ++slot) full.Int(slot);
  const std::vector<Bytes> records = {
      RowBuilder().Text("abc").Text("").Int(7).EndMark().Build(),
      prefixed,
      shortPrefix,
      bareprefix,
      full.Build(),
      B({0, 0xFF, 0xFF}),
      B({0}),
      Bytes{},
      RowBuilder().Text("ok").Append(B({10, 0, 'x', 'y'})).Build(),
      RowBuilder().Int(1).Append(B({5})).Build(),
      B({0, 0xFE, 0xFF, 1, 2}),
  };
  for (size_t r = 0; r < records.size(); ++r) {
    const Bytes& record = records[r];
    const RecordFields fields = SplitRecordFields(record);
    for (int n = 0; n < kFieldSlots; ++n) {
      const int offset = GetFieldOffset(record, n);
      const ByteView field = fields[static_cast<size_t>(n)];
      if (offset < 0) {
        EXPECT_TRUE(field.empty()) << "record " << r << " field " << n;
        continue;
      }
      EXPECT_EQ(field.size(), static_cast<size_t>(GetFieldLength(record, n)))
          << "record " << r << " field " << n;
      if (!field.empty()) {
        EXPECT_EQ(field.data(), record.data() + offset) << "record " << r;
      }
    }
  }
}

}  // namespace
}  // namespace qv
