#include "csv/csv_reader.h"

#include <cstring>

#include "csv/byte_scan.h"

namespace qv {
namespace {

constexpr char kQuote = '"';

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

enum class State { kFieldStart, kInUnquotedField, kInQuotedField };

size_t CountLineFeeds(std::string_view text) {
  size_t count = 0;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const void* found = std::memchr(at, '\n', static_cast<size_t>(end - at));
    if (found == nullptr) break;
    ++count;
    at = static_cast<const char*>(found) + 1;
  }
  return count;
}

}  // namespace

CsvReader::CsvReader(std::string_view text, char separator)
    : text_(text),
      separator_(separator),
      unquotedStops_{separator, kQuote, '\r', '\n', '\0'},
      // Inside quotes the separator, CR and LF are plain text; only a quote
      // and a NUL (stored as CR) need attention.
      quotedStops_{kQuote, '\0'} {}

// Position after the line-end byte at `at` and at most one CR or LF after it.
size_t CsvReader::SkipLineEnd(size_t at) const {
  ++at;
  if (at < text_.size() && (text_[at] == '\r' || text_[at] == '\n')) ++at;
  return at;
}

// Every field that enters InUnquotedField or InQuotedField is completed by
// the time the line ends (a line end or the end of input completes it), so
// the field in progress is simply the last element of `fields` and the
// count of completed fields is the vector's size.
bool CsvReader::ReadCsvLine(CsvLine& line) {
  line.fields.clear();
  const size_t end = text_.size();
  if (position_ >= end) return false;
  const char* text = text_.data();
  size_t at = position_;
  State state = State::kFieldStart;
  std::vector<std::string>& fields = line.fields;

  while (at < end) {
    const char c = text[at];
    switch (state) {
      case State::kFieldStart:
        if (c == separator_) {
          fields.emplace_back();
          ++at;
        } else if (c == kQuote) {
          fields.emplace_back();
          ++at;
          state = State::kInQuotedField;
        } else if (IsLineEnd(c)) {
          position_ = SkipLineEnd(at);
          return true;
        } else {
          // The byte is stored by the unquoted run that starts with it.
          fields.emplace_back();
          state = State::kInUnquotedField;
        }
        break;

      case State::kInUnquotedField: {
        const size_t stop = FindAnyByte(text, at, end, unquotedStops_);
        fields.back().append(text + at, stop - at);
        at = stop;
        if (at == end) break;
        const char s = text[at];
        if (s == separator_) {
          ++at;
          // A quote right after the separator opens a quoted field; anything
          // else (the end of input too) starts a new unquoted field.
          if (at < end && text[at] == kQuote) {
            state = State::kFieldStart;
          } else {
            fields.emplace_back();
          }
        } else if (s == kQuote) {
          ++at;
          if (at < end && text[at] == kQuote) {
            fields.back().push_back(kQuote);
            ++at;
          } else if (at < end && text[at] == separator_) {
            ++at;
            state = State::kFieldStart;
          } else {
            // A quote in the middle of a field opens quoting there.
            state = State::kInQuotedField;
          }
        } else {
          position_ = SkipLineEnd(at);
          return true;
        }
        break;
      }

      case State::kInQuotedField: {
        const size_t stop = FindAnyByte(text, at, end, quotedStops_);
        fields.back().append(text + at, stop - at);
        at = stop;
        if (at == end) break;
        if (text[at] == '\0') {
          fields.back().push_back('\r');
          ++at;
          break;
        }
        ++at;  // the quote
        if (at < end && text[at] == kQuote) {
          fields.back().push_back(kQuote);
          ++at;
        } else {
          if (at < end && text[at] == separator_) ++at;
          state = State::kFieldStart;
        }
        break;
      }
    }
  }
  // End of input ends the line and completes the field in progress.
  position_ = end;
  return true;
}

std::vector<CsvLine> ReadCsvLines(std::string_view text, char separator) {
  std::vector<CsvLine> lines;
  lines.reserve(CountLineFeeds(text) + 1);
  CsvReader reader(text, separator);
  CsvLine line;
  size_t lastCount = 0;
  for (;;) {
    // Lines of one file mostly have the same width; sizing for the last one
    // spares the regrowth of every line's field vector.
    line.fields.reserve(lastCount);
    if (!reader.ReadCsvLine(line)) break;
    lastCount = line.fields.size();
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace qv
