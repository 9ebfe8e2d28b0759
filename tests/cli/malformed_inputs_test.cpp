// Damaged databases and awkward CSV text: each ends in its own message or a
// clean result, never a crash (the sanitizer builds check the reads).
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "convert/info_core.h"
#include "support/convert.h"
#include "support/db_builder.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RowBuilder;
using testing::TestDatabase;

constexpr std::string_view kHeaderError = "ERROR: Reading header!";
constexpr std::string_view kMasterError = "ERROR: Reading MasterRecord";

using Outcome = testing::ExportedCsv;

Outcome Export(ByteView file, ConversionOptions options = {}) {
  options.popupFile = "popups.csv";
  return testing::ExportCsv(file, options);
}

ConversionOptions OverOptions() {
  ConversionOptions options;
  options.databaseName = "Over";
  return options;
}

TestDatabase Small(bool version1 = false) {
  TestDatabase db("Small");
  db.AddField(0, kText, "Name").AddField(1, kPopup, "Colour").AddField(2, kDate, "Day");
  db.SetPopup(1, {"Red", "Green"});
  db.master.formatVersion = version1 ? 1 : 2;
  db.AddRow(RowBuilder().Text("Ann").Byte(1).Date(100).EndMark().Build());
  db.AddRow(RowBuilder().Text("Bo").Byte(0).Date(0).EndMark().Build());
  return db;
}

uint32_t EntryOffset(const Bytes& file, int index) {
  const size_t at = kHeaderSize + kRecordEntrySize * static_cast<size_t>(index);
  return static_cast<uint32_t>(file[at]) << 24 | static_cast<uint32_t>(file[at + 1]) << 16 |
         static_cast<uint32_t>(file[at + 2]) << 8 | file[at + 3];
}

void SetRecordCount(Bytes& file, uint16_t count) {
  file[76] = static_cast<uint8_t>(count >> 8);
  file[77] = static_cast<uint8_t>(count);
}

TEST(MalformedDatabase, EveryTruncationFailsCleanlyWithTheRightMessage) {
  const Bytes whole = Small().Build();
  const uint32_t masterStart = EntryOffset(whole, 0);
  const uint32_t firstRow = EntryOffset(whole, kFirstDataRecord);
  for (size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
    const Outcome outcome = Export(cut);
    if (length < kHeaderSize) {
      EXPECT_TRUE(outcome.Says(kHeaderError)) << length;
    } else if (length < masterStart + kMasterRecordSize) {
      EXPECT_TRUE(outcome.Says(kMasterError)) << length;
    } else {
      EXPECT_TRUE(outcome.result.loaded) << length << outcome.console;
    }
    // Rows cut short or lost are reported; none is claimed as written whole.
    if (outcome.result.loaded && length <= firstRow) {
      EXPECT_FALSE(outcome.result.ok) << length;
      EXPECT_TRUE(outcome.Says("Reading Record: 31")) << length;
    }
    std::string console;
    EXPECT_EQ(testing::ImportCsv("x\n", OverOptions(), cut, &console).has_value(),
              length >= masterStart + kMasterRecordSize)
        << length;
  }
}

TEST(MalformedDatabase, EveryBitFlipOfTheFixedPartIsSurvived) {
  const Bytes whole = Small(false).Build();
  const Bytes old = Small(true).Build();
  for (const Bytes* original : {&whole, &old}) {
    for (size_t at = 0; at < original->size(); at += (at < 600 ? 1 : 7)) {
      for (int bit = 0; bit < 8; ++bit) {
        Bytes flipped = *original;
        flipped[at] ^= static_cast<uint8_t>(1u << bit);
        const Outcome outcome = Export(flipped);
        if (!outcome.result.loaded) {
          EXPECT_TRUE(outcome.result.csv.empty());
          EXPECT_NE(outcome.console.find("ERROR:"), std::string::npos) << at << ":" << bit;
        }
      }
    }
  }
}

TEST(MalformedDatabase, RecordCountsAndRecordListsThatLie) {
  Bytes file = Small().Build();
  SetRecordCount(file, 0);
  EXPECT_TRUE(Export(file).Says(kMasterError));

  // Claims 65535 records that the list does not hold: every missing row is
  // reported, the real ones still come out.
  file = Small().Build();
  SetRecordCount(file, 65535);
  Outcome outcome = Export(file);
  EXPECT_TRUE(outcome.result.loaded);
  EXPECT_FALSE(outcome.result.ok);
  EXPECT_TRUE(outcome.Says("Reading Record: 65534"));

  // Only the fixed records: no data rows, nothing to report.
  file = Small().Build();
  SetRecordCount(file, kFirstDataRecord);
  outcome = Export(file);
  EXPECT_TRUE(outcome.result.ok);
  EXPECT_EQ(outcome.result.csv, "");

  // A data record whose offset points before the one listed ahead of it.
  file = Small().Build();
  const size_t entry = kHeaderSize + kRecordEntrySize * (kFirstDataRecord + 1);
  file[entry] = file[entry + 1] = file[entry + 2] = file[entry + 3] = 0;
  outcome = Export(file);
  EXPECT_FALSE(outcome.result.ok);
  EXPECT_TRUE(outcome.Says("Reading Record: 31"));
  // A huge offset for record 0.
  file = Small().Build();
  file[kHeaderSize] = 0xFF;
  EXPECT_TRUE(Export(file).Says(kMasterError));
}

TEST(MalformedDatabase, DefinitionsCutBeforeTheirVersionEnds) {
  // A version 2 record with only the version 1 bytes before the end of the
  // file; a version 1 record at the end of the file is whole.
  for (bool version1 : {false, true}) {
    TestDatabase db = Small(version1);
    db.rows.clear();
    Bytes file = db.Build();
    SetRecordCount(file, 1);
    file.resize(EntryOffset(file, 0) + kMasterRecordV1Size);
    const Outcome outcome = Export(file);
    EXPECT_EQ(outcome.result.loaded.ok(), version1) << outcome.console;
    if (version1) {
      EXPECT_EQ(outcome.result.csv, "");
    }
  }
}

TEST(MalformedDatabase, DamagedRowsAndPopupLists) {
  TestDatabase db("Rows");
  db.AddField(0, kText, "Name").AddField(1, kPopup, "Colour").AddField(2, kInteger, "N");
  Bytes unterminated = {'R', 'e', 'd'};  // no NUL, no end of list
  db.popupLists[1] = unterminated;
  const uint8_t huge[] = {0xFE, 0xFF, 'x'};
  const uint8_t oddText[] = {0x03, 0x00, 'a', 'b', 'c'};  // no NUL in the data
  db.AddRow(RowBuilder().Text("no end mark").Byte(0).Int(5).Build());
  db.AddRow(RowBuilder().Append(huge).Build());  // length past the end
  db.AddRow(RowBuilder().Text("short int").Byte(7).Raw(ByteView(oddText, 2)).EndMark().Build());
  db.AddRow(RowBuilder().Append(oddText).Build());
  db.AddRow(Bytes{});                 // empty record
  db.AddRow(Bytes{1, 'F', 'r', 'o'}); // prefix flag without the prefix
  db.AddRow(RowBuilder().Text("").Byte(255).EndMark().Append(huge).Build());
  const Outcome outcome = Export(db.Build());
  ASSERT_TRUE(outcome.result.ok) << outcome.console;
  EXPECT_EQ(outcome.result.csv,
            "no end mark,Red,5\n"
            ",,\n"
            "short int,,\n"
            ",,\n"
            ",,\n"
            ",,\n"
            ",No Value,\n");
  // An empty list gives two empty items; the list without an end still
  // gives its one choice.
  EXPECT_EQ(outcome.result.popups.substr(0, 8), ",\nRed\n,\n");
}

TEST(MalformedCsv, NulsQuotesAndLineEnds) {
  struct Case {
    std::string_view csv;
    std::string_view exported;  // the new database exported again
  };
  const Case cases[] = {
      {std::string_view("a\0b,c\n", 6), "a\nb\n"},            // NUL ends a line
      {std::string_view("\"a\0b\",c\n", 8), "\"a\nb\",c\n"},  // inside quotes: a line break
      {"\"open,quote\nrest,of,file", "\"open,quote\nrest,of,file\"\n"},
      // A line end swallows one CR or LF after it; the empty lines left are
      // skipped.
      {"\r\n\r\n\n\n\r\r", ""},
      {"\n\n\n", ""},
      {"no,line,end", "no,line,end\n"},
      {"\"\"\"\",\"\"\n", "\"\"\"\",\n"},
  };
  for (const Case& c : cases) {
    ImportSource source;
    source.csvText = c.csv;
    ConversionOptions options;
    options.databaseName = "Csv";
    Console console;
    const std::optional<Bytes> database = testing::ImportDatabase(source, options, console);
    ASSERT_TRUE(database.has_value()) << console.text();
    const Outcome outcome = Export(*database);
    EXPECT_TRUE(outcome.result.ok) << outcome.console;
    EXPECT_EQ(outcome.result.csv, c.exported) << c.csv;
  }
}

TEST(MalformedCsv, TenMegabyteLineIsCutToOneEntryWithAWarning) {
  std::string csv(10 * 1024 * 1024, 'x');
  csv += ",end\n";
  ImportSource source;
  source.csvText = csv;
  ConversionOptions options;
  options.databaseName = "Wide";
  Console console;
  const std::optional<Bytes> database = testing::ImportDatabase(source, options, console);
  ASSERT_TRUE(database.has_value()) << console.text();
  EXPECT_NE(console.text().find("WARNING:Line 1, column 1 (Field 1): text cut to 65533 characters"),
            std::string::npos)
      << console.text().substr(0, 400);
  const Outcome outcome = Export(*database);
  EXPECT_TRUE(outcome.result.ok);
  EXPECT_EQ(outcome.result.csv, std::string(65533, 'x') + ",end\n");
}

TEST(MalformedCsv, DatabaseGivenAsTheCsvIsRefused) {
  const Bytes database = Small().Build();
  ImportSource source;
  source.csvText = AsText(database);
  ConversionOptions options;
  options.databaseName = "Oops";
  Console console;
  EXPECT_FALSE(testing::ImportDatabase(source, options, console).has_value());
  EXPECT_NE(console.text().find("looks like a database (.PDB) file, not CSV text. COMMAND:TOCSV "
                                "reads databases"),
            std::string::npos)
      << console.text();
}

TEST(MalformedNames, ControlCharactersInNamesAreShownEscaped) {
  // Terminal controls: clear the screen, set the window title, ring the bell.
  TestDatabase db("Evil\x1b[2J\r");
  db.AddField(0, kText, "Name\x1b]0;owned\x07").AddField(1, kPopup, "Colour\x7f");
  db.SetPopup(1, {"Red\x1b[31m", "Green"});
  Console console;
  const DatabaseDescription description = DescribeDatabaseText(db.Build(), {}, console);
  ASSERT_TRUE(description.loaded) << console.text();
  const std::string& text = description.text;
  EXPECT_NE(text.find("Database name:      Evil\\x1b[2J\\x0d\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Name\\x1b]0;owned\\x07\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Colour\\x7f\n"), std::string::npos) << text;
  EXPECT_NE(text.find("choices: Red\\x1b[31m, Green\n"), std::string::npos) << text;
  EXPECT_EQ(std::count_if(text.begin(), text.end(),
                          [](unsigned char c) { return c != '\n' && (c < 0x20 || c == 0x7f); }),
            0);

  // A schema file's refusal quotes the name it refuses.
  ImportSource source;
  source.csvText = "a\n";
  source.schemaText = "Name,\x1b[5mtext\n";
  source.schemaName = "s.csv";
  ConversionOptions options;
  options.databaseName = "S";
  Console schemaConsole;
  EXPECT_FALSE(testing::ImportDatabase(source, options, schemaConsole).has_value());
  EXPECT_NE(schemaConsole.text().find("unknown type \"\\x1b[5mtext\""), std::string::npos)
      << schemaConsole.text();
}

TEST(MalformedInputs, ProgramReportsDamagedDatabasesWithStatusOne) {
  testing::TempDir dir;
  Bytes cut = Small().Build();
  cut.resize(kHeaderSize + 40);
  ASSERT_TRUE(dir.Write("cut.pdb", cut));
  ASSERT_TRUE(dir.Write("short.pdb", "PmDB"));
  Bytes lying = Small().Build();
  SetRecordCount(lying, 40);
  ASSERT_TRUE(dir.Write("lying.pdb", lying));
  ASSERT_TRUE(dir.Write("in.csv", "a\n"));
  const std::pair<std::string, std::string_view> exports[] = {
      {"short.pdb", kHeaderError}, {"cut.pdb", kMasterError}, {"lying.pdb", "Reading Record: 32"}};
  for (const auto& [name, message] : exports) {
    const testing::RunResult run = testing::RunQv(
        QV_BINARY, {"COMMAND:TOCSV", "INFILE:{" + name + "}", "OUTFILE:{out.csv}", "OVERWRITE"},
        dir.path());
    EXPECT_EQ(run.exitStatus, 1) << run.output;
    EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ERROR:In Conversion!"), std::string::npos) << run.output;
  }
  const testing::RunResult run = testing::RunQv(
      QV_BINARY,
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{o.pdb}", "DBNAME:{D}", "USEEXISTING:{cut.pdb}"},
      dir.path());
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.output.find("ERROR:Setting up MasterRecord!"), std::string::npos) << run.output;
  EXPECT_FALSE(dir.Exists("o.pdb"));
}

}  // namespace
}  // namespace qv
