// Identification of every kind of file from its bytes, and the line that
// describes it.
#include "pdb/identify.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pdb/database.h"
#include "support/db_builder.h"

namespace qv {
namespace {

uint32_t Code(std::string_view four) {
  uint32_t code = 0;
  for (char c : four) code = (code << 8) | static_cast<uint8_t>(c);
  return code;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A sound Quorvex database of 31 fixed records and two rows.
Bytes Sales() {
  testing::TestDatabase db("Sales");
  db.AddField(0, kText, "Item");
  db.AddRow(testing::RowBuilder().Text("pen").EndMark().Build());
  db.AddRow(testing::RowBuilder().Text("ink").EndMark().Build());
  return db.Build();
}

void SetEntryOffset(Bytes& file, uint32_t index, uint32_t offset) {
  Bytes entry;
  ByteWriter out(entry);
  out.WriteU32BE(offset);
  std::copy(entry.begin(), entry.end(), file.begin() + kHeaderSize + kRecordEntrySize * index);
}

uint32_t EntryOffset(const Bytes& file, uint32_t index) {
  ByteReader in(file, kHeaderSize + kRecordEntrySize * index);
  return in.ReadU32BE();
}

// A database of another application: the header, `count` entries of
// `entrySize` bytes pointing just past the list, and 16 bytes of data.
Bytes OtherDatabase(std::string_view name, std::string_view type, std::string_view creator,
                    uint16_t attributes, uint16_t count, size_t entrySize) {
  DatabaseHeader header = SetNewDatabaseHeader(name);
  header.attributes = attributes;
  header.typeCode = Code(type);
  header.creatorCode = Code(creator);
  header.recordCount = count;
  Bytes file;
  ByteWriter out(file);
  WriteDatabaseHeader(header, out);
  const auto dataStart = static_cast<uint32_t>(kHeaderSize + entrySize * count);
  for (uint16_t i = 0; i < count; ++i) {
    if (entrySize == kRecordEntrySize) {
      WriteRecordEntry(out, dataStart + i);
    } else {  // resource entry: type, id, offset
      out.WriteU32BE(Code("tSTR"));
      out.WriteU16BE(1000 + i);
      out.WriteU32BE(dataStart + i);
    }
  }
  out.WriteZeros(16);
  return file;
}

struct Case {
  const char* label;
  std::function<Bytes()> build;
  FileKind kind;
  const char* description;
};

TEST(IdentifyFile, SaysWhatEachKindOfFileIs) {
  const std::vector<Case> cases = {
      {"sound database", Sales, FileKind::kQuorvexDatabase,
       "a Quorvex database \"Sales\" with 33 records"},
      {"offset past the end",
       [] {
         Bytes file = Sales();
         SetEntryOffset(file, 32, 0x00FFFFF0);
         return file;
       },
       FileKind::kDamagedQuorvexDatabase, ""},
      {"offsets going backwards",
       [] {
         Bytes file = Sales();
         SetEntryOffset(file, 3, EntryOffset(file, 2) - 1);
         return file;
       },
       FileKind::kDamagedQuorvexDatabase, ""},
      {"list cut short",
       [] {
         Bytes file = Sales();
         file.resize(kHeaderSize + kRecordEntrySize * 10 + 3);
         return file;
       },
       FileKind::kDamagedQuorvexDatabase,
       "a Quorvex database \"Sales\" with a damaged record list: the list of 33 entries ends "
       "at offset 342, past the end of the file (161 bytes)"},
      {"no records at all",
       [] {
         Bytes file;
         ByteWriter out(file);
         WriteDatabaseHeader(SetNewDatabaseHeader("Bare"), out);
         return file;
       },
       FileKind::kDamagedQuorvexDatabase,
       "a Quorvex database \"Bare\" with a damaged record list: it holds no records, not even "
       "the field definitions"},
      {"another application's database",
       [] { return OtherDatabase("AddressDB", "DATA", "addr", 0, 3, kRecordEntrySize); },
       FileKind::kOtherDatabase,
       "a Palm database of another application: \"AddressDB\", type DATA, creator addr, "
       "3 records"},
      {"resource file",
       [] { return OtherDatabase("Game", "appl", "Gam1", kResourceAttribute, 2, 10); },
       FileKind::kResourceDatabase,
       "a Palm resource database or application: \"Game\", type appl, creator Gam1, "
       "2 resources"},
      {"resource bit on a Quorvex creator (the application)",
       [] { return OtherDatabase("Quorvex", "appl", "PmDB", kResourceAttribute, 1, 10); },
       FileKind::kResourceDatabase,
       "a Palm resource database or application: \"Quorvex\", type appl, creator PmDB, "
       "1 resource"},
      {"control characters in name and codes",
       [] {
         return OtherDatabase("Evil\x1b[2J\"\\\x7f\xe9", "\x01T\nX", "ab\"c", 0, 1,
                              kRecordEntrySize);
       },
       FileKind::kOtherDatabase,
       "a Palm database of another application: \"Evil\\x1b[2J\\\"\\\\\\x7f\\xe9\", "
       "type \\x01T\\x0aX, creator ab\\\"c, 1 record"},
      {"empty file", [] { return Bytes(); }, FileKind::kEmpty, "an empty file"},
      {"one byte", [] { return Bytes{0}; }, FileKind::kTooShort,
       "a file of 1 byte, shorter than a database header (78 bytes)"},
      {"short text", [] { return Text("Name,Phone\r\nAnn,555\r\n"); }, FileKind::kTooShort,
       "a file of 21 bytes, shorter than a database header (78 bytes); it looks like text"},
      {"debug symbols",
       [] {
         std::string file("Microsoft C/C++ MSF 7.00\r\n\x1a" "DS", 29);
         file.resize(4096, '\0');
         return Text(file);
       },
       FileKind::kNotPalmFile,
       "not a Palm file: it looks like a Microsoft debug-symbols file"},
      {"zip archive",
       [] {
         return Text("PK\x03\x04\x14" + std::string(295, 'z'));
       },
       FileKind::kNotPalmFile, "not a Palm file: it looks like a ZIP archive"},
      {"long text",
       [] {
         std::string csv;
         for (int i = 0; i < 20; ++i) csv += "Ann,\"Main St\",555-0100\n";
         return Text(csv);
       },
       FileKind::kNotPalmFile, "not a Palm file: it looks like text"},
      {"binary without a database header",
       [] {
         Bytes file(200);
         for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + 1);
         return file;
       },
       FileKind::kNotPalmFile, "not a Palm file"},
      {"plausible header whose list does not fit",
       [] {
         Bytes file = OtherDatabase("Memo", "DATA", "memo", 0, 3, kRecordEntrySize);
         file.resize(kHeaderSize + 4);
         return file;
       },
       FileKind::kNotPalmFile, "not a Palm file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Bytes bytes = c.build();
    const FileIdentity id = IdentifyFile(bytes);
    EXPECT_EQ(id.kind, c.kind);
    EXPECT_EQ(id.size, bytes.size());
    if (*c.description != '\0') {
      EXPECT_EQ(DescribeFile(id), c.description);
    }
  }
}

TEST(IdentifyFile, NamesTheDamagedEntryAndItsOffset) {
  Bytes past = Sales();
  SetEntryOffset(past, 32, 0x00FFFFF0);
  const FileIdentity pastId = IdentifyFile(past);
  EXPECT_EQ(pastId.fault, ListFault::kOffsetPastEnd);
  EXPECT_EQ(pastId.faultIndex, 32u);
  EXPECT_EQ(DescribeFile(pastId),
            "a Quorvex database \"Sales\" with a damaged record list: record 32 starts at "
            "offset 16777200, past the end of the file (" +
                std::to_string(past.size()) + " bytes)");

  Bytes back = Sales();
  const uint32_t previous = EntryOffset(back, 2);
  SetEntryOffset(back, 3, previous - 1);
  const FileIdentity backId = IdentifyFile(back);
  EXPECT_EQ(backId.fault, ListFault::kOffsetBeforePrevious);
  EXPECT_EQ(DescribeFile(backId),
            "a Quorvex database \"Sales\" with a damaged record list: record 3 starts at offset " +
                std::to_string(previous - 1) + ", before record 2 (offset " +
                std::to_string(previous) + ")");

  // Another application's database keeps its kind; the damage is added.
  Bytes other = OtherDatabase("AddressDB", "DATA", "addr", 0, 3, kRecordEntrySize);
  SetEntryOffset(other, 1, 5000);
  EXPECT_EQ(DescribeFile(IdentifyFile(other)),
            "a Palm database of another application: \"AddressDB\", type DATA, creator addr, "
            "3 records; its record list is damaged: record 1 starts at offset 5000, past the "
            "end of the file (118 bytes)");
}

// Every prefix of a sound database, each in a buffer of its own so that a
// read past its end is caught by the sanitizers: too short below a header,
// damaged until the last record's start is inside, sound from there on.
TEST(IdentifyFile, EveryTruncationIsIdentifiedWithinItsBytes) {
  const Bytes whole = Sales();
  const uint32_t lastStart = EntryOffset(whole, 32);
  for (size_t length = 0; length <= whole.size(); ++length) {
    const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    const FileKind kind = IdentifyFile(prefix).kind;
    if (length == 0) {
      EXPECT_EQ(kind, FileKind::kEmpty);
    } else if (length < kHeaderSize) {
      EXPECT_EQ(kind, FileKind::kTooShort) << length;
    } else if (length < lastStart) {
      EXPECT_EQ(kind, FileKind::kDamagedQuorvexDatabase) << length;
    } else {
      EXPECT_EQ(kind, FileKind::kQuorvexDatabase) << length;
    }
  }
}

}  // namespace
}  // namespace qv
