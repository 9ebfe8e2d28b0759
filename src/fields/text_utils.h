// Small text routines shared by the command line, the field renderers and
// the CSV side. Case folding touches ASCII letters only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Position of the first occurrence of `pattern` in `text`, ignoring ASCII
// case. An empty text never matches; an empty pattern matches a non-empty
// text at 0.
std::optional<size_t> FindNoCase(std::string_view text, std::string_view pattern);
inline bool ContainsNoCase(std::string_view text, std::string_view pattern) {
  return FindNoCase(text, pattern).has_value();
}
// 0 when the first n characters of a and b (fewer where one ends sooner)
// are equal ignoring ASCII case; otherwise the sign of the first difference.
int CompareNoCase(std::string_view a, std::string_view b, size_t n);
// Whole-text comparison ignoring ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The first n characters of `source`, stopping early at a NUL.
std::string BoundedCopy(std::string_view source, size_t n);

// Every line end becomes one LF: CR LF counts as one line end, every other
// CR or LF as one each, so an empty line inside a text survives.
std::string NormalizeLineEnds(std::string_view source);

// Reads a decimal number the way atoi does: leading white space and one sign
// are accepted, reading stops at the first non-digit, no digits give 0; a
// value beyond the signed 32-bit range gives the nearest limit.
int32_t ParseDecimal(std::string_view text);


// Unsigned decimal text ("%u").
std::string FormatUnsigned(uint32_t value);

}  // namespace qv
