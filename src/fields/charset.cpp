#include "fields/charset.h"

#include <algorithm>
#include <array>

#include "pdb/format.h"

namespace qv {
namespace {

// Bytes 0x80 to 0x9F; every other byte is its own code point. The five
// bytes the code page leaves undefined keep their C1 control character.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr char32_t CodePointOf(uint8_t byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : char32_t{byte};
}

struct Encoded {
  uint8_t length = 0;
  std::array<char, 3> bytes{};
};

// Every code point of the set lies below U+10000, so three bytes suffice.
constexpr Encoded EncodeUtf8(char32_t cp) {
  Encoded e;
  if (cp < 0x80) {
    e.length = 1;
    e.bytes[0] = static_cast<char>(cp);
  } else if (cp < 0x800) {
    e.length = 2;
    e.bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
    e.bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    e.length = 3;
    e.bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
    e.bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    e.bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return e;
}

constexpr std::array<Encoded, 256> MakeUtf8Table() {
  std::array<Encoded, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = EncodeUtf8(CodePointOf(static_cast<uint8_t>(b)));
  return table;
}
constexpr std::array<Encoded, 256> kUtf8Of = MakeUtf8Table();

struct Reverse {
  char16_t codePoint;
  uint8_t byte;
};

// The 32 code points of bytes 0x80-0x9F, sorted for a binary search.
constexpr std::array<Reverse, 32> MakeReverseTable() {
  std::array<Reverse, 32> table{};
  for (int i = 0; i < 32; ++i)
    table[i] = {kHighControls[i], static_cast<uint8_t>(0x80 + i)};
  std::sort(table.begin(), table.end(),
            [](const Reverse& a, const Reverse& b) { return a.codePoint < b.codePoint; });
  return table;
}
constexpr std::array<Reverse, 32> kReverse = MakeReverseTable();

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Decodes one strict UTF-8 sequence at `pos`. Returns its length, or 0 when
// the bytes there are not a well-formed sequence. The ranges of the second
// byte exclude overlong forms, surrogates and values above U+10FFFF.
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& cp) {
  const auto at = [&](size_t i) { return static_cast<uint8_t>(text[pos + i]); };
  const uint8_t lead = at(0);
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(at(i))) return 0;
    cp = (cp << 6) | (at(i) & 0x3F);
  }
  return length;
}

}  // namespace

char32_t HandheldCodePoint(uint8_t byte) { return CodePointOf(byte); }

std::optional<uint8_t> HandheldByte(char32_t codePoint) {
  // 0x80-0x9F are excluded here: only five of those have a byte, and that
  // byte is found through the reverse table like the other 27.
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
    return static_cast<uint8_t>(codePoint);
  const auto it = std::lower_bound(
      kReverse.begin(), kReverse.end(), codePoint,
      [](const Reverse& r, char32_t cp) { return char32_t{r.codePoint} < cp; });
  if (it != kReverse.end() && it->codePoint == codePoint) return it->byte;
  return std::nullopt;
}

std::optional<char32_t> DecodeUtf8CodePoint(std::string_view text) {
  char32_t cp = 0;
  if (text.empty() || DecodeUtf8(text, 0, cp) == 0) return std::nullopt;
  return cp;
}

std::string HandheldToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  AppendHandheldAsUtf8(bytes, out);
  return out;
}

void AppendHandheldAsUtf8(std::string_view bytes, std::string& out) {
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      out.push_back(c);  // most text is ASCII, which stays as it is
    } else {
      const Encoded& e = kUtf8Of[byte];
      out.append(e.bytes.data(), e.length);
    }
  }
}

std::string_view HandheldByteAsUtf8(uint8_t byte) {
  const Encoded& e = kUtf8Of[byte];
  return {e.bytes.data(), e.length};
}

namespace {

// Converts `utf8` into `out` (replacing it) up to the first sequence that is
// invalid or has no handheld byte; returns where that sequence starts, or
// utf8.size() when the whole text converted.
size_t ConvertToHandheld(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    const auto lead = static_cast<uint8_t>(utf8[pos]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++pos;
      continue;
    }
    char32_t cp = 0;
    const size_t length = DecodeUtf8(utf8, pos, cp);
    const std::optional<uint8_t> byte = length ? HandheldByte(cp) : std::nullopt;
    if (!byte) return pos;
    out.push_back(static_cast<char>(*byte));
    pos += length;
  }
  return pos;
}

}  // namespace

Result<std::string> Utf8ToHandheld(std::string_view utf8) {
  std::string out;
  const size_t stop = ConvertToHandheld(utf8, out);
  if (stop == utf8.size()) return out;
  if (const std::optional<char32_t> cp = DecodeUtf8CodePoint(utf8.substr(stop))) {
    return Failure{Format("the character U+%04X cannot be stored on the handheld",
                          static_cast<unsigned>(*cp))};
  }
  return Failure{"the text is not valid UTF-8"};
}

size_t HandheldConvertibleLength(std::string_view utf8) {
  std::string scratch;
  return ConvertToHandheld(utf8, scratch);
}

std::string_view StripUtf8Bom(std::string_view text) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return text;
}

}  // namespace qv
