// Typed databases from schema files: the import's definitions step, and the
// round trips through INFO and the export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "convert/info_core.h"
#include "fields/date_time.h"
#include "support/convert.h"
#include "support/db_builder.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::MasterOf;
using testing::RowBuilder;
using testing::TempDir;
using testing::TestDatabase;

struct Imported {
  std::optional<Bytes> db;
  std::string console;
};

Imported ImportWithSchema(std::string_view csv, std::string_view schema,
                          ConversionOptions options = {}) {
  options.databaseName = "Typed";
  ImportSource source;
  source.csvText = csv;
  source.schemaText = schema;
  source.schemaName = "s.schema";
  Console console;
  Imported result{testing::ImportDatabase(source, options, console), console.text()};
  return result;
}

std::vector<Bytes> RecordsFrom(const Bytes& db, uint32_t first) {
  const Result<DatabaseHeader> header = ReadDatabaseHeader(db);
  EXPECT_TRUE(header);
  std::vector<Bytes> records;
  for (uint32_t r = first; header && r < header->recordCount; ++r) {
    Result<ByteView> record = ReadRecord(db, r, header->recordCount);
    EXPECT_TRUE(record.ok()) << r;
    if (record) records.emplace_back(record->begin(), record->end());
  }
  return records;
}

std::string SchemaOf(const Bytes& db, CsvEncoding encoding = CsvEncoding::kBytes) {
  ConversionOptions options;
  options.schemaFile = "out.schema";
  options.encoding = encoding;
  Console console;
  DatabaseDescription description = DescribeDatabaseText(db, options, console);
  EXPECT_TRUE(description.loaded) << console.text();
  return description.schema;
}

TEST(SchemaImport, DefinitionsLengthsAndPopupListsComeFromTheSchema) {
  const std::string schema =
      "# comment\n"
      "Who,text,\n"
      "Count,INTEGER,8\n"
      "\n"
      "Colour,popup,,Red,Green\n"
      "Notes,long text\n"
      "Empty col,date,\n";
  const std::string csv =
      "a,b,c,d,e\n"
      "Ann,1,blue,\"x\",\n"
      "Bo,22,green,,\n"
      "Cyrille,3,Purple,,\n";
  ConversionOptions options;
  options.fieldNames = true;
  Imported imported = ImportWithSchema(csv, schema, options);
  ASSERT_TRUE(imported.db) << imported.console;
  // The first line's names are not the schema's, so the columns are read in
  // order, and the import says so; nothing else is warned about.
  const size_t warning = imported.console.find(
      "WARNING:The first line names \"a\", \"b\", \"c\", \"d\", \"e\", which are not field "
      "names; the columns are read in the order of the fields.\n");
  EXPECT_NE(warning, std::string::npos) << imported.console;
  EXPECT_EQ(imported.console.find("WARNING", warning + 1), std::string::npos) << imported.console;

  const MasterRecord master = MasterOf(*imported.db);
  EXPECT_EQ(FixedText(master.fields[0].name), "Who");
  EXPECT_EQ(master.fields[0].maxLength, 7u + 10u);  // "Cyrille"
  EXPECT_EQ(master.fields[1].type, kInteger);
  EXPECT_EQ(master.fields[1].maxLength, 8u);  // given, not derived
  EXPECT_EQ(master.fields[2].type, kPopup);
  EXPECT_EQ(master.fields[3].type, kLongText);
  EXPECT_EQ(master.fields[3].longTextFlag, 1);
  EXPECT_EQ(master.fields[4].maxLength, 10u);  // every value empty
  EXPECT_EQ(master.fields[5].type, kEmptySlot);

  // The listed choices first, then the CSV's other values; "green" is
  // already there in another case.
  const std::vector<Bytes> lists = RecordsFrom(*imported.db, 1);
  EXPECT_EQ(lists[2], testing::PopupListBytes({"Red", "Green", "blue", "Purple"}));
  EXPECT_EQ(lists[0], testing::PopupListBytes({}));

  // Without data lines the lengths left empty are 40.
  Imported empty = ImportWithSchema("", "A,text\nB,time,3\n");
  ASSERT_TRUE(empty.db) << empty.console;
  EXPECT_EQ(MasterOf(*empty.db).fields[0].maxLength, 40u);
  EXPECT_EQ(MasterOf(*empty.db).fields[1].maxLength, 3u);
}

TEST(SchemaImport, BadSchemasAreRefusedNamingTheLine) {
  std::string tooMany;
  for (int i = 0; i < 31; ++i) tooMany += "f" + std::to_string(i) + ",text,\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A,text\n\nB,colour\n", "Schema file s.schema: line 3: unknown type \"colour\""},
      {tooMany, "Schema file s.schema: line 31: more than 30 fields"},
      {"A,11,4\n", "Schema file s.schema: line 1: type 11 cannot be given"},
      {"A,text,-1\n", "Schema file s.schema: line 1: maxLength"},
      {"# only a comment\n", "Schema file s.schema: the schema defines no fields"},
  };
  for (const auto& [schema, message] : cases) {
    Imported imported = ImportWithSchema("1,2\n", schema);
    EXPECT_FALSE(imported.db) << schema;
    EXPECT_NE(imported.console.find(message), std::string::npos) << imported.console;
  }
}

TEST(SchemaImport, ColumnCountMismatchWarnsAndGoesOn) {
  Imported imported = ImportWithSchema("1,2,3\n4,5,6\n", "A,integer,\nB,integer,\n");
  ASSERT_TRUE(imported.db) << imported.console;
  EXPECT_NE(imported.console.find("WARNING:The .CSV file has 3 fields on its first line, but "
                                  "the schema defines 2."),
            std::string::npos)
      << imported.console;
  EXPECT_EQ(RecordsFrom(*imported.db, kFirstDataRecord).size(), 2u);
}

TEST(SchemaImport, Utf8SchemaIsStoredInTheHandheldSet) {
  ConversionOptions options;
  options.encoding = CsvEncoding::kUtf8;
  Imported imported =
      ImportWithSchema("x\n", "\xEF\xBB\xBF" "Caf\xC3\xA9,popup,,\xE2\x82\xAC\n", options);
  ASSERT_TRUE(imported.db) << imported.console;
  EXPECT_EQ(FixedText(MasterOf(*imported.db).fields[0].name), "Caf\xE9");
  EXPECT_EQ(RecordsFrom(*imported.db, 1)[0], testing::PopupListBytes({"\x80", "x"}));
  // INFO writes it back as the same UTF-8, the mark included for UTF-8-BOM.
  EXPECT_NE(SchemaOf(*imported.db, CsvEncoding::kUtf8Bom)
                .find("\xEF\xBB\xBF# "),
            std::string::npos);
  EXPECT_NE(SchemaOf(*imported.db, CsvEncoding::kUtf8).find("Caf\xC3\xA9,popup,11,\xE2\x82\xAC,x\n"),
            std::string::npos);

  Imported bad = ImportWithSchema("x\n", "A,text\r\nB,text\r\n\xE4\xB8\xAD,text\n", options);
  EXPECT_FALSE(bad.db);
  EXPECT_NE(bad.console.find("Schema file s.schema: line 3: "), std::string::npos)
      << bad.console;
}

TEST(SchemaRoundTrip, InfoOfADatabaseBuiltFromASchemaGivesTheSchemaBack) {
  const std::string handWritten =
      "Name,Text\n"
      "Age, integer ,5\n"
      "Code,short text,\n"
      "\"Colour, main\",popup,,Red,\"Dark \"\"blue\"\"\"\n"
      "Done,check box\n"
      "Id,unique integer,\n"
      "Born,date,\n"
      "At,time,\n"
      "Notes,long text,300\n"
      "\"#tag\",text,\n";
  const std::string csv = "Ann,30,A1,Red,1,1,01/02/2003,10:30,note,t\n";
  Imported first = ImportWithSchema(csv, handWritten);
  ASSERT_TRUE(first.db) << first.console;
  const std::string written = SchemaOf(*first.db);
  EXPECT_NE(written.find("\n\"Colour, main\",popup,13,Red,\"Dark \"\"blue\"\"\"\n"),
            std::string::npos)
      << written;
  EXPECT_NE(written.find("\nNotes,long text,300\n\"#tag\",text,11\n"), std::string::npos)
      << written;

  Imported second = ImportWithSchema(csv, written);
  ASSERT_TRUE(second.db) << second.console;
  EXPECT_EQ(SchemaOf(*second.db), written);
}

// A database of every type a schema can give, not made by the import.
Bytes EveryTypeDatabase() {
  TestDatabase db("Typed");
  db.AddField(0, kText, "Text").AddField(1, kInteger, "Integer");
  db.AddField(2, kShortText, "Short").AddField(3, kPopup, "Popup");
  db.AddField(4, kCheckBox, "Check").AddField(5, kUniqueInteger, "Unique");
  db.AddField(6, kDate, "Date").AddField(7, kTime, "Time");
  db.AddField(8, kLongText, "Long");
  db.master.fields[8].longTextFlag = 1;
  db.master.fields[2].maxLength = 12;
  db.SetPopup(3, {"Red", "Green, dark", "Blue \"sky\""});
  auto row = [&](std::string_view text, int32_t number, uint8_t popup, uint8_t check,
                 int32_t unique, uint32_t day, uint8_t hour, std::string_view longText) {
    db.AddRow(RowBuilder()
                  .Text(text).Int(number).Text(text.substr(0, 3)).Byte(popup).Byte(check)
                  .Int(unique).Date(day).Time(hour, 15).Text(longText).EndMark().Build());
  };
  row("plain", 42, 0, 1, 7, static_cast<uint32_t>(DateToDayCount(3, 14, 2024)), 9,
      std::string(300, 'L') + "\nmore");
  row("with, comma", -3, 2, 0, 8, 0, 255, "");
  row("", 0, 255, 1, 9, static_cast<uint32_t>(DateToDayCount(12, 31, 1999)), 23, "x");
  return db.Build();
}

TEST(SchemaRoundTrip, ImportWithTheSchemaEqualsImportOverTheDatabase) {
  const Bytes file = EveryTypeDatabase();
  for (bool fieldNames : {false, true}) {
    ConversionOptions options;
    options.fieldNames = fieldNames;
    options.databaseName = "Copy";
    Console exportConsole;
    const ExportResult exported = ExportToCsvText(file, options, exportConsole);
    ASSERT_TRUE(exported.ok) << exportConsole.text();
    const std::string schema = SchemaOf(file);

    Imported typed = ImportWithSchema(exported.csv, schema, options);
    ImportSource source;
    source.csvText = exported.csv;
    source.useExisting = true;
    source.existing = ByteView(file);
    Console console;
    std::optional<Bytes> existing = testing::ImportDatabase(source, options, console);
    ASSERT_TRUE(typed.db && existing) << typed.console << console.text();
    EXPECT_EQ(typed.console.find("WARNING"), std::string::npos) << typed.console;
    // Popup lists and data records alike.
    EXPECT_EQ(RecordsFrom(*typed.db, 1), RecordsFrom(*existing, 1)) << "names " << fieldNames;
    EXPECT_EQ(SchemaOf(*typed.db), schema);
  }
}

TEST(SchemaCli, SchemaFileOnTheCommandLine) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "Ann,3\nBo,4\n"));
  ASSERT_TRUE(dir.Write("good.schema", "Name,text,\nCount,integer,\n"));
  ASSERT_TRUE(dir.Write("bad.schema", "Name,text,\nCount,number,\n"));
  ASSERT_TRUE(dir.Write("existing.pdb", EveryTypeDatabase()));
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}",
                               "DBNAME:{Typed}"});
    return testing::RunQv(QV_BINARY, args, dir.path());
  };

  auto both = run({"SCHEMA:{good.schema}", "USEEXISTING:{existing.pdb}"});
  EXPECT_EQ(both.exitStatus, 1);
  EXPECT_NE(both.output.find("SCHEMA: and USEEXISTING: both give the field definitions"),
            std::string::npos)
      << both.output;
  auto bad = run({"SCHEMA:{bad.schema}"});
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_NE(bad.output.find("Schema file bad.schema: line 2: unknown type \"number\""),
            std::string::npos)
      << bad.output;
  auto missing = run({"SCHEMA:{nothere.schema}"});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_NE(missing.output.find("nothere.schema"), std::string::npos) << missing.output;
  EXPECT_FALSE(dir.Exists("out.pdb"));

  auto good = run({"SCHEMA:{good.schema}"});
  EXPECT_EQ(good.exitStatus, 0) << good.output;
  EXPECT_EQ(MasterOf(dir.ReadBytes("out.pdb")).fields[1].type, kInteger);
}

}  // namespace
}  // namespace qv
