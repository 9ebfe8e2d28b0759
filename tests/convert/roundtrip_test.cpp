// Export, import with the exported database's own definitions, export again:
// the two CSV texts are the same byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "fields/date_time.h"
#include "support/convert.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::RowBuilder;
using testing::TestDatabase;

uint32_t Day(int month, int day, int year) {
  return static_cast<uint32_t>(DateToDayCount(month, day, year));
}

Bytes UniqueExt(int32_t value) {
  Bytes data;
  ByteWriter out(data);
  out.WriteU32LE(static_cast<uint32_t>(value));
  out.WriteZeros(20);
  return data;
}

// Every field type the import writes, shown in a shuffled column order, with
// an empty slot between used ones.
TestDatabase EveryTypeDatabase(bool prefixed) {
  TestDatabase db("Every type");
  db.AddField(0, kText, "Text").AddField(1, kInteger, "Integer");
  db.AddField(2, kShortText, "Short").AddField(3, kPopup, "Popup");
  db.AddField(4, kCheckBox, "Check").AddField(5, kUniqueInteger, "Unique");
  db.AddField(6, kOneByteValue, "Byte").AddField(7, kDate, "Date");
  db.AddField(8, kTime, "Time").AddField(9, kUniqueInteger2, "Unique 2");
  db.AddField(10, kUniqueIntegerExt, "Unique ext").AddField(11, kLongText, "Long");
  db.AddField(12, kNoData, "Nothing").AddField(13, kText2, "Text 2");
  db.AddField(14, kSubKindText, "Sub kind").AddField(16, kText, "After gap");
  db.master.fields[11].longTextFlag = 1;
  db.master.recordPrefixFlag = prefixed ? 1 : 0;
  db.master.columnOrder = {16, 3, 0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                           14, 15, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
  db.SetPopup(3, {"Red", "Green, dark", "Blue \"sky\""});

  auto row = [&](std::string_view text, int32_t integer, std::string_view shortText,
                 uint8_t popup, uint8_t check, int32_t unique, uint32_t day, uint8_t hour,
                 uint8_t minute, std::string_view longText, std::string_view last) {
    RowBuilder r;
    r.Prefix(prefixed).Text(text).Int(integer).Text(shortText).Byte(popup).Byte(check);
    r.Int(unique).Byte(0).Date(day).Time(hour, minute).Int(unique + 1);
    r.Raw(UniqueExt(unique + 2)).Text(longText).Empty().Text(text).Text(shortText);
    r.Empty().Text(last).EndMark();
    db.AddRow(r.Build());
  };
  std::string longText(300, 'L');
  longText += "\nsecond paragraph, with \"quotes\"";
  row("plain", 42, "short", 0, 1, 7, Day(3, 14, 2024), 9, 30, longText, "end");
  row("Note with\n\nan empty line", -3, "", 2, 0, 0, Day(12, 31, 1999), 23, 59, "", "");
  row("", 0, "123456789", 255, 1, -1, 0, 255, 0, "x", "a,b");
  row("\"quoted\", and comma", 2147483647, "q\"q", 1, 0, 100, Day(1, 1, 1904), 0, 0,
      "line\n", "trailing space ");
  return db;
}

std::string Export(ByteView file, const ConversionOptions& options) {
  return testing::ExportOrFail(file, options).csv;
}

// Export, import over the same definitions, export: returns both CSV texts.
std::pair<std::string, std::string> RoundTrip(const Bytes& file,
                                              const ConversionOptions& options) {
  std::string first = Export(file, options);
  std::string messages;
  std::optional<Bytes> imported = testing::ImportCsv(first, options, ByteView(file), &messages);
  EXPECT_TRUE(imported.has_value()) << messages;
  if (!imported) return {first, ""};
  return {first, Export(*imported, options)};
}

TEST(RoundTrip, EveryFieldTypeInEveryDateAndTimeFormat) {
  for (bool prefixed : {false, true}) {
    Bytes file = EveryTypeDatabase(prefixed).Build();
    for (bool placeQuotes : {false, true}) {
      for (int dateFormat = 0; dateFormat <= 6; ++dateFormat) {
        for (int timeFormat = 0; timeFormat <= 4; ++timeFormat) {
          ConversionOptions options;
          options.databaseName = "Copy";
          options.placeQuotes = placeQuotes;
          options.fieldNames = dateFormat % 2 == 0;
          options.dateFormat = dateFormat;
          options.timeFormat = timeFormat;
          auto [first, second] = RoundTrip(file, options);
          for (std::string_view value :
               {"Blue \"\"sky\"\"", "No Value", "NO DATE", "No Time", "a,b"}) {
            EXPECT_NE(first.find(value), std::string::npos) << value << " in\n" << first;
          }
          EXPECT_EQ(first, second) << "prefix " << prefixed << " quotes " << placeQuotes
                                   << " date " << dateFormat << " time " << timeFormat;
        }
      }
    }
  }
}

TEST(RoundTrip, NoteWithAnEmptyLineComesBackWholeInBothQuotings) {
  TestDatabase db("Notes");
  db.AddField(0, kLongText, "Note").AddField(1, kText, "Tag");
  db.AddRow(RowBuilder().Text("first\n\nthird\n\n").Text("t").EndMark().Build());
  db.AddRow(RowBuilder().Text("\n").Text("").EndMark().Build());
  Bytes file = db.Build();
  for (bool placeQuotes : {false, true}) {
    ConversionOptions options;
    options.databaseName = "Notes";
    options.placeQuotes = placeQuotes;
    auto [first, second] = RoundTrip(file, options);
    EXPECT_EQ(first, second);
    EXPECT_NE(first.find("first\n\nthird\n\n"), std::string::npos) << first;
  }
}

TEST(RoundTrip, DatabaseBuiltFromCsvExportsTheSameCsv) {
  const std::string csv =
      "\"Name\",\"Remark\"\n"
      "\"Ann\",\"two\n\nparagraphs\"\n"
      "\"Bob \"\"B\"\"\",\"\"\n";
  ConversionOptions options;
  options.databaseName = "Plain";
  options.placeQuotes = true;
  options.fieldNames = true;
  ImportSource source;
  source.csvText = csv;
  Console console;
  std::optional<Bytes> db = testing::ImportDatabase(source, options, console);
  ASSERT_TRUE(db.has_value()) << console.text();
  EXPECT_EQ(Export(*db, options), csv);
}

}  // namespace
}  // namespace qv
