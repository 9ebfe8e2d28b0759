// What the import stores for each CSV cell and what it says when that is not
// what the cell says: a table per field type (cell -> value the export shows
// -> warning), then the limits on warnings, STRICT and blank lines.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "convert/import_core.h"
#include "csv/csv_quote.h"
#include "support/convert.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::ExportOrFail;
using testing::ImportCsv;
using testing::TestDatabase;

struct CellCase {
  std::string cell;
  std::string shown;    // the stored value as the export shows it
  std::string warning;  // after "WARNING:Line 1, column 1 (F): "; empty for none
};

ConversionOptions Options() {
  ConversionOptions options;
  options.databaseName = "Test";
  return options;
}

// Imports each cell as the only line of a CSV over a database whose one field
// (named "F") has `type`, exports the result and compares.
void ExpectCells(const TestDatabase& definitions, const std::vector<CellCase>& cases,
                 const ConversionOptions& options = Options()) {
  const Bytes existing = definitions.Build();
  for (const CellCase& c : cases) {
    std::string csv;
    QuoteCsvValue(c.cell, ',', true, csv);
    csv += "\n";
    std::string messages;
    const std::optional<Bytes> db = ImportCsv(csv, options, ByteView(existing), &messages);
    ASSERT_TRUE(db.has_value()) << c.cell << "\n" << messages;
    const std::string exported = ExportOrFail(*db, options).csv;
    const CsvTable table = ReadCsvTable(exported, ',');
    ASSERT_EQ(table.lineCount(), 1u) << c.cell << "\n" << exported;
    EXPECT_EQ(table.Field(0, 0), c.shown) << "cell " << c.cell;
    if (c.warning.empty()) {
      EXPECT_EQ(messages.find("WARNING"), std::string::npos) << c.cell << "\n" << messages;
    } else {
      EXPECT_NE(messages.find("WARNING:Line 1, column 1 (F): " + c.warning + "\n"),
                std::string::npos)
          << c.cell << "\n" << messages;
    }
  }
}

TestDatabase OneField(uint32_t type) {
  TestDatabase db;
  db.AddField(0, type, "F");
  return db;
}

TEST(ImportCells, Dates) {
  ExpectCells(OneField(kDate),
              {
                  {"03/14/2024", "03/14/2024", ""},
                  {"3/4/24", "03/04/2024", ""},
                  {"12/25/40", "12/25/1940", ""},
                  {"2024-03-14", "03/14/2024", ""},
                  {"", "NO DATE", ""},
                  {"no date", "NO DATE", ""},
                  {"02/30/2024", "NO DATE",
                   "\"02/30/2024\" is not a date; stored as no date"},
                  {"13/01/2024", "NO DATE", "\"13/01/2024\" is not a date; stored as no date"},
                  {"01/01/2032", "NO DATE",
                   "\"01/01/2032\" is outside the years 1904-2031; stored as no date"},
                  {"tomorrow", "NO DATE", "\"tomorrow\" is not a date; stored as no date"},
                  {"03/14/2024 09:00", "03/14/2024",
                   "\"03/14/2024 09:00\" holds more than a date; stored as 03/14/2024"},
              });
  // ISO 8601 in a day-first format too, and the format's own order.
  ConversionOptions dayFirst = Options();
  dayFirst.dateFormat = 2;
  ExpectCells(OneField(kDate),
              {{"2024-03-14", "14.03.2024", ""}, {"14.03.2024", "14.03.2024", ""}}, dayFirst);
}

TEST(ImportCells, Times) {
  ExpectCells(OneField(kTime),
              {
                  {"14:30", "02:30 pm", ""},
                  {"12:30", "12:30 pm", ""},
                  {"00:15", "12:15 am", ""},
                  {"12:30 am", "12:30 am", ""},
                  {"2:30 PM", "02:30 pm", ""},
                  {"", "No Time", ""},
                  {"25:00", "No Time", "\"25:00\" is not a time; stored as no time"},
                  {"10:75", "No Time", "\"10:75\" is not a time; stored as no time"},
                  {"noon", "No Time", "\"noon\" is not a time; stored as no time"},
              });
  ConversionOptions twentyFour = Options();
  twentyFour.timeFormat = 1;
  ExpectCells(OneField(kTime), {{"2:30 pm", "14:30", ""}, {"14:30", "14:30", ""}}, twentyFour);
}

TEST(ImportCells, CheckBoxes) {
  ExpectCells(OneField(kCheckBox),
              {
                  {"", "0", ""},
                  {"0", "0", ""},
                  {"FALSE", "0", ""},
                  {"no", "0", ""},
                  {"Off", "0", ""},
                  {"1", "1", ""},
                  {"TRUE", "1", ""},
                  {"yes", "1", ""},
                  {"x", "1", ""},
                  {"maybe", "1", "\"maybe\" is not a check box value; stored as checked"},
              });
}

TEST(ImportCells, Numbers) {
  for (const uint32_t type : {kInteger, kUniqueInteger}) {
    ExpectCells(OneField(type),
                {
                    {"42", "42", ""},
                    {"-7", "-7", ""},
                    {"", "0", ""},
                    {"twelve", "0", "\"twelve\" is not a whole number; stored as 0"},
                    {"3000000000", "2147483647",
                     "\"3000000000\" does not fit 32 bits; stored as 2147483647"},
                });
  }
}

TEST(ImportCells, ShortTextsAndSubKinds) {
  ExpectCells(OneField(kShortText),
              {
                  {"ninechars", "ninechars", ""},
                  {"ten chars!", "ten chars",
                   "\"ten chars!\" is longer than 9 characters; stored as \"ten chars\""},
              });
  TestDatabase duration = OneField(kSubKindText);
  duration.master.fields[0].kindData[19] = 2;  // seconds shown as a time
  ExpectCells(duration, {{"01:01 am", "01:01 am", ""}, {"", "", ""}});
  TestDatabase days = OneField(kSubKindText);
  days.master.fields[0].kindData[19] = 3;  // a day count shown as a date
  ExpectCells(days, {{"03/14/2024", "03/14/2024", ""}});
}

TEST(ImportCells, Popups) {
  TestDatabase cased = OneField(kPopup);
  cased.SetPopup(0, {"Red", "RED", "Green"});
  const std::string longValue(80, 'a');
  ExpectCells(cased,
              {
                  {"RED", "RED", ""},
                  {"Red", "Red", ""},
                  {"green", "Green", ""},
                  {"Blue", "Blue", ""},  // added to the list
                  {longValue, "No Value",
                   "\"" + longValue.substr(0, 40) +
                       "...\" is longer than a popup choice (79 characters); stored as No Value"},
              });
  TestDatabase full = OneField(kPopup);
  std::vector<std::string> choices;
  for (int i = 0; i < 30; ++i) choices.push_back("c" + std::to_string(i));
  full.SetPopup(0, choices);
  ExpectCells(full, {{"c29", "c29", ""},
                     {"Blue", "No Value",
                      "\"Blue\" is not in the popup list, which is full; stored as No Value"}});
}

TEST(ImportCells, WarningsNameTheLineColumnAndFieldAndStopAfterTwenty) {
  TestDatabase db;
  db.AddField(0, kText, "Name").AddField(1, kDate, "Due date");
  const Bytes existing = db.Build();
  ConversionOptions options = Options();
  options.fieldNames = true;
  std::string csv = "Name,Due date\n";
  for (int i = 0; i < 25; ++i) csv += "n" + std::to_string(i) + ",02/30/2024\n";
  std::string messages;
  ASSERT_TRUE(ImportCsv(csv, options, ByteView(existing), &messages).has_value());
  EXPECT_NE(messages.find("WARNING:Line 2, column 2 (Due date): \"02/30/2024\" is not a date"),
            std::string::npos)
      << messages;
  EXPECT_NE(messages.find("WARNING:Line 21, column 2"), std::string::npos);
  EXPECT_EQ(messages.find("WARNING:Line 22,"), std::string::npos);
  EXPECT_NE(messages.find("WARNING:5 more cells were not stored as written.\n"),
            std::string::npos)
      << messages;
}

TEST(ImportCells, StrictRefusesAnyWarningAndOnlyThen) {
  const Bytes existing = OneField(kInteger).Build();
  ConversionOptions strict = Options();
  strict.strict = true;
  std::string messages;
  EXPECT_FALSE(ImportCsv("1\ntwo\n", strict, ByteView(existing), &messages).has_value());
  EXPECT_NE(messages.find("WARNING:Line 2, column 1 (F): \"two\""), std::string::npos)
      << messages;
  EXPECT_FALSE(ImportCsv("1\r\n\r\n2\r\n", strict, ByteView(existing), &messages).has_value());
  EXPECT_TRUE(ImportCsv("1\n2\n", strict, ByteView(existing), &messages).has_value());
  EXPECT_EQ(messages.find("WARNING"), std::string::npos);
}

TEST(ImportCells, QuotesOutOfPlaceAreNamedWithTheirLine) {
  std::string messages;
  ASSERT_TRUE(ImportCsv("a,b\n12\" pizza,x\nc,d\"\n", Options(), std::nullopt, &messages));
  EXPECT_NE(messages.find("WARNING:Line 2, column 1: a quote inside an unquoted value opens "
                          "quoting there"),
            std::string::npos)
      << messages;
  ASSERT_TRUE(ImportCsv("a,b\nc,\"open\nd,e\n", Options(), std::nullopt, &messages));
  EXPECT_NE(messages.find("WARNING:Line 2, column 2: the quote that opens this value is never "
                          "closed"),
            std::string::npos)
      << messages;
}

// Columns by the names of the first line over given definitions.
TEST(ImportCells, ColumnsAreMatchedByName) {
  TestDatabase db;
  db.AddField(0, kText, "Name").AddField(1, kInteger, "Qty").AddField(2, kCheckBox, "Paid");
  const Bytes existing = db.Build();
  ConversionOptions named = Options();
  named.fieldNames = true;
  std::string messages;
  struct Case {
    std::string csv;
    bool fieldNames;
    std::string exported;  // with the field-name line
    std::string message;   // a part of what the import says, or empty for nothing
  };
  const Case cases[] = {
      // Reordered in a spreadsheet, names in another letter case.
      {"paid,QTY,Name\nyes,3,Ann\n", true, "Name,Qty,Paid\nAnn,3,1\n", ""},
      // A field the line does not name gets an empty cell.
      {"Qty,Name\n3,Ann\n", true, "Name,Qty,Paid\nAnn,3,0\n", ""},
      // A name that is no field name: by position, with a warning.
      {"Name,Amount,Paid\nAnn,3,1\n", true, "Name,Qty,Paid\nAnn,3,1\n",
       "WARNING:The first line names \"Amount\", which are not field names"},
      // Without FIELDNAMES the field names as the first line are no record.
      {"name,qty,paid\nAnn,3,1\n", false, "Name,Qty,Paid\nAnn,3,1\n",
       "The first line of the .CSV file holds the field names"},
  };
  for (const Case& c : cases) {
    ConversionOptions options = Options();
    options.fieldNames = c.fieldNames;
    const std::optional<Bytes> imported = ImportCsv(c.csv, options, ByteView(existing), &messages);
    ASSERT_TRUE(imported.has_value()) << c.csv << messages;
    EXPECT_EQ(ExportOrFail(*imported, named).csv, c.exported) << c.csv;
    if (c.message.empty()) {
      EXPECT_EQ(messages.find("WARNING"), std::string::npos) << c.csv << messages;
    } else {
      EXPECT_NE(messages.find(c.message), std::string::npos) << c.csv << messages;
    }
  }
}

TEST(ImportCells, BlankLinesAreSkippedWithOneWarning) {
  // CR CR LF, as a CSV library writes through a text-mode file: each line
  // end is followed by an empty line.
  std::string messages;
  const std::optional<Bytes> db =
      ImportCsv("a,b\r\r\nc,d\r\r\n", Options(), std::nullopt, &messages);
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(ExportOrFail(*db, Options()).csv, "a,b\nc,d\n");
  EXPECT_NE(messages.find("WARNING:Skipped 2 blank lines of the .CSV file.\n"),
            std::string::npos)
      << messages;
}

}  // namespace
}  // namespace qv
