#include "fields/charset.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// Converts and expects success; returns the handheld bytes.
std::string ToHandheld(std::string_view utf8) {
  const Result<std::string> out = Utf8ToHandheld(utf8);
  EXPECT_TRUE(out.ok()) << "refused at " << HandheldConvertibleLength(utf8);
  return out.ok() ? *out : std::string();
}

// Converts and expects a refusal; returns the reported offset.
size_t RefusedAt(std::string_view utf8) {
  EXPECT_FALSE(Utf8ToHandheld(utf8).ok());
  return HandheldConvertibleLength(utf8);
}

TEST(Charset, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = HandheldToUtf8(all);
  EXPECT_EQ(ToHandheld(utf8), all);
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<uint8_t>(b);
    EXPECT_EQ(HandheldByte(HandheldCodePoint(byte)), byte) << b;
  }
}

TEST(Charset, MapsTheHighBytesAsTheCodePageDoes) {
  EXPECT_EQ(HandheldToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(HandheldToUtf8("\x9F"), "\xC5\xB8");      // Y with diaeresis
  EXPECT_EQ(HandheldToUtf8("\xE4"), "\xC3\xA4");      // a with diaeresis
  EXPECT_EQ(HandheldToUtf8("\x81"), "\xC2\x81");      // undefined: C1 control
  EXPECT_EQ(HandheldToUtf8("\x99"), "\xE2\x84\xA2");  // trade mark
  EXPECT_EQ(HandheldToUtf8("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
  EXPECT_EQ(HandheldToUtf8(std::string_view("a\0b", 3)), std::string_view("a\0b", 3));
  EXPECT_EQ(HandheldToUtf8(""), "");
  EXPECT_EQ(ToHandheld("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC" "5"), "Gr\xFC\xDF \x80" "5");
}

TEST(Charset, RefusesCharactersOutsideTheSet) {
  EXPECT_EQ(RefusedAt("ab\xE4\xB8\xAD"), 2u);          // CJK ideograph
  EXPECT_EQ(RefusedAt("x\xF0\x9F\x98\x80y"), 1u);      // emoji
  EXPECT_EQ(RefusedAt("\xC2\x80"), 0u);                // U+0080: 0x80 is the euro
  EXPECT_EQ(RefusedAt("\xC2\x9F"), 0u);                // U+009F: 0x9F is Y diaeresis
  EXPECT_EQ(RefusedAt("\xC4\x80"), 0u);                // U+0100, just past Latin-1
  EXPECT_FALSE(HandheldByte(0x110000).has_value());
}

TEST(Charset, RefusesMalformedUtf8AtTheOffendingCharacter) {
  EXPECT_EQ(RefusedAt("ab\x80"), 2u);                  // lone continuation byte
  EXPECT_EQ(RefusedAt("a\xC0\x80"), 1u);               // overlong NUL
  EXPECT_EQ(RefusedAt("\xE0\x80\xAF"), 0u);            // overlong three-byte form
  EXPECT_EQ(RefusedAt("\xF0\x80\x80\xAF"), 0u);        // overlong four-byte form
  EXPECT_EQ(RefusedAt("\xC3\xA4\xED\xA0\x80"), 2u);    // surrogate
  EXPECT_EQ(RefusedAt("\xF4\x90\x80\x80"), 0u);        // above U+10FFFF
  EXPECT_EQ(RefusedAt("\xF5\x80\x80\x80"), 0u);
  EXPECT_EQ(RefusedAt("\xFF"), 0u);
  EXPECT_EQ(RefusedAt("abc\xE2\x82"), 3u);             // truncated at the end
  EXPECT_EQ(RefusedAt("\xC3"), 0u);
  EXPECT_EQ(RefusedAt("\xE2\x82x"), 0u);               // continuation missing
  EXPECT_EQ(RefusedAt("\xC3\xA4z\xC3"), 3u);
  EXPECT_EQ(ToHandheld("\xC3\xA4z"), "\xE4z");  // the text before the refusal
}

TEST(Charset, ConvertsEmptyAndMixedText) {
  EXPECT_EQ(ToHandheld(""), "");
  EXPECT_EQ(ToHandheld("\xC3\xA9t\xC3\xA9"), "\xE9t\xE9");
}

TEST(Charset, StripsOneLeadingBom) {
  EXPECT_EQ(StripUtf8Bom("\xEF\xBB\xBF" "a,b"), "a,b");
  EXPECT_EQ(StripUtf8Bom("\xEF\xBB\xBF\xEF\xBB\xBF"), "\xEF\xBB\xBF");
  EXPECT_EQ(StripUtf8Bom("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
  EXPECT_EQ(StripUtf8Bom("\xEF\xBB"), "\xEF\xBB");
  EXPECT_EQ(StripUtf8Bom(""), "");
}

}  // namespace
}  // namespace qv
