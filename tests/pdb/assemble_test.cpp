#include <gtest/gtest.h>

#include "pdb/database.h"
#include "pdb/master_record.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::RowBuilder;
using testing::TestDatabase;

uint32_t EntryOffset(ByteView file, uint32_t index) {
  ByteReader in(file, kHeaderSize + kRecordEntrySize * index);
  return ReadRecordEntry(in).dataOffset;
}

TEST(AssembleDatabase, ThreeRowsGiveTheImportLayout) {
  TestDatabase db("Three");
  db.AddField(0, kText, "Name");
  for (const char* name : {"a", "bb", "ccc"}) db.AddRow(RowBuilder().Text(name).EndMark().Build());
  const Bytes file = db.Build();

  const Result<DatabaseHeader> readHeader = ReadDatabaseHeader(file);
  ASSERT_TRUE(readHeader);
  const DatabaseHeader& header = *readHeader;
  EXPECT_EQ(header.recordCount, 34);
  EXPECT_EQ(header.appInfoOffset, 352u);
  EXPECT_EQ(EntryOffset(file, 0), 392u);
  for (uint32_t i = 1; i <= 30; ++i) EXPECT_EQ(EntryOffset(file, i), 2544u + 3 * (i - 1)) << i;
  EXPECT_EQ(EntryOffset(file, 31), 2634u);
  // "a": flag, length 2, 'a', NUL, end mark = 7 bytes.
  EXPECT_EQ(EntryOffset(file, 32), 2641u);
  EXPECT_EQ(EntryOffset(file, 33), 2649u);
  EXPECT_EQ(file.size(), 2658u);

  // The two bytes after the list and the app info are zero; entries carry no
  // attributes or unique ids.
  for (size_t i = 350; i < 392; ++i) EXPECT_EQ(file[i], 0) << i;
  for (uint32_t i = 0; i < 34; ++i) {
    ByteReader in(file, kHeaderSize + kRecordEntrySize * i + 4);
    EXPECT_EQ(in.ReadU32BE(), 0u) << i;
  }

  auto row = ReadRecord(file, 33, header.recordCount);
  ASSERT_TRUE(row.ok());
  EXPECT_EQ(Bytes(row->begin(), row->end()), (Bytes{0, 4, 0, 'c', 'c', 'c', 0, 0xFF, 0xFF}));
  auto list = ReadRecord(file, 30, header.recordCount);
  ASSERT_TRUE(list.ok());
  EXPECT_EQ(Bytes(list->begin(), list->end()), Bytes(3, 0));
}

TEST(AssembleDatabase, EmptyDatabaseAndRecordBytesAreKept) {
  TestDatabase db;
  db.SetPopup(2, {"Red", "Green"});
  const Bytes file = db.Build();
  const Result<DatabaseHeader> readHeader = ReadDatabaseHeader(file);
  ASSERT_TRUE(readHeader);
  const DatabaseHeader& header = *readHeader;
  EXPECT_EQ(header.recordCount, 31);
  EXPECT_EQ(header.appInfoOffset, 328u);
  EXPECT_EQ(EntryOffset(file, 0), 368u);

  auto master = ReadRecord(file, 0, header.recordCount);
  ASSERT_TRUE(master.ok());
  EXPECT_EQ(master->size(), kMasterRecordSize);
  auto list = ReadRecord(file, 3, header.recordCount);
  ASSERT_TRUE(list.ok());
  EXPECT_EQ(AsText(*list), std::string_view("Red\0Green\0\0\0\0", 13));

  // The header passed in keeps its other fields; counts are recomputed.
  DatabaseHeader given = SetNewDatabaseHeader("Given");
  given.recordCount = 999;
  given.uniqueIdSeed = 42;
  const Bytes bare = AssembleDatabase(given, {}).value();
  ASSERT_EQ(bare.size(), kHeaderSize + 2 + kAppInfoSize);
  const Result<DatabaseHeader> bareHeader = ReadDatabaseHeader(bare);
  ASSERT_TRUE(bareHeader);
  EXPECT_EQ(bareHeader->recordCount, 0);
  EXPECT_EQ(bareHeader->appInfoOffset, 80u);
  EXPECT_EQ(bareHeader->uniqueIdSeed, 42u);
}

TEST(AssembleDatabase, RefusesMoreRecordsThanTheCountHolds) {
  const std::vector<Bytes> many(65536);
  EXPECT_FALSE(AssembleDatabase(SetNewDatabaseHeader("x"), many));
  const std::vector<Bytes> most(65535);
  const Bytes file = AssembleDatabase(SetNewDatabaseHeader("x"), most).value();
  const Result<DatabaseHeader> readHeader = ReadDatabaseHeader(file);
  ASSERT_TRUE(readHeader);
  const DatabaseHeader& header = *readHeader;
  EXPECT_EQ(header.recordCount, 65535);
  EXPECT_EQ(file.size(), kHeaderSize + 8 * 65535 + 2 + kAppInfoSize);
}

TEST(RowBuilder, WritesPrefixEntriesAndEndMark) {
  const Bytes row = RowBuilder()
                        .Prefix(true)
                        .Text("")
                        .Int(-2)
                        .Byte(7)
                        .Date(366)
                        .Time(13, 45)
                        .EndMark()
                        .Build();
  Bytes expected = {1, 'F', 'r', 'o', 'm', 'C', 'S', 'V'};
  expected.resize(21, 0);
  const Bytes entries = {0, 0,                                    // empty text
                         4, 0, 0xFE, 0xFF, 0xFF, 0xFF,            // -2
                         1, 0, 7,                                 // byte
                         4, 0, 0x6E, 1, 0, 0,                     // day 366
                         4, 0, 0, 45, 13, 0,                      // second, minute, hour, 0
                         0xFF, 0xFF};
  expected.insert(expected.end(), entries.begin(), entries.end());
  EXPECT_EQ(row, expected);
  EXPECT_EQ(RowBuilder().EndMark().Build(), (Bytes{0, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace qv
