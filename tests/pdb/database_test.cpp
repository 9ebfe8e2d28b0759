#include "pdb/database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/db_builder.h"

namespace qv {
namespace {

Bytes Concat(std::initializer_list<ByteView> parts) {
  Bytes all;
  for (ByteView part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A file of `count` entries with the given offsets and `tail` bytes after the
// record list, so the records' extents are under the test's control.
Bytes FileWithOffsets(const std::vector<uint32_t>& offsets, size_t tail) {
  DatabaseHeader header = SetNewDatabaseHeader("x");
  header.recordCount = static_cast<uint16_t>(offsets.size());
  Bytes file;
  ByteWriter out(file);
  WriteDatabaseHeader(header, out);
  for (uint32_t offset : offsets) WriteRecordEntry(out, offset);
  for (size_t i = 0; i < tail; ++i) out.WriteU8(static_cast<uint8_t>(i));
  return file;
}

std::string RecordText(ByteView file, uint32_t index, uint32_t count) {
  auto record = ReadRecord(file, index, count);
  return record ? std::string(AsText(*record)) : std::string("<none>");
}

TEST(ByteIo, BigAndLittleEndianPrimitivesRoundTripWithoutSignExtension) {
  Bytes bytes;
  ByteWriter out(bytes);
  out.WriteU32BE(0x506D4442);
  out.WriteU16BE(0x1FFFF);  // only the low 16 bits are stored
  out.WriteU32LE(0xFFFFFFFE);
  out.WriteU16LE(0x80FF);
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(AsText(ByteView(bytes).first(4)), "PmDB");
  ByteReader in(bytes);
  EXPECT_EQ(in.ReadU32BE(), 0x506D4442u);
  EXPECT_EQ(in.ReadU16BE(), 0xFFFFu);
  EXPECT_EQ(in.ReadU32LE(), 0xFFFFFFFEu);
  EXPECT_EQ(in.ReadU16LE(), 0x80FFu);
  EXPECT_TRUE(in.ok());
  EXPECT_EQ(in.ReadU8(), 0);  // past the end: zero, and the failure sticks
  EXPECT_FALSE(in.ok());
  EXPECT_TRUE(in.Seek(0));
  EXPECT_FALSE(in.ok());
}

TEST(ByteIo, ShortReadsZeroFillAndFail) {
  const Bytes bytes = {1, 2, 3};
  ByteReader in(bytes);
  std::array<uint8_t, 4> out{9, 9, 9, 9};
  EXPECT_FALSE(in.Copy(out));
  EXPECT_EQ(out, (std::array<uint8_t, 4>{}));
  EXPECT_FALSE(in.ok());

  ByteReader seek(bytes, 4);
  EXPECT_FALSE(seek.ok());
  ByteReader take(bytes, 1);
  EXPECT_TRUE(take.Take(3).empty());
  EXPECT_FALSE(take.ok());
}

// Every length a record's text may have near the copy's boundaries, at
// every offset of the source, copies exactly those bytes and no others.
TEST(ByteIo, CopyBytesCopiesEveryLengthAndNothingAround) {
  Bytes source(48);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i + 1);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t count = 0; offset + count <= source.size(); ++count) {
      Bytes out(count + 2, 0xEE);
      CopyBytes(out.data() + 1, source.data() + offset, count);
      Bytes expected(count + 2, 0xEE);
      std::copy_n(source.begin() + static_cast<ptrdiff_t>(offset), count, expected.begin() + 1);
      ASSERT_EQ(out, expected) << "offset " << offset << ", count " << count;
    }
  }
}

// Room is a guess: writing past it grows the vector, and the bytes before
// the writer and all that it wrote survive; Finish drops the unused room.
TEST(ByteIo, CursorWriterGrowsPastItsRoomAndCutsTheRest) {
  Bytes out = {7};
  {
    CursorWriter writer(out, 3);
    writer.WriteU8(1);
    writer.WriteU16LE(0x0302);
    writer.WriteU32LE(0x07060504);
    writer.WriteZeros(300);
    writer.WriteBytes(Bytes{9, 9});
    EXPECT_EQ(writer.Finish(), 309u);
  }
  ASSERT_EQ(out.size(), 310u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), (Bytes{7, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(out[307], 0);
  EXPECT_EQ(out[308], 9);
  EXPECT_EQ(out[309], 9);

  // Without Finish, the destructor cuts the room just the same.
  { CursorWriter(out, 100).WriteU8(5); }
  EXPECT_EQ(out.size(), 311u);
  EXPECT_EQ(out.back(), 5);
}

TEST(DatabaseHeader, NewHeaderWritesTheFixedDefaults) {
  const DatabaseHeader header = SetNewDatabaseHeader("Contacts");
  Bytes bytes;
  ByteWriter out(bytes);
  WriteDatabaseHeader(header, out);
  ASSERT_EQ(bytes.size(), kHeaderSize);
  Bytes name(32, 0);
  std::string("Contacts").copy(reinterpret_cast<char*>(name.data()), 8);
  const Bytes expected = Concat({name,
                                 Bytes{0, 8, 0, 0},                // attributes, version
                                 Bytes(8, 0),                      // not dated yet
                                 Bytes{0, 0, 0, 0, 0, 0, 0, 86},   // backup, modification count
                                 Bytes{0, 0, 1, 0xA0, 0, 0, 0, 0}, // app info 416, sort info
                                 AsBytes("PmDBPmDB"), Bytes(8, 0), Bytes{0, 0}});
  EXPECT_EQ(bytes, expected);
}

TEST(DatabaseHeader, StampDatesTheHeaderAndDropsBlocksThatAreNotWritten) {
  DatabaseHeader header = SetNewDatabaseHeader("Taken over");
  header.creationTime = header.modificationTime = header.backupTime = 7;
  header.sortInfoOffset = 500;
  header.nextRecordList = 600;
  header.modificationCount = 3;
  header.uniqueIdSeed = 9;
  StampNewDatabase(header, 3797366400u);
  EXPECT_EQ(header.creationTime, 3797366400u);
  EXPECT_EQ(header.modificationTime, 3797366400u);
  EXPECT_EQ(header.backupTime, 0u);
  EXPECT_EQ(header.sortInfoOffset, 0u);
  EXPECT_EQ(header.nextRecordList, 0u);
  EXPECT_EQ(header.modificationCount, 3u);  // the rest is kept
  EXPECT_EQ(header.uniqueIdSeed, 9u);
}

TEST(DatabaseHeader, LooksLikeDatabaseTellsHeadersFromText) {
  Bytes header;
  ByteWriter out(header);
  WriteDatabaseHeader(SetNewDatabaseHeader("Any"), out);
  EXPECT_TRUE(LooksLikeDatabase(header));
  Bytes otherCreator = header;
  std::copy_n("DATAmemo", 8, otherCreator.begin() + 60);  // any database, not only ours
  EXPECT_TRUE(LooksLikeDatabase(otherCreator));
  EXPECT_FALSE(LooksLikeDatabase(ByteView(header).first(kHeaderSize - 1)));
  Bytes binaryCodes = header;
  binaryCodes[63] = 0;
  EXPECT_FALSE(LooksLikeDatabase(binaryCodes));

  const std::string text = "Name,Note,Place\n" + std::string(100, 'x') + "\n";
  EXPECT_FALSE(LooksLikeDatabase(AsBytes(text)));
  std::string utf16;  // every other byte a NUL
  for (char c : text) utf16 += std::string{c, '\0'};
  EXPECT_FALSE(LooksLikeDatabase(AsBytes(utf16)));
}

TEST(DatabaseHeader, NameIsCutAndZeroPadded) {
  DatabaseHeader header = SetNewDatabaseHeader(std::string(40, 'a'));
  EXPECT_EQ(std::string(header.name.data()), std::string(31, 'a'));
  EXPECT_EQ(header.name[31], '\0');

  SetHeaderName(header, "Short");
  EXPECT_EQ(std::string(header.name.data()), "Short");
  for (size_t i = 5; i < header.name.size(); ++i) EXPECT_EQ(header.name[i], '\0') << i;
}

TEST(DatabaseHeader, ReadsBackWhatWasWrittenAndChecksOnlyTheCreator) {
  DatabaseHeader written = SetNewDatabaseHeader("Round trip");
  written.attributes = 0xFFFF;
  written.uniqueIdSeed = 0xDEADBEEF;
  written.nextRecordList = 7;
  written.recordCount = 65535;
  written.creationTime = 893970430;
  written.typeCode = 0x41424344;  // type code is not compared
  Bytes bytes;
  ByteWriter out(bytes);
  WriteDatabaseHeader(written, out);

  const Result<DatabaseHeader> readBack = ReadDatabaseHeader(bytes);
  ASSERT_TRUE(readBack);
  const DatabaseHeader& read = *readBack;
  EXPECT_EQ(std::string(read.name.data()), "Round trip");
  EXPECT_EQ(read.attributes, 0xFFFF);
  EXPECT_EQ(read.creationTime, 893970430u);
  EXPECT_EQ(read.typeCode, 0x41424344u);
  EXPECT_EQ(read.uniqueIdSeed, 0xDEADBEEFu);
  EXPECT_EQ(read.nextRecordList, 7u);
  EXPECT_EQ(read.recordCount, 65535);

  bytes[67] = 'b';  // creator "PmDb": a whole header, but not ours
  EXPECT_FALSE(ReadDatabaseHeader(bytes));
  const Result<DatabaseHeader> foreign = ReadAnyDatabaseHeader(bytes);
  ASSERT_TRUE(foreign);
  EXPECT_EQ(foreign->creatorCode, 0x506D4462u);
}

TEST(DatabaseHeader, FileEndingInsideTheHeaderIsNotADatabase) {
  Bytes bytes;
  ByteWriter out(bytes);
  WriteDatabaseHeader(SetNewDatabaseHeader("cut"), out);
  EXPECT_FALSE(ReadAnyDatabaseHeader(ByteView(bytes).first(77)));
  EXPECT_FALSE(ReadAnyDatabaseHeader({}));
}

TEST(RecordEntry, WritesOffsetThenFourZeroBytesAndReadsBack) {
  Bytes bytes;
  ByteWriter out(bytes);
  WriteRecordEntry(out, 0x01020304);
  EXPECT_EQ(bytes, (Bytes{1, 2, 3, 4, 0, 0, 0, 0}));

  const Bytes stored = {0, 0, 1, 0, 0x40, 0xA, 0xB, 0xC};
  ByteReader in(stored);
  const RecordEntry entry = ReadRecordEntry(in);
  EXPECT_TRUE(in.ok());
  EXPECT_EQ(entry.dataOffset, 256u);
  EXPECT_EQ(entry.attributes, 0x40);
  EXPECT_EQ(entry.uniqueId, (std::array<uint8_t, 3>{0xA, 0xB, 0xC}));

  ByteReader shortIn(ByteView(stored).first(7));
  ReadRecordEntry(shortIn);
  EXPECT_FALSE(shortIn.ok());
}

TEST(ReadRecord, ExtentsRunToTheNextOffsetOrTheEndOfTheFile) {
  // Two entries: records start at 94 and 97 (header 78 + list 16 = 94).
  const Bytes file = Concat({FileWithOffsets({94, 97}, 0), AsBytes("abcdefg")});
  EXPECT_EQ(RecordText(file, 0, 2), "abc");
  EXPECT_EQ(RecordText(file, 1, 2), "defg");
  // With a count of 1 the only record is everything from its offset onward.
  EXPECT_EQ(RecordText(file, 0, 1), "abcdefg");
  EXPECT_EQ(RecordText(file, 2, 2), "<none>");

  // Equal offsets: an empty record, which is still a record.
  const Bytes same = Concat({FileWithOffsets({94, 94}, 0), AsBytes("xy")});
  auto empty = ReadRecord(same, 0, 2);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->empty());
  EXPECT_EQ(RecordText(same, 1, 2), "xy");

  // The last record starting exactly at the end of the file is empty too.
  const Bytes atEnd = FileWithOffsets({86}, 0);
  ASSERT_TRUE(ReadRecord(atEnd, 0, 1).ok());
  EXPECT_TRUE(ReadRecord(atEnd, 0, 1)->empty());
}

TEST(ReadRecord, InconsistentOrOutOfFileExtentsCannotBeRead) {
  // Decreasing offsets: a negative length.
  const Bytes decreasing = Concat({FileWithOffsets({97, 94}, 0), AsBytes("abcdefg")});
  EXPECT_EQ(RecordText(decreasing, 0, 2), "<none>");
  EXPECT_EQ(RecordText(decreasing, 1, 2), "abcdefg");
  // A record whose next offset lies past the end of the file.
  const Bytes pastEnd = Concat({FileWithOffsets({94, 200}, 0), AsBytes("abc")});
  EXPECT_EQ(RecordText(pastEnd, 0, 2), "<none>");
  EXPECT_EQ(RecordText(pastEnd, 1, 2), "<none>");
  // A last record that starts past the end, and offsets near 2^32.
  const Bytes lastPastEnd = FileWithOffsets({87}, 0);
  EXPECT_EQ(RecordText(lastPastEnd, 0, 1), "<none>");
  const Bytes huge = FileWithOffsets({0xFFFFFFF0u, 0xFFFFFFFFu}, 0);
  EXPECT_EQ(RecordText(huge, 0, 2), "<none>");
  EXPECT_EQ(RecordText(huge, 1, 2), "<none>");
}

TEST(ReadRecord, ZeroRecordsAndShortRecordListsGiveNothing) {
  const Bytes noRecords = FileWithOffsets({}, 10);
  EXPECT_EQ(RecordText(noRecords, 0, 0), "<none>");
  // The header claims 3 records but the file ends inside the list.
  Bytes shortList = FileWithOffsets({94, 95, 96}, 0);
  shortList.resize(78 + 8 + 4);
  EXPECT_EQ(RecordText(shortList, 0, 3), "<none>");
  EXPECT_EQ(RecordText(shortList, 2, 3), "<none>");
  EXPECT_EQ(RecordText(Bytes(10, 0), 0, 1), "<none>");
}

}  // namespace
}  // namespace qv
