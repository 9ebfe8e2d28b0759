// Reading CSV text into lines of fields.
//
// The reader is a small state machine (FieldStart, InUnquotedField,
// InQuotedField) over bytes: the separator, the double quote, a line end
// (CR, LF or NUL) and everything else. A line end is one of CR, LF or NUL
// plus at most one CR or LF straight after it. Inside quotes a CR or LF is
// kept as read and a NUL becomes a CR. No input is malformed.
//
// The separator is expected to be a byte other than the quote and the line
// ends (it is always the comma); any other choice still reads safely, only
// not meaningfully.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct CsvLine {
  std::vector<std::string> fields;  // the fields the line completed

  int fieldCount() const { return static_cast<int>(fields.size()); }
  // Field k, or the empty text beyond the line's own fields.
  std::string_view Field(size_t k) const {
    return k < fields.size() ? std::string_view(fields[k]) : std::string_view();
  }
};

class CsvReader {
 public:
  CsvReader(std::string_view text, char separator);
  // Reads the next line; false (and an empty line) at the end of input.
  bool ReadCsvLine(CsvLine& line);
  size_t position() const { return position_; }

 private:
  size_t SkipLineEnd(size_t at) const;

  std::string_view text_;
  char separator_;
  size_t position_ = 0;
  // Bytes that end a run of plain characters, outside and inside quotes.
  std::array<char, 5> unquotedStops_{};
  std::array<char, 2> quotedStops_{};
};

// Every line of `text`, read once.
std::vector<CsvLine> ReadCsvLines(std::string_view text, char separator);

}  // namespace qv
