// Reading CSV text into lines of fields.
//
// The reader is a small state machine (FieldStart, InUnquotedField,
// InQuotedField) over bytes: the separator, the double quote, a line end
// (CR, LF or NUL) and everything else. A line end is one of CR, LF or NUL
// plus at most one CR or LF straight after it. Inside quotes a CR or LF is
// kept as read and a NUL becomes a CR. No input is malformed.
//
// The separator is the comma unless the options choose another byte; it is
// expected to differ from the quote and the line ends, and any other choice
// still reads safely, only not meaningfully.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "csv/byte_scan.h"

namespace qv {

// A quote that does not stand where CSV quoting puts it. The reader still
// reads it as described above (the bytes stored do not depend on these),
// and notes it so that the caller can say what happened to the cells.
struct CsvQuoteIssue {
  enum class Kind {
    // A quote opened and never closed: its field runs to the end of the
    // text. `offset` is the opening quote.
    kUnterminated,
    // A quote inside an unquoted value, not doubled and not before the
    // separator: quoting opens there, so the separators and line ends that
    // follow, up to the next quote, are part of the field.
    kOpensInValue,
    // A quote that ends an unquoted value right before the separator: it
    // is dropped.
    kDroppedBeforeSeparator,
    // Text right after a closing quote: it starts a new field without a
    // separator. `offset` is that text's first byte; `field` is the quoted
    // field, the text lands in the next one.
    kTextAfterClosingQuote,
  };
  Kind kind = Kind::kUnterminated;
  uint32_t line = 0;   // the table line holding the field, from 0
  uint32_t field = 0;  // the field in that line, from 0
  size_t offset = 0;   // byte offset in the text (of the quote unless said otherwise)
};

// Every line of a file, read once. A field's stored bytes are nearly always
// a plain slice of the text (an unquoted field, or a quoted one without
// doubled quotes or NULs), so a field is an offset and a length, and only
// the fields whose bytes differ from the input are copied, into one shared
// arena. Offsets below text.size() point into the text, the others into the
// arena (less text.size()), which keeps a field at eight bytes; text and
// arena together are therefore limited to kCsvTableLimit bytes.
//
// The text is not copied: it must outlive the table.
// How many lines ahead a walk down a column asks for its cells
// (CsvTable::PrefetchField).
inline constexpr size_t kColumnPrefetchLines = 16;

class CsvTable {
 public:
  struct Span {
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  struct Line {
    uint32_t firstField = 0;
    uint32_t fieldCount = 0;
  };

  CsvTable() = default;
  explicit CsvTable(std::string_view text) : text_(text) {}

  size_t lineCount() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  int fieldCount(size_t line) const { return static_cast<int>(lines_[line].fieldCount); }
  // Field k of `line`, or the empty text beyond the line's own fields.
  std::string_view Field(size_t line, size_t k) const {
    const Line& l = lines_[line];
    return k < l.fieldCount ? View(fields_[l.firstField + k]) : std::string_view();
  }
  // Asks for the bytes of field k of `line` ahead of their use (nothing
  // past the last line). A walk down a column meets a cell a line apart in
  // a text far larger than the cache; asking some lines ahead has each one
  // arrive by its turn.
  void PrefetchField(size_t line, size_t k) const {
    if (line < lines_.size()) __builtin_prefetch(Field(line, k).data());
  }
  // False when field k of `line` certainly holds no CR, which spares
  // searching it. A CR ends the line outside quotes, so only a field read
  // inside quotes can hold one: a slice that starts right after a quote,
  // or a field in the arena; and none does when no field got a CR at all.
  bool MayHoldCr(size_t line, size_t k) const {
    const Line& l = lines_[line];
    return k < l.fieldCount && MayHoldCr(fields_[l.firstField + k]);
  }
  // MayHoldCr for a field of LineFields.
  bool MayHoldCr(Span span) const {
    if (!storedCr_ || span.length == 0) return false;
    if (span.offset >= text_.size()) return true;
    return span.offset > 0 && text_[span.offset - 1] == '"';
  }
  // The fields `line` completed, for a walk along the line: each is turned
  // into its bytes by View.
  std::span<const Span> LineFields(size_t line) const {
    const Line& l = lines_[line];
    return {fields_.data() + l.firstField, l.fieldCount};
  }
  // The bytes of a field of LineFields.
  std::string_view View(Span span) const {
    if (span.offset < text_.size()) return text_.substr(span.offset, span.length);
    return std::string_view(arena_).substr(span.offset - text_.size(), span.length);
  }
  // The number of bytes of field k of `line` (0 beyond the line's own
  // fields): Field(line, k).size() without making the view.
  size_t FieldSize(size_t line, size_t k) const {
    const Line& l = lines_[line];
    return k < l.fieldCount ? fields_[l.firstField + k].length : 0;
  }
  // False when the text (with the arena) outgrew what offsets can address;
  // the table then holds only the lines read before.
  bool complete() const { return complete_; }
  // The quotes the reader found out of place, in text order. An opening
  // quote that never closes gives kUnterminated after the issue that
  // opened it, if any.
  const std::vector<CsvQuoteIssue>& quoteIssues() const { return quoteIssues_; }

  // The field of `length` bytes at `offset`; an empty field is kept at 0.
  static Span Slice(uint32_t offset, uint32_t length) {
    return {length == 0 ? 0 : offset, length};
  }
  // Building, for the reader and for converting fields in place. A line's
  // fields are added between StartLine and EndLine; its field count is
  // set by EndLine.
  void StartLine();
  void EndLine() {
    Line& line = lines_.back();
    line.fieldCount = static_cast<uint32_t>(fields_.size() - line.firstField);
  }
  void Reserve(size_t lines, size_t fields, size_t arenaBytes) {
    lines_.reserve(lines);
    fields_.reserve(fields);
    arena_.reserve(arenaBytes);
  }
  void AddField(Span span);
  void MarkIncomplete() { complete_ = false; }
  // Says that a field may hold a CR (one was read inside quotes, or stored
  // for a NUL), which MayHoldCr then looks into.
  void NoteStoredCr() { storedCr_ = true; }
  // Notes a quote issue in the field in progress of the last line: the
  // field `back` places before the next one to complete.
  void AddQuoteIssue(CsvQuoteIssue::Kind kind, size_t offset, uint32_t back = 0);
  // Replaces field k of `line` with `bytes`, stored in the arena; false
  // (the field unchanged) when the arena is full.
  bool ReplaceField(size_t line, size_t k, std::string_view bytes);
  // Appends to the arena; the offset of the first byte, or nothing when the
  // arena is full.
  std::optional<uint32_t> AppendToArena(std::string_view bytes);
  void PushArenaByte(char c) { arena_.push_back(c); }
  uint32_t ArenaEnd() const { return static_cast<uint32_t>(text_.size() + arena_.size()); }
  bool ArenaHasRoom(size_t bytes) const;
  std::string_view text() const { return text_; }
  void Clear() {
    fields_.clear();
    lines_.clear();
    arena_.clear();
    quoteIssues_.clear();
    complete_ = true;
    storedCr_ = false;
  }

 private:
  std::string_view text_;
  std::string arena_;
  std::vector<Span> fields_;
  std::vector<Line> lines_;
  std::vector<CsvQuoteIssue> quoteIssues_;
  bool complete_ = true;
  bool storedCr_ = false;
};

inline constexpr size_t kCsvTableLimit = std::numeric_limits<uint32_t>::max() - 1;

// One line read on its own, its fields copied out.
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
  // Appends the next line to `table`, which must have been made over the
  // same text; false (nothing appended) at the end of input, or when the
  // table is full (it is then marked incomplete).
  bool ReadCsvLine(CsvTable& table);
  // Reads the next line into `line`; false (and an empty line) at the end
  // of input. Quote issues are not kept.
  bool ReadCsvLine(CsvLine& line);
  size_t position() const { return position_; }

 private:
  size_t SkipLineEnd(size_t at) const;

  std::string_view text_;
  char separator_;
  size_t position_ = 0;
  // The quote that opened the last quoted run, for kUnterminated. A member
  // rather than a local, so that it does not compete for the registers of
  // the reader's loop.
  size_t openingQuote_ = 0;
  // Finds the bytes that end a run of plain characters: outside quotes the
  // separator, the quote and the line ends; inside them the separator, CR
  // and LF are plain text, and only a quote, a NUL (stored as CR) and a CR
  // (which the table notes) need attention.
  CsvStopScanner stops_;
};

// Every line of `text`, read once. complete() is false when the text is
// larger than kCsvTableLimit.
CsvTable ReadCsvTable(std::string_view text, char separator);

}  // namespace qv
