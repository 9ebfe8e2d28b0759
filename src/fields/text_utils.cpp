#include "fields/text_utils.h"

#include <algorithm>
#include <limits>

namespace qv {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b, size_t n) {
  a = a.substr(0, std::min(n, a.size()));
  b = b.substr(0, std::min(n, b.size()));
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = static_cast<unsigned char>(FoldAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(FoldAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Both run once per popup cell or date on import, so they compare in place
// rather than through CompareNoCase.
bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::optional<size_t> FindNoCase(std::string_view text, std::string_view pattern) {
  if (text.empty()) return std::nullopt;
  if (pattern.empty()) return 0;
  if (pattern.size() > text.size()) return std::nullopt;
  const char first = FoldAscii(pattern[0]);
  for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
    if (FoldAscii(text[i]) != first) continue;
    if (EqualsNoCase(text.substr(i, pattern.size()), pattern)) return i;
  }
  return std::nullopt;
}

std::string BoundedCopy(std::string_view source, size_t n) {
  const size_t nul = source.find('\0');
  if (nul != std::string_view::npos) source = source.substr(0, nul);
  return std::string(source.substr(0, std::min(n, source.size())));
}

std::string NormalizeLineEnds(std::string_view source) {
  std::string out;
  out.reserve(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '\r' || c == '\n') {
      out.push_back('\n');
      if (c == '\r' && i + 1 < source.size() && source[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int32_t ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  for (; i < text.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
    if (digit > 9) break;
    value = value * 10 + digit;
    // Once at the limit, later digits could only keep it there.
    if (value >= limit) return static_cast<int32_t>(negative ? -limit : limit);
  }
  return static_cast<int32_t>(negative ? -value : value);
}

std::string FormatUnsigned(uint32_t value) { return std::to_string(value); }

}  // namespace qv
