// The handheld's single-byte character set and its mapping to UTF-8.
//
// The handheld stores Windows-1252 text. That code page leaves five bytes
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D); they map to the C1 control
// characters of the same number, so the mapping is total and reversible:
// every byte survives an export to UTF-8 and the import back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pdb/result.h"

namespace qv {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The Unicode code point that a handheld byte stands for.
char32_t HandheldCodePoint(uint8_t byte);

// The handheld byte for a code point, or nothing when the set has none.
std::optional<uint8_t> HandheldByte(char32_t codePoint);

// The code point of the well-formed UTF-8 sequence at the start of `text`
// (shortest form, no surrogate, at most U+10FFFF), or nothing.
std::optional<char32_t> DecodeUtf8CodePoint(std::string_view text);

// Handheld bytes as UTF-8. Never fails: every byte has a character.
std::string HandheldToUtf8(std::string_view bytes);
// The same, appended to `out`.
void AppendHandheldAsUtf8(std::string_view bytes, std::string& out);
// The UTF-8 of one handheld byte (one to three bytes).
std::string_view HandheldByteAsUtf8(uint8_t byte);

// UTF-8 as handheld bytes, or a failure at the first invalid sequence
// (overlong form, surrogate, truncated sequence, stray continuation byte,
// code point above U+10FFFF) or the first character the handheld set cannot
// hold. The failure's message is "the text is not valid UTF-8" or "the
// character U+XXXX cannot be stored on the handheld", for the caller to place.
Result<std::string> Utf8ToHandheld(std::string_view utf8);

// The length in bytes of the longest leading part of `utf8` that
// Utf8ToHandheld converts: where its failure starts, or utf8.size().
size_t HandheldConvertibleLength(std::string_view utf8);

// The text without one leading byte-order mark, if it has one.
std::string_view StripUtf8Bom(std::string_view text);

}  // namespace qv
