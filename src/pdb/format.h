// Messages are built one way in every layer: Format, printf-style, with the
// compiler checking each pattern against its arguments. A message that only
// joins fixed texts may be written out whole.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// MinGW's GCC reads "printf" as the Microsoft dialect, which lacks %zu;
// its C library is the C99 one (__USE_MINGW_ANSI_STDIO), so check for that.
#if defined(__MINGW32__)
#define QV_PRINTF_FORMAT(pattern, first) __attribute__((format(gnu_printf, pattern, first)))
#else
#define QV_PRINTF_FORMAT(pattern, first) __attribute__((format(printf, pattern, first)))
#endif

// printf-style formatting into a std::string (%.*s for a string_view).
std::string Format(const char* pattern, ...) QV_PRINTF_FORMAT(1, 2);

// The length of `text` as the "*" of a "%.*s" takes it.
inline int TextLength(std::string_view text) { return static_cast<int>(text.size()); }

}  // namespace qv
