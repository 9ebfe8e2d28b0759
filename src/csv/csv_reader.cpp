// Reading CSV text into a table of lines and fields: the reader's state
// machine, the field builder it stores bytes through, and the table itself.
#include "csv/csv_reader.h"

#include <algorithm>
#include <cstring>


namespace qv {
namespace {

constexpr char kQuote = '"';

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

enum class State { kFieldStart, kInUnquotedField, kInQuotedField };

// Collects the stored bytes of the field in progress. They stay a slice of
// the text for as long as every run read continues the previous one; the
// first byte that does not (after a doubled quote, a NUL stored as CR, a
// quote opened mid-field) moves the field into the arena.
class FieldBuilder {
 public:
  FieldBuilder(CsvTable& table, std::string_view text) : table_(table), text_(text) {}

  // Completes the field in progress, if any, and opens a new one.
  void Start() {
    if (open_) {
      Restart();
      return;
    }
    open_ = true;
    Clear();
  }
  // Completes the field in progress, if any.
  void Finish() {
    if (!open_) return;
    table_.AddField(CsvTable::Slice(start_, length_));
    open_ = false;
  }
  // Start() for when a field is known to be in progress.
  void Restart() {
    table_.AddField(CsvTable::Slice(start_, length_));
    Clear();
  }
  // Stores text[at, at + n).
  void Append(size_t at, size_t n) {
    if (n == 0) return;
    if (!inArena_ && (length_ == 0 || start_ + length_ == at)) {
      if (length_ == 0) start_ = static_cast<uint32_t>(at);
      length_ += static_cast<uint32_t>(n);
      return;
    }
    AppendCopy(at, n);
  }
  // Stores one quote for the doubled quote whose first byte is at `first`,
  // picking the byte that can continue the slice: the second one when the
  // field is still empty (its text may follow), else the first.
  void AppendQuotePair(size_t first) { Append(length_ == 0 ? first + 1 : first, 1); }
  void AppendByte(char c) {
    if (!inArena_ && !MoveToArena()) return;
    AppendToArena(std::string_view(&c, 1));
  }
  bool overflowed() const { return overflowed_; }

 private:
  void Clear() {
    start_ = 0;
    length_ = 0;
    inArena_ = false;
  }
  // Kept out of line so that the common case above stays small enough to
  // inline into the reader's loop.
  [[gnu::noinline]] void AppendCopy(size_t at, size_t n) {
    if (!inArena_ && !MoveToArena()) return;
    AppendToArena(text_.substr(at, n));
  }
  bool MoveToArena() {
    const uint32_t offset = table_.ArenaEnd();
    if (!AppendToArena(text_.substr(start_, length_), false)) return false;
    start_ = offset;
    inArena_ = true;
    return true;
  }
  bool AppendToArena(std::string_view bytes, bool counts = true) {
    if (overflowed_ || !table_.AppendToArena(bytes)) {
      overflowed_ = true;
      return false;
    }
    if (counts) length_ += static_cast<uint32_t>(bytes.size());
    return true;
  }

  CsvTable& table_;
  std::string_view text_;
  uint32_t start_ = 0;
  uint32_t length_ = 0;
  bool open_ = false;
  bool inArena_ = false;
  bool overflowed_ = false;
};

}  // namespace

void CsvTable::StartLine() {
  lines_.push_back({static_cast<uint32_t>(fields_.size()), 0});
}

void CsvTable::AddField(Span span) { fields_.push_back(span); }

// Rare, and kept out of the reader's loop.
[[gnu::cold]] [[gnu::noinline]] void CsvTable::AddQuoteIssue(CsvQuoteIssue::Kind kind,
                                                           size_t offset, uint32_t back) {
  const uint32_t line = static_cast<uint32_t>(lines_.size() - 1);
  const auto completed = static_cast<uint32_t>(fields_.size() - lines_.back().firstField);
  quoteIssues_.push_back({kind, line, completed - back, offset});
}

bool CsvTable::ArenaHasRoom(size_t bytes) const {
  return text_.size() + arena_.size() + bytes <= kCsvTableLimit;
}

std::optional<uint32_t> CsvTable::AppendToArena(std::string_view bytes) {
  if (!ArenaHasRoom(bytes.size())) return std::nullopt;
  const uint32_t offset = ArenaEnd();
  arena_.append(bytes);
  return offset;
}

bool CsvTable::ReplaceField(size_t line, size_t k, std::string_view bytes) {
  const Line& l = lines_[line];
  if (k >= l.fieldCount) return false;
  const std::optional<uint32_t> offset = AppendToArena(bytes);
  if (!offset) return false;
  if (bytes.find('\r') != std::string_view::npos) storedCr_ = true;
  fields_[l.firstField + k] = Slice(*offset, static_cast<uint32_t>(bytes.size()));
  return true;
}

CsvReader::CsvReader(std::string_view text, char separator)
    : text_(text),
      separator_(separator),
      stops_(text, separator) {}

// Position after the line-end byte at `at` and at most one CR or LF after it.
size_t CsvReader::SkipLineEnd(size_t at) const {
  ++at;
  if (at < text_.size() && (text_[at] == '\r' || text_[at] == '\n')) ++at;
  return at;
}

// Every field that enters InUnquotedField or InQuotedField is completed by
// the time the line ends (a line end or the end of input completes it), so
// a field is completed whenever the next one starts or the line ends.
bool CsvReader::ReadCsvLine(CsvTable& table) {
  const size_t end = text_.size();
  if (position_ >= end) return false;
  // Offsets, lengths and field numbers all fit 32 bits below the limit.
  if (end > kCsvTableLimit) {
    table.MarkIncomplete();
    return false;
  }
  const char* text = text_.data();
  const char separator = separator_;
  size_t at = position_;
  State state = State::kFieldStart;
  FieldBuilder field(table, text_);
  table.StartLine();
  bool lineEnded = false;

  while (at < end && !lineEnded) {
    switch (state) {
      case State::kFieldStart: {
        const char c = text[at];
        if (c == separator) {
          field.Start();
          ++at;
          break;
        }
        if (c == kQuote) {
          field.Start();
          openingQuote_ = at++;
          state = State::kInQuotedField;
          break;
        }
        if (IsLineEnd(c)) {
          at = SkipLineEnd(at);
          lineEnded = true;
          break;
        }
        // The byte is stored by the unquoted run that starts with it.
        field.Start();
        state = State::kInUnquotedField;
        [[fallthrough]];
      }

      case State::kInUnquotedField: {
        // Field after field while each ends at a separator and the next one
        // starts unquoted; any other stop leaves the loop. Each round starts
        // with a new field open and empty (the state is entered only from
        // FieldStart).
        for (bool next = true; next;) {
          size_t stop = stops_.NextUnquoted(at);
          if (stop < end && text[stop] == separator &&
              (stop + 1 == end || text[stop + 1] != kQuote)) {
            // The whole field is one run before a separator: it goes to the
            // table as Append and Restart below would store it, and the
            // field left open stays empty for the next one.
            table.AddField(CsvTable::Slice(static_cast<uint32_t>(at),
                                           static_cast<uint32_t>(stop - at)));
            at = stop + 1;
            continue;
          }
          // Run after run of this field, while doubled quotes continue it.
          next = false;
          for (;;) {
            field.Append(at, stop - at);
            at = stop;
            if (at == end) break;
            const char s = text[at];
            if (s == separator) {
              ++at;
              // A quote right after the separator opens a quoted field;
              // anything else (the end of input too) starts a new unquoted
              // field, read in the next round.
              if (at < end && text[at] == kQuote) {
                field.Finish();
                state = State::kFieldStart;
              } else {
                field.Restart();  // the unquoted field read so far
                next = true;
              }
            } else if (s == kQuote) {
              ++at;
              if (at < end && text[at] == kQuote) {
                field.AppendQuotePair(at - 1);
                ++at;
                stop = stops_.NextUnquoted(at);
                continue;
              }
              if (at < end && text[at] == separator) {
                table.AddQuoteIssue(CsvQuoteIssue::Kind::kDroppedBeforeSeparator, at - 1);
                ++at;
                field.Finish();
                state = State::kFieldStart;
              } else {
                // A quote in the middle of a field opens quoting there.
                openingQuote_ = at - 1;
                table.AddQuoteIssue(CsvQuoteIssue::Kind::kOpensInValue, openingQuote_);
                state = State::kInQuotedField;
              }
            } else {
              at = SkipLineEnd(at);
              lineEnded = true;
            }
            break;
          }
        }
        break;
      }

      case State::kInQuotedField: {
        // Run after run up to the closing quote (or the end of input): a CR,
        // a NUL or a doubled quote continues the field in this loop.
        for (;;) {
          const size_t stop = stops_.NextQuoted(at);
          field.Append(at, stop - at);
          at = stop;
          if (at == end) break;
          if (text[at] == '\r') {
            table.NoteStoredCr();
            field.Append(at++, 1);
            continue;
          }
          if (text[at] == '\0') {
            table.NoteStoredCr();
            field.AppendByte('\r');
            ++at;
            continue;
          }
          ++at;  // the quote
          if (at < end && text[at] == kQuote) {
            field.AppendQuotePair(at - 1);
            ++at;
            continue;
          }
          field.Finish();
          if (at < end && text[at] == separator) {
            ++at;
          } else if (at < end && !IsLineEnd(text[at])) {
            table.AddQuoteIssue(CsvQuoteIssue::Kind::kTextAfterClosingQuote, at, 1);
          }
          state = State::kFieldStart;
          break;
        }
        break;
      }
    }
  }
  // Only the end of input ends a line inside quotes.
  if (state == State::kInQuotedField) {
    table.AddQuoteIssue(CsvQuoteIssue::Kind::kUnterminated, openingQuote_);
  }
  // A line end or the end of input completes the field in progress.
  field.Finish();
  table.EndLine();
  position_ = lineEnded ? at : end;
  if (field.overflowed()) {
    table.MarkIncomplete();
    return false;
  }
  return true;
}

bool CsvReader::ReadCsvLine(CsvLine& line) {
  line.fields.clear();
  CsvTable table(text_);
  if (!ReadCsvLine(table)) return false;
  for (int k = 0; k < table.fieldCount(0); ++k) {
    line.fields.emplace_back(table.Field(0, static_cast<size_t>(k)));
  }
  return true;
}

CsvTable ReadCsvTable(std::string_view text, char separator) {
  CsvTable table(text);
  CsvReader reader(text, separator);
  if (!reader.ReadCsvLine(table)) return table;
  // Lines of one file mostly have the width of the first; room for that
  // many spares regrowing (and for a moment holding twice) the field list.
  // The guess never exceeds what the text can hold at the first line's
  // density of fields per byte, so a wide first line over many short ones
  // cannot ask for more than the text itself accounts for. The arena never
  // holds more than the text (each byte read stores at most one), and
  // reserving that much only claims address space: pages are touched, and
  // count, as they fill, while every regrowth would copy and touch it all
  // again.
  const size_t lines = CountByte(text.data(), text.size(), '\n') + 1;
  const size_t width = static_cast<size_t>(table.fieldCount(0));
  const size_t firstLineBytes = std::max<size_t>(reader.position(), 1);
  const size_t linesOfFirstSize = text.size() / firstLineBytes + 1;
  table.Reserve(lines, std::min(lines, linesOfFirstSize) * width, text.size());
  while (reader.ReadCsvLine(table)) {
  }
  return table;
}

}  // namespace qv
