#include "convert/record_builder.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "fields/date_time.h"

namespace qv {
namespace {

class RecordBuilder : public ::testing::Test {
 protected:
  RecordBuilder() { SetDefaultMasterRecord(master_); }

  // Slot i gets the i-th type; every other slot is emptied.
  void SetTypes(std::initializer_list<uint32_t> types) {
    for (FieldDefinition& field : master_.fields) field.type = kEmptySlot;
    size_t slot = 0;
    for (uint32_t type : types) master_.fields[slot++].type = type;
  }

  // The record built from one CSV line of `csv`.
  Bytes Build(const std::string& csv, int lineNumber = 1) {
    CsvTable lines = ReadCsvTable(csv, ',');
    if (lines.empty()) lines = ReadCsvTable("\n", ',');  // one line without fields
    RecordBuildContext context{master_, dateFormat_, timeFormat_, popupLists_};
    Bytes out = {0xAA};  // the record is appended after what is there
    const int32_t size = BuildRecordFromCsv(context, lines, 0, out, lineNumber, warnings_);
    EXPECT_EQ(static_cast<size_t>(size), out.size() - 1);
    return Bytes(out.begin() + 1, out.end());
  }

  // The record of a single used slot 0: flag byte, entry, end mark.
  Bytes Entry(uint32_t type, const std::string& cell) {
    SetTypes({type});
    Bytes record = Build(cell + "\n");
    EXPECT_GE(record.size(), 3u);
    EXPECT_EQ(record.front(), 0);
    EXPECT_EQ(record[record.size() - 2], 0xFF);
    EXPECT_EQ(record.back(), 0xFF);
    return Bytes(record.begin() + 1, record.end() - 2);
  }

  MasterRecord master_;
  int dateFormat_ = 0;
  int timeFormat_ = 0;
  std::array<Bytes, kFieldSlots> popupLists_{};
  std::vector<std::string> warnings_;
};

TEST_F(RecordBuilder, TextEntries) {
  EXPECT_EQ(Entry(kText, ""), (Bytes{0, 0}));
  EXPECT_EQ(Entry(kText, "abc"), (Bytes{4, 0, 'a', 'b', 'c', 0}));
  EXPECT_EQ(Entry(kLongText, "\"a\r\nb\""), (Bytes{4, 0, 'a', '\n', 'b', 0}));
  EXPECT_EQ(Entry(kText2, "\"a\rb\""), (Bytes{4, 0, 'a', '\n', 'b', 0}));
  // Short text keeps at most 9 characters and is not normalised.
  EXPECT_EQ(Entry(kShortText, "123"), (Bytes{4, 0, '1', '2', '3', 0}));
  EXPECT_EQ(Entry(kShortText, ""), (Bytes{0, 0}));
  EXPECT_EQ(Entry(kSubKindText, "abcdefghijkl"),
            (Bytes{10, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 0}));
  EXPECT_EQ(Entry(kShortText, "\"a\r\nb\""), (Bytes{5, 0, 'a', '\r', '\n', 'b', 0}));
  // Only the cut one says so.
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("\"abcdefghijkl\" is longer than 9 characters"), std::string::npos);
}

TEST_F(RecordBuilder, NumberEntries) {
  EXPECT_EQ(Entry(kInteger, "42"), (Bytes{4, 0, 42, 0, 0, 0}));
  EXPECT_EQ(Entry(kUniqueInteger, "-1"), (Bytes{4, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Entry(kUniqueInteger2, "abc"), (Bytes{4, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Entry(kInteger, ""), (Bytes{4, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Entry(kInteger, " 7x"), (Bytes{4, 0, 7, 0, 0, 0}));
  EXPECT_EQ(Entry(kInteger, "99999999999"), (Bytes{4, 0, 0xFF, 0xFF, 0xFF, 0x7F}));
  Bytes extended = {24, 0, 5, 0, 0, 0};
  extended.resize(26, 0);
  EXPECT_EQ(Entry(kUniqueIntegerExt, "5"), extended);
}

TEST_F(RecordBuilder, OneByteEntries) {
  for (const char* zero : {"0", "no", ""}) EXPECT_EQ(Entry(kCheckBox, zero), (Bytes{1, 0, 0}));
  for (const char* one : {"1", "yes", "00", "0abc"}) {
    EXPECT_EQ(Entry(kCheckBox, one), (Bytes{1, 0, 1}));
  }
  EXPECT_EQ(Entry(kOneByteValue, "123"), (Bytes{1, 0, 0}));
  EXPECT_EQ(Entry(kNoData, "123"), (Bytes{0, 0}));

  const std::string list("Red\0Green\0Blue\0\0\0", 17);
  popupLists_[0].assign(list.begin(), list.end());
  EXPECT_EQ(Entry(kPopup, "green"), (Bytes{1, 0, 1}));
  EXPECT_EQ(Entry(kPopup, "Purple"), (Bytes{1, 0, 255}));
  EXPECT_EQ(Entry(kPopup, "no VALUE"), (Bytes{1, 0, 255}));
  // The empty cell finds the empty text that ends the list.
  EXPECT_EQ(Entry(kPopup, ""), (Bytes{1, 0, 3}));
}

TEST_F(RecordBuilder, DateAndTimeEntries) {
  const StoredValue date = StoreDate(3, 15, 2001);
  EXPECT_EQ(Entry(kDate, "3/15/2001"), (Bytes{4, 0, date[0], date[1], date[2], date[3]}));
  // The formats of the context are the ones used.
  dateFormat_ = 2;
  EXPECT_EQ(Entry(kDate, "15.3.2001"), (Bytes{4, 0, date[0], date[1], date[2], date[3]}));
  EXPECT_EQ(Entry(kTime, "1:45 pm"), (Bytes{4, 0, 0, 45, 13, 0}));
  timeFormat_ = 1;
  EXPECT_EQ(Entry(kTime, "13:45"), (Bytes{4, 0, 0, 45, 13, 0}));
  EXPECT_EQ(Entry(kTime, "no time"), (Bytes{4, 0, 0, 0, 255, 0}));
  // Out of range: no time.
  EXPECT_EQ(Entry(kTime, "25:00"), (Bytes{4, 0, 0, 0, 255, 0}));
}

TEST_F(RecordBuilder, SlotsColumnsAndEndMark) {
  // Nothing used: the flag byte and the end mark.
  EXPECT_EQ(Build("a\n"), (Bytes{0, 0xFF, 0xFF}));

  // An empty slot before a used one is a placeholder and takes no column.
  SetTypes({kText, kEmptySlot, kInteger});
  EXPECT_EQ(Build("x,9\n"), (Bytes{0, 2, 0, 'x', 0, 0, 0, 4, 0, 9, 0, 0, 0, 0xFF, 0xFF}));

  // Unknown type codes keep a zero-length entry, so later slots stay aligned.
  SetTypes({40, kInteger});
  EXPECT_EQ(Build("x,9\n"), (Bytes{0, 0, 0, 4, 0, 9, 0, 0, 0, 0xFF, 0xFF}));

  // The prefix.
  SetTypes({kEmptySlot, kEmptySlot, kEmptySlot});
  master_.recordPrefixFlag = 1;
  Bytes prefixed = {1, 'F', 'r', 'o', 'm', 'C', 'S', 'V'};
  prefixed.resize(21, 0);
  prefixed.insert(prefixed.end(), {0xFF, 0xFF});
  EXPECT_EQ(Build(""), prefixed);
}

TEST_F(RecordBuilder, LastSlotUsedHasNoEndMark) {
  master_.fields[29].type = kCheckBox;
  const Bytes record = Build("0\n");
  ASSERT_EQ(record.size(), 1u + 29 * 2 + 3);
  EXPECT_EQ(Bytes(record.end() - 5, record.end()), (Bytes{0, 0, 1, 0, 0}));
}

TEST_F(RecordBuilder, ColumnsFollowColumnOrder) {
  SetTypes({kText, kText, kText});
  master_.columnOrder[0] = 2;
  master_.columnOrder[1] = 0;
  master_.columnOrder[2] = 1;
  EXPECT_EQ(GetCsvColumn(2, master_), 0);
  EXPECT_EQ(GetCsvColumn(0, master_), 1);
  EXPECT_EQ(GetCsvColumn(1, master_), 2);
  EXPECT_EQ(Build("c,a,b\n"), (Bytes{0, 2, 0, 'a', 0, 2, 0, 'b', 0, 2, 0, 'c', 0, 0xFF, 0xFF}));

  // An empty slot placed first takes no column.
  master_.fields[2].type = kEmptySlot;
  EXPECT_EQ(GetCsvColumn(0, master_), 0);
  EXPECT_EQ(GetCsvColumn(1, master_), 1);
  EXPECT_EQ(GetCsvColumn(2, master_), 0);
  // A slot missing from the order (and slots out of range) have no column.
  master_.columnOrder[3] = 0;
  EXPECT_EQ(GetCsvColumn(3, master_), -1);
  EXPECT_EQ(GetCsvColumn(30, master_), -1);
  EXPECT_EQ(GetCsvColumn(-1, master_), -1);
}

TEST_F(RecordBuilder, LongTextIsCutToOneEntryWithAWarning) {
  const std::string fits(65533, 'f');
  Bytes entry = Entry(kLongText, fits);
  ASSERT_EQ(entry.size(), 2u + 65534);
  EXPECT_EQ(entry[0] | entry[1] << 8, 65534);
  EXPECT_TRUE(warnings_.empty());

  const std::string tooLong = std::string(65000, 'x') + "\r\n" + std::string(1000, 'y');
  SetTypes({kInteger, kLongText});
  const Bytes record = Build("1,\"" + tooLong + "\"\n", 12);
  ASSERT_EQ(record.size(), 1u + 6 + 2 + 65534 + 2);
  EXPECT_EQ(record[7] | record[8] << 8, 65534);
  EXPECT_EQ(record[9 + 65000], '\n');
  EXPECT_EQ(record[9 + 65532], 'y');
  EXPECT_EQ(record[9 + 65533], 0);
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_EQ(warnings_[0], "Line 12, column 2 (Field 2): text cut to 65533 characters");
}

TEST_F(RecordBuilder, LargestUnique) {
  const auto largest = [&](const std::string& csv, bool fieldNames) {
    return GetLargestUnique(ReadCsvTable(csv, ','), master_, fieldNames);
  };
  EXPECT_EQ(largest("5\n17\n3\n", false), 0u);  // no unique slot
  SetTypes({kText, kUniqueInteger, kEmptySlot, kUniqueIntegerExt});
  EXPECT_EQ(largest("a,5,1\nb,17,2\nc,3,16\n", false), 17u);
  EXPECT_EQ(largest("a,5,1\nb,-1,2\nc,3,16\n", false), 4294967295u);
  EXPECT_EQ(largest("a,99,99\nb,2,3\n", true), 3u);
  EXPECT_EQ(largest("a,99,99\n", true), 0u);
  EXPECT_EQ(largest("", false), 0u);
  master_.fields[0].type = kUniqueInteger2;
  EXPECT_EQ(largest("100,1,2\n", false), 100u);
}

}  // namespace
}  // namespace qv
