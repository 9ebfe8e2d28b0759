// The CSV line reader alone, on arbitrary bytes and separators. Every line
// it reads, written back fully quoted, must read back as the same fields,
// without a quote out of place; every quote noted out of place names a
// field the table holds.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "csv/csv_quote.h"
#include "csv/csv_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Mostly the comma; sometimes any byte, which must still read safely.
  char separator = static_cast<char>(data[0]);
  if (separator == '"' || separator == '\r' || separator == '\n' || separator == '\0') {
    separator = ',';
  }
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  size_t previous = 0;
  qv::CsvReader reader(text, separator);
  qv::CsvLine line;
  std::vector<qv::CsvLine> lines;
  while (reader.ReadCsvLine(line)) {
    QV_FUZZ_CHECK(reader.position() > previous || text.empty());
    QV_FUZZ_CHECK(reader.position() <= text.size());
    previous = reader.position();
    lines.push_back(line);
  }
  QV_FUZZ_CHECK(reader.position() == text.size());

  // A NUL inside quotes reads as CR, so the fields read hold none and every
  // field survives quoting.
  std::string written;
  size_t written_lines = 0;
  for (const qv::CsvLine& read : lines) {
    if (read.fields.empty()) continue;
    for (size_t k = 0; k < read.fields.size(); ++k) {
      QV_FUZZ_CHECK(read.fields[k].find('\0') == std::string::npos);
      if (k > 0) written.push_back(separator);
      qv::QuoteCsvValue(read.fields[k], separator, true, written);
    }
    written += "\r\n";
    ++written_lines;
  }
  // The whole-text table reads the same fields as the line-at-a-time reader.
  const qv::CsvTable table = qv::ReadCsvTable(text, separator);
  QV_FUZZ_CHECK(table.complete() && table.lineCount() == lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    QV_FUZZ_CHECK(table.fieldCount(i) == lines[i].fieldCount());
    for (size_t k = 0; k < lines[i].fields.size(); ++k) {
      QV_FUZZ_CHECK(table.Field(i, k) == lines[i].fields[k]);
    }
  }
  for (const qv::CsvQuoteIssue& issue : table.quoteIssues()) {
    QV_FUZZ_CHECK(issue.line < table.lineCount());
    QV_FUZZ_CHECK(static_cast<int>(issue.field) < table.fieldCount(issue.line));
    QV_FUZZ_CHECK(issue.offset < text.size());
  }

  const qv::CsvTable again = qv::ReadCsvTable(written, separator);
  QV_FUZZ_CHECK(again.lineCount() == written_lines);
  QV_FUZZ_CHECK(again.quoteIssues().empty());
  size_t index = 0;
  for (const qv::CsvLine& read : lines) {
    if (read.fields.empty()) continue;
    QV_FUZZ_CHECK(again.fieldCount(index) == read.fieldCount());
    for (size_t k = 0; k < read.fields.size(); ++k) {
      QV_FUZZ_CHECK(again.Field(index, k) == read.fields[k]);
    }
    ++index;
  }
  return 0;
}
