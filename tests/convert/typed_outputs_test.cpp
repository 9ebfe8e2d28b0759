// The typed outputs: JSON Lines and SQLite, each cell type and "no value"
// through both writers, unique names, awkward texts, the empty database and
// the password refusal.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "convert/json_export.h"
#include "convert/sqlite_export.h"
#include "convert/typed_writers.h"
#include "fields/charset.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::RowBuilder;
using testing::TestDatabase;

ConversionOptions Options() {
  ConversionOptions options;
  options.pdbFile = "in.pdb";
  options.csvFile = "out";
  return options;
}

// A SQLite file's bytes, opened read-only in memory.
class SqliteFile {
 public:
  explicit SqliteFile(const std::string& bytes) : copy_(bytes) {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    auto* data = reinterpret_cast<unsigned char*>(copy_.data());
    EXPECT_EQ(sqlite3_deserialize(db_, "main", data, static_cast<sqlite3_int64>(copy_.size()),
                                  static_cast<sqlite3_int64>(copy_.size()),
                                  SQLITE_DESERIALIZE_READONLY),
              SQLITE_OK);
  }
  ~SqliteFile() { sqlite3_close(db_); }
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  // Every row of `sql`, each value as "type:text" ("null" for NULL), the
  // values of a row joined by "|".
  std::vector<std::string> Query(const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db_);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int k = 0; k < sqlite3_column_count(statement); ++k) {
        if (k > 0) row += "|";
        switch (sqlite3_column_type(statement, k)) {
          case SQLITE_NULL: row += "null"; continue;
          case SQLITE_INTEGER: row += "int:"; break;
          case SQLITE_TEXT: row += "text:"; break;
          default: row += "other:"; break;
        }
        const auto* text = sqlite3_column_text(statement, k);
        row.append(reinterpret_cast<const char*>(text),
                   static_cast<size_t>(sqlite3_column_bytes(statement, k)));
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

 private:
  std::string copy_;
  sqlite3* db_ = nullptr;
};

struct Outputs {
  std::string json;
  std::string sqlite;
};

Outputs Convert(const TestDatabase& db) {
  const Bytes file = db.Build();
  Console console;
  const ExportResult json = ExportToJsonText(file, Options(), console);
  const ExportResult sqlite = ExportToSqliteBytes(file, Options(), console);
  EXPECT_TRUE(json.loaded && json.ok && sqlite.loaded && sqlite.ok) << console.text();
  return {json.csv, sqlite.csv};
}

// One field of `type` named "F", one record per entry.
struct TypeCase {
  const char* what;
  uint32_t type;
  int8_t subKind;
  Bytes entry;
  const char* json;    // the value in the record's JSON object
  const char* sqlite;  // the value as SqliteFile::Query shows it
  const char* column;  // the declared column type
};

Bytes Entry(void (*fill)(RowBuilder&)) {
  RowBuilder row;
  fill(row);
  return row.EndMark().Build();
}

TEST(TypedOutputs, EveryFieldTypeAndNoValue) {
  const std::vector<TypeCase> cases = {
      {"text", kText, 0, Entry([](RowBuilder& r) { r.Text("abc"); }), "\"abc\"", "text:abc", "TEXT"},
      {"empty text", kText, 0, Entry([](RowBuilder& r) { r.Text(""); }), "null", "null", "TEXT"},
      {"long text", kLongText, 0, Entry([](RowBuilder& r) { r.Text("L"); }), "\"L\"", "text:L", "TEXT"},
      {"text 2", kText2, 0, Entry([](RowBuilder& r) { r.Text("t2"); }), "\"t2\"", "text:t2", "TEXT"},
      {"short text", kShortText, 0, Entry([](RowBuilder& r) { r.Text("short"); }), "\"short\"",
       "text:short", "TEXT"},
      {"integer", kInteger, 0, Entry([](RowBuilder& r) { r.Int(-2147483647 - 1); }),
       "-2147483648", "int:-2147483648", "INTEGER"},
      {"integer too short", kInteger, 0,
       Entry([](RowBuilder& r) { r.Raw(Bytes{1, 2, 3}); }), "null", "null", "INTEGER"},
      {"unique", kUniqueInteger, 0, Entry([](RowBuilder& r) { r.Int(42); }), "42", "int:42",
       "INTEGER"},
      {"unique 2", kUniqueInteger2, 0, Entry([](RowBuilder& r) { r.Int(2147483647); }),
       "2147483647", "int:2147483647", "INTEGER"},
      {"unique extended", kUniqueIntegerExt, 0, Entry([](RowBuilder& r) {
         Bytes data = {7, 0, 0, 0};
         data.insert(data.end(), 20, 0);
         r.Raw(data);
       }),
       "7", "int:7", "INTEGER"},
      {"checked", kCheckBox, 0, Entry([](RowBuilder& r) { r.Byte(1); }), "true", "int:1", "INTEGER"},
      {"unchecked", kCheckBox, 0, Entry([](RowBuilder& r) { r.Byte(0); }), "false", "int:0",
       "INTEGER"},
      {"check box without data", kCheckBox, 0, Entry([](RowBuilder& r) { r.Empty(); }), "null",
       "null", "INTEGER"},
      {"popup", kPopup, 0, Entry([](RowBuilder& r) { r.Byte(1); }), "\"Grün\"", "text:Grün", "TEXT"},
      {"popup no value", kPopup, 0, Entry([](RowBuilder& r) { r.Byte(255); }), "null", "null",
       "TEXT"},
      {"popup beyond list", kPopup, 0, Entry([](RowBuilder& r) { r.Byte(9); }), "\"\"", "text:",
       "TEXT"},
      {"date", kDate, 0, Entry([](RowBuilder& r) { r.Date(35123); }), "\"2000-02-29\"",
       "text:2000-02-29", "TEXT"},
      {"no date", kDate, 0, Entry([](RowBuilder& r) { r.Date(0); }), "null", "null", "TEXT"},
      {"time", kTime, 0, Entry([](RowBuilder& r) { r.Time(13, 5); }), "\"13:05\"", "text:13:05",
       "TEXT"},
      {"midnight", kTime, 0, Entry([](RowBuilder& r) { r.Time(0, 0); }), "\"00:00\"",
       "text:00:00", "TEXT"},
      {"no time", kTime, 0, Entry([](RowBuilder& r) { r.Time(255, 0); }), "null", "null", "TEXT"},
      {"sub-kind text", kSubKindText, 0, Entry([](RowBuilder& r) { r.Text("s"); }), "\"s\"",
       "text:s", "TEXT"},
      {"one-byte value", kOneByteValue, 0, Entry([](RowBuilder& r) { r.Byte(0); }), "null", "null",
       "TEXT"},
      {"no data type", kNoData, 0, Entry([](RowBuilder& r) { r.Empty(); }), "null", "null", "TEXT"},
  };
  for (const TypeCase& c : cases) {
    TestDatabase db("Types");
    db.AddField(0, c.type, "F");
    db.master.fields[0].kindData[19] = static_cast<char>(c.subKind);
    db.SetPopup(0, {"Red", "Gr\xFCn"});
    db.AddRow(c.entry);
    const Outputs out = Convert(db);
    EXPECT_EQ(out.json, std::string("{\"F\":") + c.json + "}\n") << c.what;
    SqliteFile file(out.sqlite);
    EXPECT_EQ(file.Query("SELECT rowid, F FROM Types"),
              std::vector<std::string>{std::string("int:1|") + c.sqlite})
        << c.what;
    EXPECT_EQ(file.Query("SELECT type FROM pragma_table_info('Types')"),
              std::vector<std::string>{std::string("text:") + c.column})
        << c.what;
  }
}

TEST(TypedOutputs, NamesAreMadeUnique) {
  TestDatabase db("Names");
  const char* names[] = {"", "Notes", "notes", "Notes_2", "", "Field 1", "Quote\"d"};
  for (int slot = 0; slot < 7; ++slot) db.AddField(slot, kInteger, names[slot]);
  RowBuilder row;
  for (int slot = 0; slot < 7; ++slot) row.Int(slot);
  db.AddRow(row.EndMark().Build());
  const Outputs out = Convert(db);
  EXPECT_EQ(out.json,
            "{\"Field 1\":0,\"Notes\":1,\"notes_2\":2,\"Notes_2_2\":3,\"Field 5\":4,"
            "\"Field 1_2\":5,\"Quote\\\"d\":6}\n");
  SqliteFile file(out.sqlite);
  EXPECT_EQ(file.Query("SELECT name FROM pragma_table_info('Names')"),
            (std::vector<std::string>{"text:Field 1", "text:Notes", "text:notes_2",
                                      "text:Notes_2_2", "text:Field 5", "text:Field 1_2",
                                      "text:Quote\"d"}));
  EXPECT_EQ(file.Query("SELECT \"Quote\"\"d\" FROM Names"), std::vector<std::string>{"int:6"});
}

TEST(TypedOutputs, TextsKeepEveryByte) {
  std::string high;
  for (int byte = 0x80; byte <= 0xFF; ++byte) high.push_back(static_cast<char>(byte));
  TestDatabase db("sqlite_master");  // a name SQLite reserves
  db.AddField(0, kText, "T");
  db.AddRow(RowBuilder().Text("say \"hi\"\\\r\n\ttab\x01\x1F\x7F").EndMark().Build());
  db.AddRow(RowBuilder().Raw(Bytes{'e', 'n', 'd', 0, 0, 0}).EndMark().Build());
  db.AddRow(RowBuilder().Text(high).EndMark().Build());
  // Escaped, longer than the JSON writer's row buffer.
  db.AddRow(RowBuilder().Text(std::string(12000, '\x01')).EndMark().Build());
  const Outputs out = Convert(db);
  std::string jsonHigh;
  AppendJsonString(HandheldToUtf8(high), jsonHigh);
  std::string escapedLong;
  for (int i = 0; i < 12000; ++i) escapedLong += "\\u0001";
  EXPECT_EQ(out.json,
            "{\"T\":\"say \\\"hi\\\"\\\\\\u000d\\u000a\\u0009tab\\u0001\\u001f\x7F\"}\n"
            "{\"T\":\"end\"}\n"
            "{\"T\":" + jsonHigh + "}\n"
            "{\"T\":\"" + escapedLong + "\"}\n");
  SqliteFile file(out.sqlite);
  EXPECT_EQ(file.Query("SELECT T FROM _sqlite_master"),
            (std::vector<std::string>{"text:say \"hi\"\\\r\n\ttab\x01\x1F\x7F", "text:end",
                                      "text:" + HandheldToUtf8(high),
                                      "text:" + std::string(12000, '\x01')}));
}

TEST(TypedOutputs, EmptyDatabaseGivesTablesWithoutRows) {
  TestDatabase db("Empty");
  db.AddField(0, kText, "Name").AddField(1, kPopup, "Colour");
  db.SetPopup(1, {"Red", "Green"});
  db.header.creationTime = 3029529600u;  // 2000-01-01
  const Outputs out = Convert(db);
  EXPECT_EQ(out.json, "");
  SqliteFile file(out.sqlite);
  EXPECT_EQ(file.Query("SELECT count(*) FROM Empty"), std::vector<std::string>{"int:0"});
  EXPECT_EQ(file.Query("SELECT * FROM qv_fields"),
            (std::vector<std::string>{"int:1|int:1|text:Name|text:text|int:" +
                                          std::to_string(db.master.fields[0].maxLength) +
                                          "|int:1",
                                      "int:2|int:2|text:Colour|text:popup|int:" +
                                          std::to_string(db.master.fields[1].maxLength) +
                                          "|int:1"}));
  EXPECT_EQ(file.Query("SELECT * FROM qv_choices"),
            (std::vector<std::string>{"int:2|int:0|text:Red", "int:2|int:1|text:Green"}));
  EXPECT_EQ(file.Query("SELECT source, database, created, backed_up, records FROM qv_source"),
            std::vector<std::string>{"text:in.pdb|text:Empty|text:2000-01-01T00:00:00|null|int:0"});
}

// Records without a visible field are rows of their rowid alone (and empty
// JSON objects); a database without a name, or with one SQLite or qv might
// take for their own, gets a table name of its own; a backup time is kept.
TEST(TypedOutputs, RowsWithoutFieldsTableNamesAndBackupTime) {
  const struct {
    const char* name;
    const char* table;
  } cases[] = {{"", "Database"}, {"QV_Notes", "_QV_Notes"}, {"Sqlite_x", "_Sqlite_x"}};
  for (const auto& c : cases) {
    TestDatabase db(c.name);
    db.header.backupTime = 3029529600u;  // 2000-01-01
    db.AddRow(RowBuilder().EndMark().Build());
    db.AddRow(RowBuilder().EndMark().Build());
    const Outputs out = Convert(db);
    EXPECT_EQ(out.json, "{}\n{}\n");
    SqliteFile file(out.sqlite);
    EXPECT_EQ(file.Query(std::string("SELECT rowid FROM \"") + c.table + "\""),
              (std::vector<std::string>{"int:1", "int:2"}));
    EXPECT_EQ(file.Query("SELECT backed_up, records FROM qv_source"),
              std::vector<std::string>{"text:2000-01-01T00:00:00|int:2"});
  }
}

TEST(TypedOutputs, PasswordIsRefusedAsByTheExport) {
  TestDatabase db;
  SetFixedText(db.master.password, "Secret");
  SetPermission(db.master, 0, 1);
  const Bytes file = db.Build();
  Console csv;
  Console json;
  Console sqlite;
  EXPECT_FALSE(ExportToCsvText(file, Options(), csv).loaded);
  EXPECT_FALSE(ExportToJsonText(file, Options(), json).loaded);
  EXPECT_FALSE(ExportToSqliteBytes(file, Options(), sqlite).loaded);
  EXPECT_NE(csv.text(), "");
  EXPECT_EQ(json.text(), csv.text());
  EXPECT_EQ(sqlite.text(), csv.text());
}

}  // namespace
}  // namespace qv
