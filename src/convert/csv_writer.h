// The CSV writer: rows of typed cells (and rows of plain texts, for the name
// line and the popup file) as CSV lines. Other writers take the same rows
// and copy this shape: constructed over the options and an output buffer,
// one call per row, nothing held between rows but scratch space.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/cells.h"
#include "convert/conversion_options.h"
#include "csv/csv_quote.h"

namespace qv {

// The text of `cell` in a CSV field, before quoting: empty for kNone, the
// stored bytes for text, decimal numbers, "1"/"0" for a check box, the date
// and time in the given formats ("NO DATE" and "No Time" for the markers,
// the empty text for a format out of range), a choice's text. The result
// views the cell's text, a constant or `scratch`.
std::string_view CellText(const Cell& cell, int dateFormat, int timeFormat, std::string& scratch);

class CsvWriter {
 public:
  // Appends to `out`, which the caller owns: it may take and empty `out`
  // between rows (to stream it), the writer only ever appends whole lines.
  // Bytes are written as the handheld holds them; the caller converts the
  // character set (EncodeCsvText) when the options ask for UTF-8.
  CsvWriter(const ConversionOptions& options, std::string& out);

  // One line: the cells rendered by CellText, quoted, between separators.
  // A line of one empty value is written `""`, never as a blank line.
  void WriteRow(CellRow row);
  // One line of plain texts (field names, popup choices).
  void WriteTexts(std::span<const std::string_view> texts);

 private:
  void WriteField(std::string_view text);

  // A row is made in row_ and appended to out_ whole; a row longer than
  // that is appended in pieces.
  static constexpr size_t kRowBytes = size_t{64} << 10;

  char separator_;
  int dateFormat_;
  int timeFormat_;
  CsvQuoter quoter_;
  std::string& out_;
  std::vector<char> row_;
};

}  // namespace qv
