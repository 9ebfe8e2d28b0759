// Writers of typed outputs: rows of typed cells (convert/cells.h) as JSON
// Lines and as rows of a SQLite table. Unlike the CSV writer they keep each
// cell's type: numbers stay numbers, a check box is a boolean, dates and
// times are ISO 8601 texts, and "no value" is null. Texts are UTF-8.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/cells.h"
#include "pdb/master_record.h"

namespace qv {

// The names of the columns `slots` (in that order) as UTF-8, made unique
// ignoring ASCII case (as SQLite compares column names): an empty name
// becomes "Field N" (N the column's position from 1), and a name already
// taken gets "_2", "_3", ... appended until it is free.
std::vector<std::string> UniqueColumnNames(const MasterRecord& master, std::span<const int> slots);


// Appends the ISO 8601 text of a kDate or kTime cell: a date as
// "YYYY-MM-DD", a time as "HH:MM" (hours as stored, so a duration may give
// "25:00"). Whether the cell has a value is the caller's test; other kinds
// append nothing.
void AppendIsoDateOrTime(const Cell& cell, std::string& out);

class JsonLinesWriter {
 public:
  // Appends to `out`, which the caller owns (as with the CSV writer, it may
  // take and empty it between rows). `names` are the keys, one per cell of
  // every row, already unique.
  JsonLinesWriter(std::span<const std::string> names, std::string& out);

  // One line: an object with one member per cell, in column order, then a
  // line feed. Strings are escaped as RFC 8259 asks (quote, backslash and
  // every control character below 0x20, the latter as \u00XX).
  void WriteRow(CellRow row);

 private:
  // Writes member k (with the comma before it) for `cell` at `at`, which
  // has room for it; returns the end.
  char* WriteMember(size_t k, const Cell& cell, char* at) const;

  // A row is made in row_ and appended to out_ whole; a member longer
  // than that is made on its own.
  static constexpr size_t kRowBytes = size_t{64} << 10;

  std::vector<std::string> keys_;  // `"name":`, escaped, for each column
  std::string& out_;
  std::vector<char> row_;
};

// Appends `utf8` to `out` as a JSON string, quotes included.
void AppendJsonString(std::string_view utf8, std::string& out);

}  // namespace qv
