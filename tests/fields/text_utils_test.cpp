#include "fields/text_utils.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(FindNoCase, FindsPatternsIgnoringAsciiCase) {
  EXPECT_EQ(FindNoCase("12:00 no time", "No Time"), 6u);
  EXPECT_EQ(FindNoCase("xcommand:tocsvx", "COMMAND:TOCSV"), 1u);
  EXPECT_EQ(FindNoCase("abc", ""), 0u);
  EXPECT_FALSE(FindNoCase("", "a").has_value());
  EXPECT_FALSE(FindNoCase("", "").has_value());
  EXPECT_FALSE(FindNoCase("no tim", "No Time").has_value());
  // Only ASCII letters fold: bytes above 127 must match exactly.
  EXPECT_FALSE(FindNoCase("\xC4", "\xE4").has_value());
}

TEST(CompareNoCase, ComparesAtMostNCharacters) {
  EXPECT_EQ(CompareNoCase("ABCdef", "abcXYZ", 3), 0);
  EXPECT_NE(CompareNoCase("ab", "abc", 3), 0);
  EXPECT_EQ(CompareNoCase("ab", "ab", 10), 0);
  EXPECT_TRUE(EqualsNoCase("Green", "gREEN"));
  EXPECT_FALSE(EqualsNoCase("Green", "Greens"));
}

TEST(BoundedCopy, CutsAndStopsAtNul) {
  EXPECT_EQ(BoundedCopy("ab", 4), "ab");
  EXPECT_EQ(BoundedCopy("abcdef", 4), "abcd");
  EXPECT_EQ(BoundedCopy(std::string_view("a\0b", 3), 4), "a");
  EXPECT_EQ(BoundedCopy("abc", 0), "");
}

TEST(NormalizeLineEnds, OneLineFeedPerLineEnd) {
  EXPECT_EQ(NormalizeLineEnds("a\r\nb"), "a\nb");
  EXPECT_EQ(NormalizeLineEnds("a\rb"), "a\nb");
  EXPECT_EQ(NormalizeLineEnds("a\r\n\r\nb"), "a\n\nb");
  // An empty line survives, whatever the line ends.
  EXPECT_EQ(NormalizeLineEnds("a\n\nb"), "a\n\nb");
  EXPECT_EQ(NormalizeLineEnds("a\n\rb"), "a\n\nb");
  EXPECT_EQ(NormalizeLineEnds("a\r\r\nb"), "a\n\nb");
  EXPECT_EQ(NormalizeLineEnds("\r\n"), "\n");
  EXPECT_EQ(NormalizeLineEnds(""), "");
}

TEST(ParseDecimal, ReadsLikeAtoiAndSaturates) {
  EXPECT_EQ(ParseDecimal("42"), 42);
  EXPECT_EQ(ParseDecimal("-1"), -1);
  EXPECT_EQ(ParseDecimal(" 7x"), 7);
  EXPECT_EQ(ParseDecimal("\t+3"), 3);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("- 3"), 0);
  EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
  EXPECT_EQ(ParseDecimal("2147483648"), 2147483647);
  EXPECT_EQ(ParseDecimal("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseDecimal("-99999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(FormatUnsigned(4294967295u), "4294967295");
}

}  // namespace
}  // namespace qv
