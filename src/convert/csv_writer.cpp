// Rows of typed cells as CSV lines.
#include "convert/csv_writer.h"

#include <charconv>

#include "csv/csv_quote.h"
#include "fields/date_time.h"

namespace qv {

std::string_view CellText(const Cell& cell, int dateFormat, int timeFormat, std::string& scratch) {
  switch (cell.kind) {
    case CellKind::kNone:
      return {};
    case CellKind::kText:
    case CellKind::kChoice:
      return cell.text;
    case CellKind::kInteger:
    case CellKind::kUnique: {
      char digits[16];
      const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, cell.integer);
      scratch.assign(digits, end.ptr);
      return scratch;
    }
    case CellKind::kCheckBox:
      return cell.checked ? "1" : "0";
    case CellKind::kDate:
      if (!cell.hasValue) return kNoDateText;
      scratch = FormatDate(cell.date.month, cell.date.day, cell.date.year, dateFormat);
      return scratch;
    case CellKind::kTime:
      if (!cell.hasValue) return kNoTimeText;
      scratch = FormatClockTime(cell.time.hours, cell.time.minutes, timeFormat);
      return scratch;
  }
  return {};
}

CsvWriter::CsvWriter(const ConversionOptions& options, std::string& out)
    : separator_(options.separator),
      placeQuotes_(options.placeQuotes),
      dateFormat_(options.dateFormat),
      timeFormat_(options.timeFormat),
      out_(out) {}

void CsvWriter::WriteField(std::string_view text) {
  QuoteCsvValue(text, separator_, placeQuotes_, out_);
}

void CsvWriter::WriteRow(CellRow row) {
  const size_t start = out_.size();
  for (size_t k = 0; k < row.size(); ++k) {
    if (k > 0) out_.push_back(separator_);
    WriteField(CellText(row[k], dateFormat_, timeFormat_, scratch_));
  }
  // A single empty value is written quoted: an empty line would be read
  // back as no record at all.
  if (row.size() == 1 && out_.size() == start) out_.append("\"\"");
  out_.push_back('\n');
}

void CsvWriter::WriteTexts(std::span<const std::string_view> texts) {
  for (size_t k = 0; k < texts.size(); ++k) {
    if (k > 0) out_.push_back(separator_);
    WriteField(texts[k]);
  }
  out_.push_back('\n');
}

}  // namespace qv
