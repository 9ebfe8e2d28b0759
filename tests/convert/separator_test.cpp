// Another separator than the comma, end to end: rows, the name line, the
// popup file, quoting, reading and the columns inferred from it.
#include <gtest/gtest.h>

#include <string>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "support/convert.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::ExportOrFail;
using testing::ImportOrFail;
using testing::RowBuilder;
using testing::TestDatabase;

ConversionOptions WithSeparator(char separator) {
  ConversionOptions options;
  options.separator = separator;
  options.fieldNames = true;
  options.databaseName = "Sep";
  return options;
}

TEST(Separator, ExportQuotesOnlyForTheChosenSeparator) {
  TestDatabase db("Sep");
  db.AddField(0, kText, "Name, first").AddField(1, kText, "A;B").AddField(2, kPopup, "Tab\there");
  db.SetPopup(2, {"x,y", "p;q", "t\tu"});
  db.AddRow(RowBuilder().Text("Smith, Ann").Text("1;2").Byte(0).EndMark().Build());
  db.AddRow(RowBuilder().Text("tab\tin").Text("").Byte(2).EndMark().Build());
  const Bytes file = db.Build();
  ConversionOptions options = WithSeparator(';');
  options.popupFile = "popups.csv";

  ExportResult semicolon = ExportOrFail(file, options);
  EXPECT_EQ(semicolon.csv,
            "Name, first;\"A;B\";Tab\there\n"
            "Smith, Ann;\"1;2\";x,y\n"
            "tab\tin;;t\tu\n");
  EXPECT_TRUE(semicolon.popups.starts_with(";\n")) << semicolon.popups;
  EXPECT_NE(semicolon.popups.find("\nx,y;\"p;q\";t\tu;\n"), std::string::npos);

  options.separator = '\t';
  ExportResult tab = ExportOrFail(file, options);
  EXPECT_EQ(tab.csv,
            "Name, first\tA;B\t\"Tab\there\"\n"
            "Smith, Ann\t1;2\tx,y\n"
            "\"tab\tin\"\t\t\"t\tu\"\n");
  EXPECT_NE(tab.popups.find("\nx,y\tp;q\t\"t\tu\"\t\n"), std::string::npos);
}

TEST(Separator, ImportReadsAndInfersByTheChosenSeparator) {
  // Commas in unquoted values stay in the value; the semicolon splits.
  for (char separator : {';', '\t'}) {
    SCOPED_TRACE(static_cast<int>(separator));
    const std::string s(1, separator);
    const std::string csv = "Name" + s + "Price" + s + "Note\n" + "Smith, Ann" + s + "12,50" + s +
                            "\"has " + s + " inside\"\n" + "Jones" + s + s + "\n";
    const ConversionOptions options = WithSeparator(separator);
    const Bytes database = ImportOrFail(csv, options);
    const std::string back = ExportOrFail(database, options).csv;
    EXPECT_EQ(back, csv);

    // Read with the comma instead, the same text gives other columns.
    ConversionOptions comma = options;
    comma.separator = ',';
    EXPECT_NE(ExportOrFail(ImportOrFail(csv, comma), comma).csv, csv);
  }
}

TEST(Separator, SpreadsheetStyleFileImportsLikeItsCommaOriginal) {
  // What a spreadsheet saves for a locale with the decimal comma: a
  // byte-order mark, semicolons, CR LF line ends, quotes only where needed,
  // a line break inside a cell kept as LF.
  const std::string original =
      "Name,Note,Amount\n"
      "M\xC3\xBCller; Anna,\"two\nlines\",\"1,5\"\n"
      "Jos\xC3\xA9,\"say \"\"hi\"\"\",3\n"
      "\xE2\x82\xAC uro,,\n";
  const std::string spreadsheet =
      "\xEF\xBB\xBF"
      "Name;Note;Amount\r\n"
      "\"M\xC3\xBCller; Anna\";\"two\nlines\";1,5\r\n"
      "Jos\xC3\xA9;\"say \"\"hi\"\"\";3\r\n"
      "\xE2\x82\xAC uro;;\r\n";
  ConversionOptions commaOptions = WithSeparator(',');
  commaOptions.encoding = CsvEncoding::kUtf8;
  ConversionOptions semicolonOptions = WithSeparator(';');
  semicolonOptions.encoding = CsvEncoding::kUtf8Bom;
  const Bytes fromComma = ImportOrFail(original, commaOptions);
  const Bytes fromSpreadsheet = ImportOrFail(spreadsheet, semicolonOptions);
  ASSERT_FALSE(fromComma.empty());
  EXPECT_EQ(fromComma, fromSpreadsheet);
  EXPECT_EQ(ExportOrFail(fromSpreadsheet, commaOptions).csv, original);
}

}  // namespace
}  // namespace qv
