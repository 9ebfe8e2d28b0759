// The export core: database bytes to CSV text, popup text and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "convert/export_core.h"
#include "fields/popup_list.h"
#include "pdb/identify.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::PopupListBytes;
using testing::RowBuilder;
using testing::TestDatabase;

std::string Error(const std::string& text) { return "ERROR:\n" + text + "\n\n\n"; }
std::string Message(const std::string& text) { return text + "\n\n\n"; }

ConversionOptions Options() {
  ConversionOptions options;
  options.pdbFile = "in.pdb";
  options.csvFile = "out.csv";
  return options;
}

// Record entry i's data offset, big-endian at 78 + 8i.
void SetEntryOffset(Bytes& file, size_t index, uint32_t offset) {
  const size_t at = kHeaderSize + kRecordEntrySize * index;
  for (int k = 0; k < 4; ++k) file[at + k] = static_cast<uint8_t>(offset >> (24 - 8 * k));
}
uint32_t EntryOffset(const Bytes& file, size_t index) {
  const size_t at = kHeaderSize + kRecordEntrySize * index;
  uint32_t offset = 0;
  for (int k = 0; k < 4; ++k) offset = (offset << 8) | file[at + k];
  return offset;
}

// Text in slot 0, integer in slot 2, popup in slot 5, check box in slot 7;
// the columns run check box, text, popup, integer.
TestDatabase MixedDatabase() {
  TestDatabase db;
  db.AddField(0, kText, "Name").AddField(2, kInteger, "Count").AddField(5, kPopup, "Colour");
  db.AddField(7, kCheckBox, "Done");
  db.SetPopup(5, {"Red", "Green"});
  const int8_t order[] = {7, 0, 1, 5, 2};
  for (int k = 0; k < 5; ++k) db.master.columnOrder[k] = order[k];
  int next = 5;
  for (int slot = 3; slot < kFieldSlots; ++slot) {
    if (slot != 5 && slot != 7) db.master.columnOrder[next++] = static_cast<int8_t>(slot);
  }
  return db;
}

Bytes MixedRow(std::string_view name, int32_t count, uint8_t colour, uint8_t done) {
  return RowBuilder()
      .Text(name).Empty().Int(count).Empty().Empty().Byte(colour).Empty().Byte(done)
      .EndMark().Build();
}

TEST(ExportCore, RowsFollowColumnOrderAndSkipEmptySlots) {
  TestDatabase db = MixedDatabase();
  db.AddRow(MixedRow("Ann", 12, 0, 1)).AddRow(MixedRow("Bob", -1, 255, 0));
  db.AddRow(MixedRow("", 0, 1, 0));
  ConversionOptions options = Options();
  options.fieldNames = true;
  Console console;
  const ExportResult result = ExportToCsvText(db.Build(), options, console);
  EXPECT_TRUE(result.loaded);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.csv,
            "Done,Name,Colour,Count\n"
            "1,Ann,Red,12\n"
            "0,Bob,No Value,-1\n"
            "0,,Green,0\n");
  EXPECT_EQ(console.text(), "");
  EXPECT_EQ(result.popups, "");  // no popup file asked for
}

TEST(ExportCore, QuotingOfNamesAndValues) {
  TestDatabase db;
  db.AddField(0, kText, "a,b").AddField(1, kText, "say \"hi\"").AddField(2, kText, "plain");
  db.AddRow(RowBuilder().Text("1,5").Text("a\"b").Text("").EndMark().Build());
  db.AddRow(RowBuilder().Text("line1\nline2").Text("cr\rhere").Text(" x ").EndMark().Build());
  ConversionOptions options = Options();
  options.fieldNames = true;
  Console console;
  EXPECT_EQ(ExportToCsvText(db.Build(), options, console).csv,
            "\"a,b\",\"say \"\"hi\"\"\",plain\n"
            "\"1,5\",\"a\"\"b\",\n"
            "\"line1\nline2\",\"cr\rhere\", x \n");

  options.placeQuotes = true;
  EXPECT_EQ(ExportToCsvText(db.Build(), options, console).csv,
            "\"a,b\",\"say \"\"hi\"\"\",\"plain\"\n"
            "\"1,5\",\"a\"\"b\",\"\"\n"
            "\"line1\nline2\",\"cr\rhere\",\" x \"\n");
}

TEST(ExportCore, FieldNameLineWithoutVisibleOrLeadingColumns) {
  TestDatabase db;
  ConversionOptions options = Options();
  options.fieldNames = true;
  Console console;
  // No used slot: the name line is a bare line feed, and no rows follow.
  EXPECT_EQ(ExportToCsvText(db.Build(), options, console).csv, "\n");
  options.fieldNames = false;
  EXPECT_EQ(ExportToCsvText(db.Build(), options, console).csv, "");

  // A type-0 slot first in column order gives no leading separator.
  db.AddField(3, kText, "Only");
  db.AddRow(RowBuilder().Empty().Empty().Empty().Text("x").EndMark().Build());
  options.fieldNames = true;
  EXPECT_EQ(ExportToCsvText(db.Build(), options, console).csv, "Only\nx\n");
  options.placeQuotes = true;
  EXPECT_EQ(ExportToCsvText(db.Build(), options, console).csv, "\"Only\"\n\"x\"\n");
}

TEST(ExportCore, LoadFailuresStopBeforeAnyOutputAndSayWhatTheFileIs) {
  const std::string header =
      "ERROR: Reading header!\nMake sure you are converting a Quorvex data file!\n";
  TestDatabase other("AddressDB");
  other.header.typeCode = 0x44415441;     // DATA
  other.header.creatorCode = 0x61646472;  // addr
  TestDatabase application("Quorvex");
  application.header.attributes = kResourceAttribute;
  Bytes truncated = TestDatabase("Sales").Build();  // the file ends inside record 0
  truncated.resize(EntryOffset(truncated, 0) + 100);
  Bytes damaged = TestDatabase("Sales").Build();
  SetEntryOffset(damaged, 0, 0x10000);
  std::string text;
  for (int i = 0; i < 10; ++i) text += "Name,Phone\nAnn,5551234\n";
  const struct {
    const char* what;
    Bytes file;
    std::string expected;
  } cases[] = {
      {"empty", Bytes(), header + "This is an empty file.\n"},
      {"short", Bytes(40, 0),
       header + "This is a file of 40 bytes, shorter than a database header (78 bytes).\n"},
      {"other application", other.Build(),
       header + "This is a Palm database of another application: \"AddressDB\", type DATA, "
                "creator addr, 31 records.\n"},
      {"resource file with the database's creator", application.Build(),
       header + "This is a Palm resource database or application: \"Quorvex\", type PmDB, "
                "creator PmDB, 31 resources; its resource list is damaged: resource 2 starts "
                "at offset 165543936, past the end of the file (2610 bytes).\n"},
      {"text", Bytes(text.begin(), text.end()),
       header + "This is not a Palm file: it looks like text.\n"},
      {"truncated", truncated,
       "ERROR: Reading MasterRecord\nThis is a Quorvex database \"Sales\" with a damaged record "
       "list: record 1 starts at offset 2520, past the end of the file (468 bytes).\n"},
      {"damaged", damaged,
       "ERROR: Reading MasterRecord\nThis is a Quorvex database \"Sales\" with a damaged record "
       "list: record 0 starts at offset 65536, past the end of the file (2610 bytes).\n"},
  };
  ConversionOptions options = Options();
  options.fieldNames = true;
  for (const auto& c : cases) {
    Console console;
    const ExportResult result = ExportToCsvText(c.file, options, console);
    EXPECT_FALSE(result.loaded) << c.what;
    EXPECT_EQ(result.csv, "") << c.what;
    EXPECT_EQ(console.text(), Error(c.expected)) << c.what;
  }
}

TEST(ExportCore, PermissionAndPassword) {
  auto run = [](const TestDatabase& db, const std::string& given, Console& console) {
    ConversionOptions options = Options();
    options.givenPassword = given;
    return ExportToCsvText(db.Build(), options, console).loaded;
  };
  const std::string denied = Error("Conversion not Allowed by database! ACCESS DENIED") +
                             Message("Conversion Cancelled: Operation not permitted");
  const std::string wrong = Error("Password Incorrect! ACCESS DENIED") +
                            Message("Conversion Cancelled: Password not Entered");
  TestDatabase db;
  SetFixedText(db.master.password, "Secret");
  for (int value : {2, 3}) {
    SetPermission(db.master, 0, value);
    Console console;
    EXPECT_FALSE(run(db, "Secret", console)) << value;
    EXPECT_EQ(console.text(), denied);
  }

  SetPermission(db.master, 0, 1);
  for (const char* given : {"", "secret", "Secret ", "Secre"}) {
    Console console;
    EXPECT_FALSE(run(db, given, console)) << given;
    EXPECT_EQ(console.text(), wrong);
  }
  Console accepted;
  EXPECT_TRUE(run(db, "Secret", accepted));
  EXPECT_EQ(accepted.text(), "");

  // Without a stored password, or without the permission bit, nothing given
  // is looked at.
  SetPermission(db.master, 0, 0);
  Console open;
  EXPECT_TRUE(run(db, "anything", open));
  SetPermission(db.master, 0, 1);
  SetFixedText(db.master.password, "");
  EXPECT_TRUE(run(db, "anything", open));
  EXPECT_EQ(open.text(), "");

  // A 19-character stored password is compared whole.
  SetFixedText(db.master.password, "abcdefghijklmnopqrs");
  Console full;
  EXPECT_TRUE(run(db, "abcdefghijklmnopqrs", full));
  EXPECT_FALSE(run(db, "abcdefghijklmnopqrst", full));
}

TEST(ExportCore, ExtraDiagnosticsAndUnreadableRecords) {
  TestDatabase db;
  db.AddField(0, kInteger, "N");
  for (int32_t n = 1; n <= 4; ++n) db.AddRow(RowBuilder().Int(n).EndMark().Build());
  Bytes file = db.Build();
  // Record 32 (the second row) starts after record 33 does: a negative
  // extent, so it cannot be read.
  SetEntryOffset(file, 32, EntryOffset(file, 33) + 1);
  ConversionOptions options = Options();
  options.extraDiag = true;
  Console console;
  const ExportResult result = ExportToCsvText(file, options, console);
  EXPECT_TRUE(result.loaded);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.csv, "1\n3\n4\n");
  EXPECT_EQ(console.text(), Message("Reading Record: 1:") + Message("Writing Record: 31:") +
                                Message("Reading Record: 2:") + Error("Reading Record: 32") +
                                Message("Reading Record: 3:") + Message("Writing Record: 33:") +
                                Message("Reading Record: 4:") + Message("Writing Record: 34:"));

  // Without EXTRADIAG only the failure is reported.
  options.extraDiag = false;
  Console quiet;
  EXPECT_EQ(ExportToCsvText(file, options, quiet).csv, "1\n3\n4\n");
  EXPECT_EQ(quiet.text(), Error("Reading Record: 32"));
}

// Rows rendered in parts on several threads give the bytes and the messages
// of one thread, in every format and character set, with records that cannot
// be read in the first part and a later one, or in a later one only.
TEST(ExportCore, RowsOnSeveralThreadsGiveTheOutputAndMessagesOfOne) {
  TestDatabase db = MixedDatabase();
  for (int n = 0; n < 3 * 16384 + 5; ++n) db.AddRow(MixedRow("Caf\xE9 \x80", n, n % 2, 1));
  const Bytes sound = db.Build();
  ConversionOptions options = Options();
  options.fieldNames = true;
  for (const std::vector<uint32_t>& unreadable : {std::vector<uint32_t>{40, 45000}, {45000}}) {
    Bytes file = sound;
    for (const uint32_t record : unreadable) {
      SetEntryOffset(file, record, EntryOffset(file, record + 1) + 1);
    }
    for (const ExportFormat format : {ExportFormat::kCsv, ExportFormat::kJsonLines}) {
      for (const CsvEncoding encoding : {CsvEncoding::kBytes, CsvEncoding::kUtf8Bom}) {
        options.encoding = encoding;
        options.threads = 1;
        Console one;
        const ExportResult expected = ExportToMemory(file, options, format, one);
        ASSERT_TRUE(expected.loaded);
        EXPECT_FALSE(expected.ok);
        for (const unsigned threads : {2u, 3u, 8u}) {
          options.threads = threads;
          Console several;
          const ExportResult result = ExportToMemory(file, options, format, several);
          EXPECT_TRUE(result.loaded && !result.ok);
          EXPECT_TRUE(result.csv == expected.csv) << threads;
          EXPECT_EQ(several.text(), one.text());
          EXPECT_EQ(several.firstError(), one.firstError());
        }
      }
    }
  }
}

// A sink that records the calls it gets and fails the one it is told to.
struct ScriptedSink final : OutputSink {
  std::string failOn; // "open", "write" (the second write) or "finish"
  std::string calls;
  std::string text;
  Status Open() override { return Step("open"); }
  Status Write(std::string_view chunk) override {
    text.append(chunk);
    const bool second = calls.find("write ") != std::string::npos;
    return Step(second ? "write" : "first write");
  }
  Status Finish() override { return Step("finish"); }
  Status Step(const std::string& call) {
    calls += call + " ";
    if (call == failOn) return Failure{call + " failed"};
    return {};
  }
};

// Chunks of any size give the bytes the whole text gives, in every
// character set (each chunk converts alone; the byte-order mark comes once)
// and in JSON Lines; a failing sink stops the writing and is reported after
// the rows' messages.
TEST(ExportCore, OutputInChunksAndFailingSinks) {
  TestDatabase db = MixedDatabase();
  for (int n = 0; n < 40; ++n) db.AddRow(MixedRow("Caf\xE9 \x80", n, n % 2, 1));
  Bytes file = db.Build();
  SetEntryOffset(file, 35, EntryOffset(file, 36) + 1);
  ConversionOptions options = Options();
  options.fieldNames = true;
  options.popupFile = "popups.csv";
  for (const ExportFormat format : {ExportFormat::kCsv, ExportFormat::kJsonLines}) {
    for (const CsvEncoding encoding : {CsvEncoding::kBytes, CsvEncoding::kUtf8Bom}) {
      options.encoding = encoding;
      Console whole;
      const ExportResult expected = ExportToMemory(file, options, format, whole);
      ASSERT_TRUE(expected.loaded);
      EXPECT_FALSE(expected.ok);
      for (const size_t chunk : {size_t{1}, size_t{100}}) {
        StringSink output;
        StringSink popups;
        Console console;
        const ExportOutcome outcome =
            RunExport(file, options, format, output, popups, console, chunk);
        EXPECT_TRUE(outcome.loaded && !outcome.ok);
        EXPECT_EQ(output.text, expected.csv) << chunk;
        EXPECT_EQ(popups.text, expected.popups);
        EXPECT_EQ(console.text(), whole.text());
      }
    }
  }

  options.encoding = CsvEncoding::kBytes;
  const std::string rowError = Error("Reading Record: 35");
  const struct {
    const char* failOn;
    const char* calls;
    std::string messages;
  } cases[] = {
      {"open", "open ", Error("open failed")},
      {"write", "open first write write ", rowError + Error("write failed")},
      {"finish", "open first write write finish ", rowError + Error("finish failed")},
  };
  for (const auto& c : cases) {
    ScriptedSink output;
    output.failOn = c.failOn;
    StringSink popups;
    Console console;
    const ExportOutcome outcome =
        RunExport(file, options, ExportFormat::kCsv, output, popups, console, 500);
    EXPECT_TRUE(outcome.loaded && !outcome.ok);
    EXPECT_EQ(output.calls, c.calls);
    EXPECT_EQ(console.text(), c.messages);
  }

  // Not being able to open the popup file costs only the popup file; not
  // being able to write it fails the export, after the rows are written.
  file = MixedDatabase().AddRow(MixedRow("A", 1, 0, 1)).Build();
  for (const char* failOn : {"open", "write"}) {
    StringSink output;
    ScriptedSink popups;
    popups.failOn = failOn == std::string("open") ? "open" : "first write";
    Console console;
    const ExportOutcome outcome =
        RunExport(file, options, ExportFormat::kCsv, output, popups, console);
    EXPECT_EQ(outcome.ok.ok(), failOn == std::string("open"));
    EXPECT_EQ(output.text, "Done,Name,Colour,Count\n1,A,Red,1\n");
    EXPECT_EQ(console.text(), failOn == std::string("open") ? Error("Could not open Popup File!!")
                                                            : Error("first write failed"));
  }
}

TEST(ExportCore, PopupFileListsEverySlot) {
  TestDatabase db = MixedDatabase();
  db.SetPopup(0, {"Only, one", "say \"x\""});  // not a popup field: listed all the same
  db.popupLists[9] = Bytes{'a', 0, 'b'};        // ends without its terminator
  db.popupLists[10] = Bytes{};                  // an empty record
  db.popupLists[11] = Bytes{0, 0, 'z', 0};      // an empty first choice
  db.popupLists[12] = Bytes{'p', 0, 0, 'q', 0, 0, 0};
  Bytes file = db.Build();
  // The list record of slot 3 cannot be read: an empty line.
  SetEntryOffset(file, 4, EntryOffset(file, 5) + 1);

  ConversionOptions options = Options();
  options.popupFile = "popups.csv";
  Console console;
  const ExportResult result = ExportToCsvText(file, options, console);
  ASSERT_TRUE(result.ok);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = result.popups.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(result.popups.substr(start, end - start));
  }
  ASSERT_EQ(start, result.popups.size());
  ASSERT_EQ(lines.size(), 30u);
  EXPECT_EQ(lines[0], "\"Only, one\",\"say \"\"x\"\"\",");
  EXPECT_EQ(lines[1], ",");  // three NULs: two empty items
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[5], "Red,Green,");
  EXPECT_EQ(lines[12], "p,");
  for (int slot : {9, 10, 11}) {
    std::string expected;
    for (int index = 0; const auto item = ChoiceText(ByteView(db.popupLists[slot]), index);
         ++index) {
      if (index > 0) expected += ',';
      expected += *item;
    }
    EXPECT_EQ(lines[slot], expected) << slot;
  }

  options.placeQuotes = true;
  const std::string quoted = ExportToCsvText(file, options, console).popups;
  EXPECT_EQ(quoted.substr(0, quoted.find('\n')), "\"Only, one\",\"say \"\"x\"\"\",\"\"");
}

// The popup file walks each list once; it must give exactly the items that
// asking ChoiceText for index 0, 1, 2, ... gives, however odd the list.
TEST(ExportCore, PopupItemsMatchChoiceTextOnArbitraryLists) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    Bytes list;
    const int length = static_cast<int>(random() % (round < 250 ? 24 : 700));
    for (int i = 0; i < length; ++i) {
      const uint32_t pick = random() % 4;
      list.push_back(pick == 0 ? 0 : static_cast<uint8_t>('a' + random() % 3));
    }
    if (round >= 250) {  // long lists of one-letter choices pass index 255
      list.clear();
      for (int i = 0; i < 200 + round; ++i) list.insert(list.end(), {'c', 0});
      if (round % 2 == 0) list.push_back(0);
    }
    TestDatabase db;
    db.popupLists[0] = list;
    ConversionOptions options = Options();
    options.popupFile = "p";
    Console console;
    const std::string popups = ExportToCsvText(db.Build(), options, console).popups;

    std::string expected;
    for (int index = 0; index < 5000; ++index) {
      const std::optional<std::string> item = ChoiceText(ByteView(list), index);
      if (!item) break;
      if (index > 0) expected += ',';
      expected += *item;
    }
    ASSERT_EQ(popups.substr(0, popups.find('\n')), expected) << "round " << round;
  }
}

// Damaged files: every byte of the container, the definition and the rows
// is fair game; the export may fail but must stay inside the buffer.
TEST(ExportCore, DamagedDatabasesNeverCrash) {
  TestDatabase db = MixedDatabase();
  db.AddField(10, kDate, "D").AddField(11, kTime, "T").AddField(12, kSubKindText, "S");
  for (int i = 0; i < 6; ++i) db.AddRow(MixedRow("row", i, static_cast<uint8_t>(i), 1));
  db.AddRow(RowBuilder().Text("short").Append(Bytes{9, 0, 'x'}).Build());
  const Bytes original = db.Build();
  std::mt19937 random(11);
  ConversionOptions options = Options();
  options.fieldNames = true;
  options.popupFile = "p";
  for (int round = 0; round < 1500; ++round) {
    Bytes file = original;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) {
      // Bias towards the header, the entries and the rows.
      const size_t span = (i % 2 == 0) ? std::min<size_t>(file.size(), 400) : file.size();
      file[random() % span] = static_cast<uint8_t>(random());
    }
    if (round % 5 == 0) file.resize(random() % file.size());
    Console console;
    const ExportResult result = ExportToCsvText(file, options, console);
    if (result.loaded) {
      ASSERT_FALSE(result.popups.empty());
      EXPECT_EQ(result.popups.back(), '\n');
    } else {
      EXPECT_EQ(result.csv, "");
    }
  }
}

}  // namespace
}  // namespace qv
