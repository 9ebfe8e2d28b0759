#include <gtest/gtest.h>

#include "pdb/database.h"

namespace qv {
namespace {

// A database appended record by record into the builder's buffer must be
// the one AssembleDatabase makes from separate records, and every record
// must read back at its own offset.
TEST(DatabaseBuilder, RecordByRecordMatchesAssemblyAndReadsBack) {
  const std::vector<Bytes> records = {{1, 2, 3}, {}, {4}, Bytes(300, 7), {}};
  const DatabaseHeader header = SetNewDatabaseHeader("Built");
  DatabaseBuilder builder(header, records.size());
  builder.Reserve(10);  // smaller than needed: the buffer still grows
  for (const Bytes& record : records) {
    Bytes& out = builder.StartRecord();
    out.insert(out.end(), record.begin(), record.end());
  }
  const Result<Bytes> built = builder.Finish();
  ASSERT_TRUE(built);
  const Bytes& file = *built;
  EXPECT_EQ(file, AssembleDatabase(header, records).value());

  const Result<DatabaseHeader> readBack = ReadDatabaseHeader(file);
  ASSERT_TRUE(readBack);
  const DatabaseHeader& read = *readBack;
  EXPECT_EQ(read.recordCount, records.size());
  for (uint32_t i = 0; i < records.size(); ++i) {
    const Result<ByteView> record = ReadRecord(file, i, read.recordCount);
    ASSERT_TRUE(record) << i;
    EXPECT_EQ(Bytes(record->begin(), record->end()), records[i]) << i;
  }
}

TEST(DatabaseBuilder, RefusesCountsItCannotDescribeOrThatWereNotKept) {
  const DatabaseHeader header = SetNewDatabaseHeader("Count");
  DatabaseBuilder fewer(header, 3);
  fewer.StartRecord().push_back(1);
  fewer.StartRecord();
  EXPECT_FALSE(fewer.Finish());

  DatabaseBuilder more(header, 1);
  more.StartRecord();
  more.StartRecord();
  EXPECT_FALSE(more.Finish());

  DatabaseBuilder tooMany(header, 65536);
  for (int i = 0; i < 65536; ++i) tooMany.StartRecord();
  EXPECT_FALSE(tooMany.Finish());

  DatabaseBuilder none(header, 0);
  const Bytes empty = none.Finish().value();
  const Result<DatabaseHeader> readBack = ReadDatabaseHeader(empty);
  ASSERT_TRUE(readBack);
  const DatabaseHeader& read = *readBack;
  EXPECT_EQ(read.recordCount, 0);
}

}  // namespace
}  // namespace qv
