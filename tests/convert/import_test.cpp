// The import core: CSV text (and an existing database) in, database bytes out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/import_core.h"
#include "pdb/database.h"
#include "pdb/master_record.h"
#include "support/convert.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::MasterOf;
using testing::PopupListBytes;
using testing::TestDatabase;

// 2024-05-01 00:00:00, in seconds since 1904.
constexpr uint32_t kNow = 3797366400;

ConversionOptions Options() {
  ConversionOptions options;
  options.databaseName = "Test";
  return options;
}

std::optional<Bytes> Import(std::string_view csv, const ConversionOptions& options,
                            Console& console, std::optional<ByteView> existing = std::nullopt) {
  ImportSource source;
  source.csvText = csv;
  source.useExisting = existing.has_value();
  source.existing = existing;
  source.databaseTime = kNow;
  return testing::ImportDatabase(source, options, console);
}

Bytes ImportOk(std::string_view csv, const ConversionOptions& options = Options(),
               std::optional<ByteView> existing = std::nullopt) {
  Console console;
  std::optional<Bytes> db = Import(csv, options, console, existing);
  EXPECT_TRUE(db.has_value()) << console.text();
  return db.value_or(Bytes{});
}

uint32_t U32At(const Bytes& db, size_t at) {
  ByteReader in(db, at);
  return in.ReadU32BE();
}
uint16_t U16At(const Bytes& db, size_t at) {
  ByteReader in(db, at);
  return in.ReadU16BE();
}
uint32_t EntryOffset(const Bytes& db, int index) { return U32At(db, 78 + 8 * index); }

Bytes RecordBytes(const Bytes& db, int index) {
  Result<ByteView> record = ReadRecord(db, index, U16At(db, 76));
  EXPECT_TRUE(record.ok()) << "record " << index;
  return record ? Bytes(record->begin(), record->end()) : Bytes{};
}

Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(ImportLayout, ThreeLinesGiveTheFixedOffsetsAndANewHeader) {
  Bytes db = ImportOk("a,b\r\nc,d\r\ne,f\r\n");
  ASSERT_GE(db.size(), 2634u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(db.data())), "Test");
  for (size_t i = 4; i < 32; ++i) EXPECT_EQ(db[i], 0) << i;
  EXPECT_EQ(U16At(db, 32), 8);            // attributes
  EXPECT_EQ(U16At(db, 34), 0);            // version
  EXPECT_EQ(U32At(db, 36), kNow);         // creationTime
  EXPECT_EQ(U32At(db, 40), kNow);         // modificationTime
  EXPECT_EQ(U32At(db, 44), 0u);           // backupTime
  EXPECT_EQ(U32At(db, 48), 86u);          // modificationCount
  EXPECT_EQ(U32At(db, 52), 352u);         // appInfoOffset
  EXPECT_EQ(U32At(db, 56), 0u);           // sortInfoOffset
  EXPECT_EQ(U32At(db, 60), kPmDB);
  EXPECT_EQ(U32At(db, 64), kPmDB);
  EXPECT_EQ(U32At(db, 68), 0u);
  EXPECT_EQ(U32At(db, 72), 0u);
  EXPECT_EQ(U16At(db, 76), 34);           // recordCount

  EXPECT_EQ(EntryOffset(db, 0), 392u);
  for (int slot = 0; slot < 30; ++slot) EXPECT_EQ(EntryOffset(db, slot + 1), 2544u + 3 * slot);
  EXPECT_EQ(EntryOffset(db, 31), 2634u);
  EXPECT_EQ(EntryOffset(db, 32), 2645u);
  EXPECT_EQ(EntryOffset(db, 33), 2656u);
  EXPECT_EQ(db.size(), 2667u);
  for (int i = 0; i < 34; ++i) EXPECT_EQ(U32At(db, 78 + 8 * i + 4), 0u) << "entry " << i;
  for (size_t i = 78 + 8 * 34; i < 392; ++i) EXPECT_EQ(db[i], 0) << i;  // gap and app info

  EXPECT_EQ(RecordBytes(db, 0).size(), kMasterRecordSize);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(RecordBytes(db, i), B({0, 0, 0}));
  EXPECT_EQ(RecordBytes(db, 31), B({0, 2, 0, 'a', 0, 2, 0, 'b', 0, 0xFF, 0xFF}));
  EXPECT_EQ(RecordBytes(db, 33), B({0, 2, 0, 'e', 0, 2, 0, 'f', 0, 0xFF, 0xFF}));

  MasterRecord master = MasterOf(db);
  EXPECT_EQ(master.fields[0].type, kText);
  EXPECT_EQ(master.fields[1].type, kText);
  EXPECT_EQ(master.fields[2].type, kEmptySlot);
  EXPECT_EQ(FixedText(master.fields[0].name), "Field 1");
}

TEST(ImportLayout, EmptyCsvGivesDefinitionsAndEmptyListsOnly) {
  Bytes db = ImportOk("");
  EXPECT_EQ(U16At(db, 76), 31);
  EXPECT_EQ(U32At(db, 52), 328u);
  EXPECT_EQ(EntryOffset(db, 0), 368u);
  EXPECT_EQ(db.size(), 368u + kMasterRecordSize + 30 * 3);
  MasterRecord master = MasterOf(db);
  for (int slot = 0; slot < 30; ++slot) EXPECT_EQ(master.fields[slot].type, kEmptySlot);
}

TEST(ImportLayout, LongNameIsCutToTheHeaderField) {
  ConversionOptions options = Options();
  options.databaseName = std::string(40, 'n');
  Bytes db = ImportOk("x\n", options);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(db.data())), std::string(31, 'n'));
}

TEST(ImportLines, FieldNamesLineNamesFieldsAndIsNeverARecord) {
  ConversionOptions options = Options();
  options.fieldNames = true;
  Bytes db = ImportOk("Name,A very long field name here\nAnn,1\n", options);
  EXPECT_EQ(U16At(db, 76), 32);
  MasterRecord master = MasterOf(db);
  EXPECT_EQ(FixedText(master.fields[0].name), "Name");
  EXPECT_EQ(FixedText(master.fields[1].name), "A very long field n");
  EXPECT_EQ(RecordBytes(db, 31), B({0, 4, 0, 'A', 'n', 'n', 0, 2, 0, '1', 0, 0xFF, 0xFF}));

  // Only the name line: definitions, no rows.
  Bytes namesOnly = ImportOk("Name,Age\r\n", options);
  EXPECT_EQ(U16At(namesOnly, 76), 31);
  EXPECT_EQ(MasterOf(namesOnly).fields[1].type, kText);
}

TEST(ImportLines, TrailingEmptyLineIsNoRecord) {
  EXPECT_EQ(U16At(ImportOk("a,b\r\n\r\n"), 76), 32);
  // LF LF is one line end, so no blank line either.
  EXPECT_EQ(U16At(ImportOk("a,b\n\n"), 76), 32);
  // A line of one empty quoted value is a record.
  EXPECT_EQ(U16At(ImportOk("a\n\"\"\nb\n"), 76), 34);
}

TEST(ImportLines, QuotedBlankLineInsideATextSurvives) {
  Bytes db = ImportOk("\"one\r\n\r\nthree\",x\r\n");
  ASSERT_EQ(U16At(db, 76), 32);
  Bytes expected = B({0, 11, 0});
  for (char c : std::string("one\n\nthree")) expected.push_back(static_cast<uint8_t>(c));
  for (uint8_t b : B({0, 2, 0, 'x', 0, 0xFF, 0xFF})) expected.push_back(b);
  EXPECT_EQ(RecordBytes(db, 31), expected);
}

TEST(ImportMessages, SuccessAndExtraDiagnosticsComeInOrder) {
  Console expected;
  expected.PrintMessage("Getting Fields Information...");
  expected.PrintMessage("Writing Records Header...");
  expected.PrintMessage("Writing Popups for fields...");
  Console console;
  ASSERT_TRUE(Import("a\nb\n", Options(), console).has_value());
  EXPECT_EQ(console.text(), expected.text());

  ConversionOptions options = Options();
  options.extraDiag = true;
  options.fieldNames = true;
  for (int k = 0; k < 2; ++k) {
    expected.PrintMessage("Reading CSV Line #" + std::to_string(k));
    expected.PrintMessage("Writing PDB Record #" + std::to_string(k));
  }
  Console diag;
  ASSERT_TRUE(Import("names\na\nb\n", options, diag).has_value());
  EXPECT_EQ(diag.text(), expected.text());
}

// Handheld bytes that read as UTF-8 get a hint right after the first
// progress line; a byte that is no UTF-8, or plain ASCII, gets none.
TEST(ImportMessages, Utf8HintComesFirst) {
  const struct {
    std::string csv;
    bool hint;
  } cases[] = {
      {"Zo\xC3\xAB,1\n", true},
      {"a,b\nZo\xC3\xAB\xE2\x82\xAC,1\n", true},
      {"Zo\xEB,1\n", false},
      {"Zo\xC3\xAB \xEB,1\n", false},
      {"plain,1\n", false},
  };
  Console hinted;
  hinted.PrintMessage("Getting Fields Information...");
  hinted.PrintMessage(
      "The .CSV file reads as UTF-8 text; if it is, import it with ENCODING:{UTF-8} to store "
      "its characters as written.");
  hinted.PrintMessage("Writing Records Header...");
  for (const auto& c : cases) {
    Console console;
    ASSERT_TRUE(Import(c.csv, Options(), console).has_value()) << console.text();
    EXPECT_EQ(console.text().starts_with(hinted.text()), c.hint) << c.csv << console.text();
    EXPECT_EQ(console.text().find("reads as UTF-8") != std::string::npos, c.hint) << c.csv;
  }
}

TEST(ImportLimits, TooManyFieldsOrLinesAreRefused) {
  Console wide;
  std::string line;
  for (int i = 0; i < 31; ++i) line += "v,";
  line.pop_back();
  EXPECT_FALSE(Import(line + "\n", Options(), wide).has_value());
  EXPECT_NE(wide.text().find("ERROR:\n"), std::string::npos);
  EXPECT_NE(wide.text().find("31 fields"), std::string::npos);
  EXPECT_EQ(wide.text().find("Writing Records Header"), std::string::npos);

  // Exactly 30 fields fill every slot.
  line.resize(line.size() - 2);
  EXPECT_EQ(MasterOf(ImportOk(line + "\n")).fields[29].type, kText);

  std::string rows;
  for (int i = 0; i < kMaxDataRows; ++i) rows += "x\n";
  Bytes full = ImportOk(rows);
  EXPECT_EQ(U16At(full, 76), 65535);
  EXPECT_EQ(RecordBytes(full, 65534), B({0, 2, 0, 'x', 0, 0xFF, 0xFF}));

  Console tooMany;
  EXPECT_FALSE(Import(rows + "x\n", Options(), tooMany).has_value());
  EXPECT_NE(tooMany.text().find("65505 data lines"), std::string::npos);
  // With the name line the same text is one row less, and fits.
  ConversionOptions named = Options();
  named.fieldNames = true;
  EXPECT_EQ(U16At(ImportOk(rows + "x\n", named), 76), 65535);
}

TEST(ImportLimits, OversizedRecordsAndCutTextsAreWrittenWithWarnings) {
  std::string big(40000, 'z');
  std::string huge(70000, 'h');
  std::string csv = "small,x\n" + big + "," + big + "\n" + huge + ",y\n";
  Console console;
  std::optional<Bytes> db = Import(csv, Options(), console);
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(RecordBytes(*db, 32).size(), 1u + 2 * (2 + 40001) + 2);
  EXPECT_NE(console.text().find("WARNING:The record of CSV line 2 "), std::string::npos)
      << console.text();
  EXPECT_EQ(console.text().find("CSV line 1 "), std::string::npos);

  // The longest text an entry holds, and the line and column of the cut.
  Bytes cut = RecordBytes(*db, 33);
  EXPECT_EQ(cut.size(), 1u + 2 + 65534 + 2 + 2 + 2);
  EXPECT_EQ(cut[1] | cut[2] << 8, 65534);
  EXPECT_NE(console.text().find("WARNING:Line 3, column 1"), std::string::npos)
      << console.text();
  EXPECT_NE(console.text().find("WARNING:The record of CSV line 3 "), std::string::npos);
}

// An existing database: a text, a popup, a unique integer and a check box,
// shown in the column order popup, text, unique, check box.
TestDatabase ExistingDatabase() {
  TestDatabase db("Old name");
  db.AddField(0, kText, "Name").AddField(1, kPopup, "Colour");
  db.AddField(2, kUniqueInteger, "Id").AddField(4, kCheckBox, "Done");
  db.SetPopup(1, {"Red", "Green"});
  db.master.columnOrder = {1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
                           15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
  db.master.nextUniqueValue = 50;
  db.header.creationTime = 1234;
  db.header.backupTime = 1235;
  db.header.sortInfoOffset = 9;  // blocks the new file does not have
  db.header.nextRecordList = 10;
  db.header.modificationCount = 7;
  db.header.attributes = 0x40;
  db.popupLists[5] = B({'k', 'e', 'p', 't', 0, 0, 0});
  db.popupLists[6] = Bytes{};
  return db;
}

// Records made on several threads: the same database and the same
// messages in the same order as on one, with blank lines, cells not stored
// as written (more than are listed) and an oversized record spread over the
// parts.
TEST(ImportExisting, RecordsOnSeveralThreadsGiveTheDatabaseAndMessagesOfOne) {
  const Bytes existing = ExistingDatabase().Build();
  std::string csv;
  for (int n = 0; n < 3 * 16384 + 5; ++n) {
    if (n % 1000 == 999) csv += "\n";
    const bool odd = n % 1500 == 1499;
    csv += (n % 2 ? "Red," : "Green,") + std::string("name ") + std::to_string(n) + "," +
           (odd ? "x" + std::to_string(n) : std::to_string(n)) + "," + (odd ? "maybe" : "1") +
           "\n";
    if (n == 30000) csv += "Red," + std::string(70000, 'h') + ",1,0\n";
  }
  ConversionOptions options = Options();
  options.threads = 1;
  Console one;
  const std::optional<Bytes> expected = Import(csv, options, one, existing);
  ASSERT_TRUE(expected.has_value()) << one.text();
  EXPECT_NE(one.text().find("more cells were not stored as written"), std::string::npos)
      << one.text();
  EXPECT_NE(one.text().find("WARNING:The record of CSV line 30"), std::string::npos);
  for (const unsigned threads : {2u, 3u, 8u}) {
    options.threads = threads;
    Console several;
    const std::optional<Bytes> db = Import(csv, options, several, existing);
    ASSERT_TRUE(db.has_value()) << threads;
    EXPECT_TRUE(*db == *expected) << threads;
    EXPECT_EQ(several.text(), one.text()) << threads;
  }
}

TEST(ImportExisting, TakesHeaderDefinitionsAndListsAndMergesPopupValues) {
  Bytes old = ExistingDatabase().Build();
  std::string csv =
      "green,Ann,3,0,ignored,more\n"
      "Blue,Bob,20,1\n"
      ",Cy,4,1\n"
      "No Value,Di,5,1\n"
      "BLUE,Ed,6,1\n"
      "Yellow,Flo,7,1\n";
  Bytes db = ImportOk(csv, Options(), ByteView(old));

  EXPECT_EQ(std::string(reinterpret_cast<const char*>(db.data())), "Test");
  EXPECT_EQ(U16At(db, 32), 0x40);
  // A new file: dated now, never backed up, no sort info or further list.
  EXPECT_EQ(U32At(db, 36), kNow);
  EXPECT_EQ(U32At(db, 40), kNow);
  EXPECT_EQ(U32At(db, 44), 0u);
  EXPECT_EQ(U32At(db, 56), 0u);
  EXPECT_EQ(U32At(db, 72), 0u);
  EXPECT_EQ(U32At(db, 48), 7u);
  EXPECT_EQ(U16At(db, 76), 37);
  EXPECT_EQ(U32At(db, 52), 78u + 8 * 37 + 2);

  EXPECT_EQ(RecordBytes(db, 2), PopupListBytes({"Red", "Green", "Blue", "Yellow"}));
  EXPECT_EQ(RecordBytes(db, 2).size(), 25u);
  EXPECT_EQ(RecordBytes(db, 6), B({'k', 'e', 'p', 't', 0, 0, 0}));
  EXPECT_EQ(RecordBytes(db, 7), B({0, 0, 0}));  // a zero-length list is not copied as such
  EXPECT_EQ(RecordBytes(db, 1), B({0, 0, 0}));

  MasterRecord master = MasterOf(db);
  EXPECT_EQ(master.nextUniqueValue, 50u);
  EXPECT_EQ(master.columnOrder[0], 1);
  EXPECT_EQ(FixedText(master.fields[1].name), "Colour");

  // Slot order in the record; the popup cell green is choice 1, the extra
  // CSV columns are ignored.
  Bytes first = RecordBytes(db, 31);
  Bytes expected = B({0, 4, 0, 'A', 'n', 'n', 0, 1, 0, 1, 4, 0, 3, 0, 0, 0, 0, 0, 1, 0, 0,
                      0xFF, 0xFF});
  EXPECT_EQ(first, expected);
  EXPECT_EQ(RecordBytes(db, 32)[9], 2);     // Blue
  EXPECT_EQ(RecordBytes(db, 33)[8], 4);     // empty: the end of the four-choice list
  EXPECT_EQ(RecordBytes(db, 34)[8], 255);   // No Value
}

TEST(ImportExisting, PopupValuesStopAtTheFirstLineTooShortForTheColumn) {
  TestDatabase old("Old");
  old.AddField(0, kText, "A").AddField(1, kText, "B").AddField(2, kPopup, "C");
  Bytes file = old.Build();
  Bytes db = ImportOk("a,b,One\na\nx,y,Two\n", Options(), ByteView(file));
  EXPECT_EQ(RecordBytes(db, 3), PopupListBytes({"One"}));
  // A line that just reaches the column gives the empty value and goes on.
  db = ImportOk("a,b,One\na,b\nx,y,Two\n", Options(), ByteView(file));
  EXPECT_EQ(RecordBytes(db, 3), PopupListBytes({"One", "Two"}));
}

TEST(ImportExisting, UniqueCounterIsRaisedWithUnsignedArithmetic) {
  Bytes old = ExistingDatabase().Build();
  auto next = [&](std::string_view csv, bool fieldNames = false) {
    ConversionOptions options = Options();
    options.fieldNames = fieldNames;
    return MasterOf(ImportOk(csv, options, ByteView(old))).nextUniqueValue;
  };
  EXPECT_EQ(next(",a,20\n,b,5\n"), 50u);
  EXPECT_EQ(next(",a,80\n,b,5\n"), 81u);
  EXPECT_EQ(next(",a,80\n,b,-1\n"), 50u);       // 4294967295 + 1 wraps to 0
  EXPECT_EQ(next(",a,900\n,b,5\n", true), 50u);  // the name line does not count
}

TEST(ImportExisting, UnusableExistingDatabaseIsRefusedSayingWhatItIs) {
  TestDatabase other = ExistingDatabase();
  other.header.creatorCode = 0x41424344;
  Bytes truncated = ExistingDatabase().Build();
  truncated.resize(500);
  Bytes noRecords = ExistingDatabase().Build();
  noRecords[76] = noRecords[77] = 0;
  const struct {
    Bytes file;
    std::string note;
  } cases[] = {
      {other.Build(), "a Palm database of another application: \"Old name\", type PmDB, creator "
                      "ABCD, 31 records"},
      {truncated, "a Quorvex database \"Old name\" with a damaged record list: record 1 starts "
                  "at offset 2520, past the end of the file (500 bytes)"},
      {noRecords, "a Quorvex database \"Old name\" with a damaged record list: it holds no "
                  "records, not even the field definitions"},
  };
  for (const auto& c : cases) {
    Console expected;
    expected.PrintMessage("Getting Fields Information...");
    expected.PrintError("ERROR:Setting up MasterRecord!\nThis is " + c.note + ".\n");
    Console console;
    EXPECT_FALSE(Import("a\n", Options(), console, ByteView(c.file)).has_value());
    EXPECT_EQ(console.text(), expected.text());
  }
  ImportSource unreadable;
  unreadable.csvText = "a\n";
  unreadable.useExisting = true;
  Console console;
  EXPECT_FALSE(testing::ImportDatabase(unreadable, Options(), console).has_value());
  Console expected;
  expected.PrintMessage("Getting Fields Information...");
  expected.PrintError("ERROR:Setting up MasterRecord!");
  EXPECT_EQ(console.text(), expected.text());
}

}  // namespace
}  // namespace qv
