// Column names, UTF-8 texts and the JSON Lines writer for typed outputs.
#include "convert/typed_writers.h"

#include <charconv>

#include "csv/byte_scan.h"
#include "fields/charset.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

bool IsTaken(const std::vector<std::string>& names, std::string_view name) {
  for (const std::string& taken : names) {
    if (EqualsNoCase(taken, name)) return true;
  }
  return false;
}

// One byte of UTF-8 in a JSON string: control characters as \\u00XX, the
// quote and the backslash after a backslash, every other byte as it is.
void AppendJsonByte(char c, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto byte = static_cast<uint8_t>(c);
  if (byte < 0x20) {
    out += "\\u00";
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
  } else if (c == '"' || c == '\\') {
    out.push_back('\\');
    out.push_back(c);
  } else {
    out.push_back(c);
  }
}

// Handheld bytes as the body of a JSON string (no quotes): UTF-8, escaped.
// The runs of printable ASCII other than the quote and the backslash stand
// as they are and are copied whole.
void AppendJsonHandheld(std::string_view bytes, std::string& out) {
  static constexpr std::array<char, 2> kEscaped = {'"', '\\'};
  size_t from = 0;
  for (;;) {
    const size_t at = FindUnprintableOr(bytes.data(), from, bytes.size(), kEscaped);
    out.append(bytes.substr(from, at - from));
    if (at == bytes.size()) return;
    const auto byte = static_cast<uint8_t>(bytes[at]);
    if (byte >= 0x80) {
      out.append(HandheldByteAsUtf8(byte));
    } else {
      AppendJsonByte(bytes[at], out);
    }
    from = at + 1;
  }
}

// `value` (not negative) in decimal, with leading zeros up to `width` digits.
void AppendPadded(int value, int width, std::string& out) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (auto length = end - digits; length < width; ++length) out.push_back('0');
  out.append(digits, end);
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
  if (cell.kind == CellKind::kDate) {
    AppendPadded(cell.date.year, 4, out);
    out.push_back('-');
    AppendPadded(cell.date.month, 2, out);
    out.push_back('-');
    AppendPadded(cell.date.day, 2, out);
  } else if (cell.kind == CellKind::kTime) {
    AppendPadded(cell.time.hours, 2, out);
    out.push_back(':');
    AppendPadded(cell.time.minutes, 2, out);
  }
}

void AppendJsonString(std::string_view utf8, std::string& out) {
  out.push_back('"');
  for (const char c : utf8) AppendJsonByte(c, out);
  out.push_back('"');
}

JsonLinesWriter::JsonLinesWriter(std::span<const std::string> names, std::string& out)
    : out_(out) {
  keys_.reserve(names.size());
  for (const std::string& name : names) {
    std::string key;
    AppendJsonString(name, key);
    key.push_back(':');
    keys_.push_back(std::move(key));
  }
}

void JsonLinesWriter::WriteRow(CellRow row) {
  out_.push_back('{');
  for (size_t k = 0; k < row.size() && k < keys_.size(); ++k) {
    if (k > 0) out_.push_back(',');
    out_ += keys_[k];
    const Cell& cell = row[k];
    switch (cell.kind) {
      case CellKind::kNone:
        out_ += "null";
        break;
      case CellKind::kInteger:
      case CellKind::kUnique: {
        char digits[16];
        const std::to_chars_result end =
            std::to_chars(digits, digits + sizeof digits, cell.integer);
        out_.append(digits, end.ptr);
        break;
      }
      case CellKind::kCheckBox:
        out_ += cell.checked ? "true" : "false";
        break;
      case CellKind::kText:
      case CellKind::kChoice:
      case CellKind::kDate:
      case CellKind::kTime:
        // No choice, no date and no time are null; a text always has a value.
        if (!cell.hasValue) {
          out_ += "null";
          break;
        }
        out_.push_back('"');
        if (cell.kind == CellKind::kDate || cell.kind == CellKind::kTime) {
          AppendIsoDateOrTime(cell, out_);
        } else {
          AppendJsonHandheld(cell.text, out_);
        }
        out_.push_back('"');
        break;
    }
  }
  out_ += "}\n";
}

}  // namespace qv
