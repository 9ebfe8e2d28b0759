// Rows of typed cells as CSV lines.
#include "convert/csv_writer.h"

#include <charconv>

#include "csv/csv_quote.h"
#include "fields/date_time.h"

namespace qv {

namespace {

// The text of `cell` as CellText gives it, for the cells that are not
// stored texts: written into `buffer` (of kRenderedTextMax bytes) or a
// constant, without touching the heap.
std::string_view RenderedText(const Cell& cell, int dateFormat, int timeFormat, char* buffer) {
  switch (cell.kind) {
    case CellKind::kNone:
      return {};
    case CellKind::kText:
    case CellKind::kChoice:
      return cell.text;
    case CellKind::kInteger:
    case CellKind::kUnique: {
      const std::to_chars_result end =
          std::to_chars(buffer, buffer + kRenderedTextMax, cell.integer);
      return {buffer, static_cast<size_t>(end.ptr - buffer)};
    }
    case CellKind::kCheckBox:
      return cell.checked ? "1" : "0";
    case CellKind::kDate:
      if (!cell.hasValue) return kNoDateText;
      return {buffer,
              RenderDate(cell.date.month, cell.date.day, cell.date.year, dateFormat, buffer)};
    case CellKind::kTime:
      if (!cell.hasValue) return kNoTimeText;
      return {buffer, RenderClockTime(cell.time.hours, cell.time.minutes, timeFormat, buffer)};
  }
  return {};
}

}  // namespace

std::string_view CellText(const Cell& cell, int dateFormat, int timeFormat, std::string& scratch) {
  char buffer[kRenderedTextMax];
  const std::string_view text = RenderedText(cell, dateFormat, timeFormat, buffer);
  if (text.data() != buffer) return text;
  scratch.assign(text);
  return scratch;
}

CsvWriter::CsvWriter(const ConversionOptions& options, std::string& out)
    : separator_(options.separator),
      dateFormat_(options.dateFormat),
      timeFormat_(options.timeFormat),
      quoter_(options.separator, options.placeQuotes),
      out_(out),
      row_(kRowBytes) {}

void CsvWriter::WriteField(std::string_view text) { quoter_.Append(text, out_); }

void CsvWriter::WriteRow(CellRow row) {
  char* const begin = row_.data();
  char* const limit = begin + row_.size();
  char* at = begin;
  bool handed = false;  // part of the row is in out_ already
  char buffer[kRenderedTextMax];
  for (size_t k = 0; k < row.size(); ++k) {
    const std::string_view text = RenderedText(row[k], dateFormat_, timeFormat_, buffer);
    // The separator, the value, and the line end or the quotes of a single
    // empty value.
    const size_t most = 1 + CsvQuoter::MostBytes(text.size()) + 2;
    if (static_cast<size_t>(limit - at) < most) {
      out_.append(begin, static_cast<size_t>(at - begin));
      at = begin;
      handed = true;
      if (row_.size() < most) {
        // Longer than a row may be: appended straight to out_.
        if (k > 0) out_.push_back(separator_);
        WriteField(text);
        continue;
      }
    }
    if (k > 0) *at++ = separator_;
    at = quoter_.Write(text, at);
  }
  // A single empty value is written quoted: an empty line would be read
  // back as no record at all.
  if (row.size() == 1 && at == begin && !handed) {
    *at++ = '"';
    *at++ = '"';
  }
  *at++ = '\n';
  out_.append(begin, static_cast<size_t>(at - begin));
}

void CsvWriter::WriteTexts(std::span<const std::string_view> texts) {
  for (size_t k = 0; k < texts.size(); ++k) {
    if (k > 0) out_.push_back(separator_);
    WriteField(texts[k]);
  }
  out_.push_back('\n');
}

}  // namespace qv
