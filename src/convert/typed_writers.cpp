// Column names, UTF-8 texts and the JSON Lines writer for typed outputs.
#include "convert/typed_writers.h"

#include <charconv>
#include <cstring>

#include "csv/byte_scan.h"
#include "fields/charset.h"
#include "fields/date_time.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

bool IsTaken(const std::vector<std::string>& names, std::string_view name) {
  for (const std::string& taken : names) {
    if (EqualsNoCase(taken, name)) return true;
  }
  return false;
}

// The most bytes one byte of text takes in a JSON string: \u00XX.
constexpr size_t kJsonByteMost = 6;
// The most bytes of an ISO date or time: a year of up to eight digits.
constexpr size_t kIsoMost = 24;

// One byte of UTF-8 in a JSON string, written at `out`: control characters
// as \u00XX, the quote and the backslash after a backslash, every other byte
// as it is. Returns the end of what was written.
char* WriteJsonByte(char c, char* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto byte = static_cast<uint8_t>(c);
  if (byte < 0x20) {
    out[0] = '\\';
    out[1] = 'u';
    out[2] = '0';
    out[3] = '0';
    out[4] = kHex[byte >> 4];
    out[5] = kHex[byte & 0xF];
    return out + 6;
  }
  if (c == '"' || c == '\\') *out++ = '\\';
  *out++ = c;
  return out;
}

// Handheld bytes as the body of a JSON string (no quotes), UTF-8 and
// escaped, written at `out` (room for kJsonByteMost bytes each). The runs
// of printable ASCII other than the quote and the backslash stand as they
// are and are copied whole.
char* WriteJsonHandheld(std::string_view bytes, char* out) {
  static constexpr std::array<char, 2> kEscaped = {'"', '\\'};
  size_t from = 0;
  for (;;) {
    const size_t at = FindUnprintableOr(bytes.data(), from, bytes.size(), kEscaped);
    if (at > from) std::memcpy(out, bytes.data() + from, at - from);
    out += at - from;
    if (at == bytes.size()) return out;
    const auto byte = static_cast<uint8_t>(bytes[at]);
    if (byte >= 0x80) {
      const std::string_view utf8 = HandheldByteAsUtf8(byte);
      std::memcpy(out, utf8.data(), utf8.size());
      out += utf8.size();
    } else {
      out = WriteJsonByte(bytes[at], out);
    }
    from = at + 1;
  }
}

// AppendIsoDateOrTime's text at `out` (room for kIsoMost bytes).
char* WriteIsoDateOrTime(const Cell& cell, char* out) {
  if (cell.kind == CellKind::kDate) {
    out = WritePadded(out, cell.date.year, 4);
    *out++ = '-';
    out = WritePadded(out, cell.date.month, 2);
    *out++ = '-';
    return WritePadded(out, cell.date.day, 2);
  }
  if (cell.kind == CellKind::kTime) {
    out = WritePadded(out, cell.time.hours, 2);
    *out++ = ':';
    return WritePadded(out, cell.time.minutes, 2);
  }
  return out;
}

// Copies `text` to `out`; returns the end.
char* WriteText(std::string_view text, char* out) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

}  // namespace

std::vector<std::string> UniqueColumnNames(const MasterRecord& master,
                                           std::span<const int> slots) {
  std::vector<std::string> names;
  names.reserve(slots.size());
  for (size_t k = 0; k < slots.size(); ++k) {
    const int slot = slots[k];
    std::string base;
    if (slot >= 0 && slot < kFieldSlots) {
      AppendHandheldAsUtf8(FixedText(master.fields[slot].name), base);
    }
    if (base.empty()) base = "Field " + std::to_string(k + 1);
    std::string name = base;
    for (int suffix = 2; IsTaken(names, name); ++suffix) {
      name = base + "_" + std::to_string(suffix);
    }
    names.push_back(std::move(name));
  }
  return names;
}

void AppendIsoDateOrTime(const Cell& cell, std::string& out) {
  char text[kIsoMost];
  out.append(text, WriteIsoDateOrTime(cell, text));
}

void AppendJsonString(std::string_view utf8, std::string& out) {
  const size_t start = out.size();
  out.resize(start + kJsonByteMost * utf8.size() + 2);
  char* at = out.data() + start;
  *at++ = '"';
  for (const char c : utf8) at = WriteJsonByte(c, at);
  *at++ = '"';
  out.resize(static_cast<size_t>(at - out.data()));
}

JsonLinesWriter::JsonLinesWriter(std::span<const std::string> names, std::string& out)
    : out_(out), row_(kRowBytes) {
  keys_.reserve(names.size());
  for (const std::string& name : names) {
    std::string key;
    AppendJsonString(name, key);
    key.push_back(':');
    keys_.push_back(std::move(key));
  }
}

void JsonLinesWriter::WriteRow(CellRow row) {
  char* const begin = row_.data();
  char* const limit = begin + row_.size();
  char* at = begin;
  *at++ = '{';
  for (size_t k = 0; k < row.size() && k < keys_.size(); ++k) {
    const Cell& cell = row[k];
    const bool text = cell.hasValue && (cell.kind == CellKind::kText || cell.kind == CellKind::kChoice);
    // The comma, the key, and the value: a text escaped, in quotes, or at
    // most kIsoMost bytes of anything else; then the closing "}\n".
    const size_t value = text ? kJsonByteMost * cell.text.size() + 2 : kIsoMost + 2;
    const size_t most = 1 + keys_[k].size() + value + 2;
    if (static_cast<size_t>(limit - at) < most) {
      out_.append(begin, static_cast<size_t>(at - begin));
      at = begin;
      if (row_.size() < most) {
        // Longer than a row may be: made in a string of its own.
        std::string member;
        member.resize(most);
        char* end = WriteMember(k, cell, member.data());
        out_.append(member.data(), static_cast<size_t>(end - member.data()));
        continue;
      }
    }
    at = WriteMember(k, cell, at);
  }
  *at++ = '}';
  *at++ = '\n';
  out_.append(begin, static_cast<size_t>(at - begin));
}

char* JsonLinesWriter::WriteMember(size_t k, const Cell& cell, char* at) const {
  if (k > 0) *at++ = ',';
  at = WriteText(keys_[k], at);
  switch (cell.kind) {
    case CellKind::kNone:
      return WriteText("null", at);
    case CellKind::kInteger:
    case CellKind::kUnique:
      return std::to_chars(at, at + kIsoMost, cell.integer).ptr;
    case CellKind::kCheckBox:
      return WriteText(cell.checked ? "true" : "false", at);
    case CellKind::kText:
    case CellKind::kChoice:
    case CellKind::kDate:
    case CellKind::kTime:
      // No choice, no date and no time are null; a text always has a value.
      if (!cell.hasValue) return WriteText("null", at);
      *at++ = '"';
      if (cell.kind == CellKind::kDate || cell.kind == CellKind::kTime) {
        at = WriteIsoDateOrTime(cell, at);
      } else {
        at = WriteJsonHandheld(cell.text, at);
      }
      *at++ = '"';
      return at;
  }
  return at;
}

}  // namespace qv
