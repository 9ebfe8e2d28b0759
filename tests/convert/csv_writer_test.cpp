// The CSV row writer: rows longer than its row buffer are written the same
// as short ones, and a lone empty value is never a blank line.
#include "convert/csv_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "csv/csv_quote.h"

namespace qv {
namespace {

Cell Text(std::string_view text) {
  Cell cell;
  cell.kind = CellKind::kText;
  cell.hasValue = true;
  cell.text = text;
  return cell;
}

TEST(CsvWriter, RowsOfAnyLengthAreTheirQuotedValues) {
  // 40000 quotes need 80002 bytes quoted: more than a row buffer holds.
  const std::string quotes(40000, '"');
  const std::string longPlain(70000, 'p');
  Cell number;
  number.kind = CellKind::kInteger;
  number.hasValue = true;
  number.integer = -42;
  const std::vector<std::vector<Cell>> rows = {
      {Text("a"), Text(quotes), number, Text("")},
      {Text(quotes), Text(longPlain), Text("b,c")},
      {Text(longPlain)},
      {Text("")},
  };
  const std::vector<std::string> expected = {
      "a," + std::string("\"") + std::string(80000, '"') + "\",-42,\n",
      "\"" + std::string(80000, '"') + "\"," + longPlain + ",\"b,c\"\n",
      longPlain + "\n",
      "\"\"\n",
  };
  ConversionOptions options;
  for (size_t r = 0; r < rows.size(); ++r) {
    std::string out = "before\n";
    CsvWriter(options, out).WriteRow(rows[r]);
    EXPECT_TRUE(out == "before\n" + expected[r]) << r;
  }
}

}  // namespace
}  // namespace qv
