#include "csv/csv_quote.h"

#include <gtest/gtest.h>

#include "csv/csv_reader.h"
#include "support/csv_fields.h"

namespace qv {
namespace {

std::string Quote(std::string_view value, bool placeQuotes = false) {
  std::string out = "<";
  QuoteCsvValue(value, ',', placeQuotes, out);
  return out;
}

TEST(QuoteCsvValue, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(Quote("plain text "), "<plain text ");
  EXPECT_EQ(Quote(""), "<");
  EXPECT_EQ(Quote("1,5"), "<\"1,5\"");
  EXPECT_EQ(Quote("a\"b"), "<\"a\"\"b\"");
  EXPECT_EQ(Quote("\"\""), "<\"\"\"\"\"\"");
  EXPECT_EQ(Quote("a\nb"), "<\"a\nb\"");
  EXPECT_EQ(Quote("a\rb"), "<\"a\rb\"");
  EXPECT_EQ(Quote("", true), "<\"\"");
  EXPECT_EQ(Quote("abc", true), "<\"abc\"");
}

// Long values are scanned in blocks; a byte that needs quotes must be found
// wherever it stands, and a value without one copied as it is.
TEST(QuoteCsvValue, FindsSpecialBytesAnywhereInLongValues) {
  // Short values are checked as they are copied, longer ones scanned first.
  for (const size_t size : {1, 3, 4, 5, 7, 8, 9, 16, 17, 31, 32, 33, 40}) {
    const std::string plain(size, 'x');
    EXPECT_EQ(Quote(plain), "<" + plain);
    for (const char special : {'"', ',', '\r', '\n'}) {
      for (size_t at = 0; at < plain.size(); ++at) {
        std::string value = plain;
        value[at] = special;
        std::string expected = value;
        if (special == '"') expected.insert(at, 1, '"');
        EXPECT_EQ(Quote(value), "<\"" + expected + "\"") << size << " " << at;
      }
    }
  }
}

TEST(QuoteCsvValue, ReaderGivesTheValueBack) {
  const std::vector<std::string> values = {"a", "", "x,y", "\"", "say \"hi\"", "l1\nl2\r\nl3",
                                           "\"start", "end\"", ","};
  for (bool placeQuotes : {false, true}) {
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) {
      if (i != 0) line.push_back(',');
      QuoteCsvValue(values[i], ',', placeQuotes, line);
    }
    line.push_back('\n');
    const CsvTable lines = ReadCsvTable(line, ',');
    ASSERT_EQ(lines.lineCount(), 1u) << line;
    EXPECT_EQ(testing::LineFields(lines, 0), values) << line;
  }
}

}  // namespace
}  // namespace qv
