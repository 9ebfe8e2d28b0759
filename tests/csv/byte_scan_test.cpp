// The CSV byte searches against byte-by-byte references.
#include "csv/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace qv {
namespace {

size_t NaiveFind(const std::string& text, size_t at, const std::array<char, 5>& targets) {
  for (; at < text.size(); ++at) {
    for (char t : targets) {
      if (text[at] == t) return at;
    }
  }
  return text.size();
}

// Every position of a single match, inside and across 8-byte words, from
// every starting offset, including bytes just above and below the targets
// (0x01 beside NUL, 0x2D beside the comma) that word tricks can confuse.
TEST(FindAnyByte, AgreesWithAByteByByteSearch) {
  const std::array<char, 5> targets{',', '"', '\r', '\n', '\0'};
  const ByteFinder<5> finder(targets);
  for (const char filler : {'a', '\x01', '\x2d', '\x80', '\xff', '\x0b'}) {
    for (size_t length = 0; length <= 40; ++length) {
      for (size_t match = 0; match <= length; ++match) {
        for (const char target : targets) {
          std::string text(length, filler);
          if (match < length) text[match] = target;
          for (size_t from = 0; from <= length; ++from) {
            ASSERT_EQ(FindAnyByte(text.data(), from, text.size(), targets),
                      NaiveFind(text, from, targets))
                << "filler " << int(filler) << " length " << length << " match " << match
                << " from " << from;
            ASSERT_EQ(finder.Find(text.data(), from, text.size()), NaiveFind(text, from, targets))
                << "filler " << int(filler) << " length " << length << " match " << match
                << " from " << from;
            const size_t single = text.find(target, from);
            ASSERT_EQ(FindByte(text.data(), from, text.size(), target),
                      single == std::string::npos ? text.size() : single)
                << "filler " << int(filler) << " length " << length << " match " << match
                << " from " << from;
          }
          // Short values are copied only when they hold no target.
          if (length >= 8 && length <= 32) {
            std::string copy(length, '?');
            const bool none = finder.CopyIfNone(text.data(), length, copy.data());
#ifdef __SSE2__
            EXPECT_EQ(none, match == length) << length << " " << match;
#endif
            if (none) {
              EXPECT_EQ(copy, text);
            }
          }
        }
      }
    }
  }
}

TEST(FindAnyByte, FindsTheFirstOfSeveralMatchesAndStopsAtTheGivenEnd) {
  const std::array<char, 2> quoteOrNul{'"', '\0'};
  const std::string text = std::string("abcdefghij\"klm\0nop", 18);
  EXPECT_EQ(FindAnyByte(text.data(), 0, text.size(), quoteOrNul), 10u);
  EXPECT_EQ(FindAnyByte(text.data(), 11, text.size(), quoteOrNul), 14u);
  EXPECT_EQ(FindAnyByte(text.data(), 0, 10, quoteOrNul), 10u);  // the end, not the quote
  EXPECT_EQ(FindAnyByte(text.data(), 15, text.size(), quoteOrNul), text.size());
  // A NUL directly after a match must not move the answer past it.
  const std::string adjacent = std::string("xxxx\"\0\"\0", 8);
  EXPECT_EQ(FindAnyByte(adjacent.data(), 0, adjacent.size(), quoteOrNul), 4u);
}

// Random texts of every length up to three blocks and then some, stops
// sprinkled at random and at the block edges (63, 64, 65, 127) and the
// last byte, with random separators (any byte): for every start in turn,
// and for starts that move forward as a reader's do, both searches agree
// with a byte-by-byte one.
TEST(CsvStopScanner, AgreesWithAByteByByteSearch) {
  std::mt19937 random(7);
  const std::string stops("\",\r\n\0;\t", 7);
  for (size_t length = 0; length <= 200; ++length) {
    const char separator = static_cast<char>(random() % 4 == 0 ? random() : ',');
    const std::array<char, 5> outside{separator, '"', '\r', '\n', '\0'};
    const std::array<char, 5> inside{'"', '\0', '\r', '"', '"'};
    // Dense stops among any bytes, or a few among letters, for blocks
    // without any.
    const bool sparse = length % 2 == 0;
    std::string text(length, 'a');
    for (char& c : text) {
      if (random() % (sparse ? 150 : 8) == 0) {
        c = stops[random() % stops.size()];
      } else {
        c = static_cast<char>(sparse ? 'a' + random() % 26 : random());
      }
    }
    for (const size_t edge : {size_t{63}, size_t{64}, size_t{65}, size_t{127}, length - 1}) {
      if (edge < length && random() % 2 == 0) text[edge] = stops[random() % stops.size()];
    }
    CsvStopScanner everyStart(text, separator);
    for (size_t at = 0; at <= length; ++at) {
      ASSERT_EQ(everyStart.NextUnquoted(at), NaiveFind(text, at, outside)) << length << " " << at;
      ASSERT_EQ(everyStart.NextQuoted(at), NaiveFind(text, at, inside)) << length << " " << at;
    }
    CsvStopScanner reader(text, separator);
    for (size_t at = 0; at < length; at += 1 + random() % 3) {
      const bool quoted = random() % 2 == 0;
      const size_t stop = quoted ? reader.NextQuoted(at) : reader.NextUnquoted(at);
      ASSERT_EQ(stop, NaiveFind(text, at, quoted ? inside : outside)) << length << " " << at;
      if (random() % 2 == 0) at = stop;
    }
    ASSERT_EQ(reader.NextUnquoted(0), NaiveFind(text, 0, outside)) << length;  // back again
  }
}

// The import's whole-text passes: the first byte beyond ASCII, and the
// count of line feeds, for every length and position across the 64-, 16-
// and 8-byte steps.
TEST(SkipAsciiAndCountByte, AgreeWithAByteByByteScan) {
  for (size_t length = 0; length <= 140; ++length) {
    for (size_t mark = 0; mark <= length; ++mark) {
      std::string text(length, '\x7f');
      if (mark < length) text[mark] = '\x80';
      for (size_t from = 0; from <= length; ++from) {
        ASSERT_EQ(SkipAscii(text.data(), from, text.size()), from <= mark ? mark : length)
            << length << " " << mark << " " << from;
      }
      std::string lines(length, '\x0b');
      size_t feeds = 0;
      for (size_t i = mark; i < length; i += 3, ++feeds) lines[i] = '\n';
      ASSERT_EQ(CountByte(lines.data(), lines.size(), '\n'), feeds) << length << " " << mark;
    }
  }
  // Past the 255 blocks a lane can count, and all bytes the target.
  const std::string feeds(16 * 300 + 5, '\n');
  EXPECT_EQ(CountByte(feeds.data(), feeds.size(), '\n'), feeds.size());
}

// Every position of one byte to stop at (a control character, a byte from
// 0x80, a target) among printable fillers at the edges of the ranges, from
// every starting offset, inside and after the 16-byte blocks.
TEST(FindUnprintableOr, AgreesWithAByteByByteSearch) {
  const std::array<char, 2> targets{'"', '\\'};
  const auto naive = [&](const std::string& text, size_t at) {
    for (; at < text.size(); ++at) {
      const auto byte = static_cast<unsigned char>(text[at]);
      if (byte < 0x20 || byte >= 0x80 || text[at] == '"' || text[at] == '\\') return at;
    }
    return text.size();
  };
  for (const char filler : {'a', ' ', '\x7f', '!', '#', '['}) {
    for (size_t length = 0; length <= 40; ++length) {
      for (size_t match = 0; match <= length; ++match) {
        for (const char stop : {'\0', '\x1f', '\x80', '\xff', '"', '\\'}) {
          std::string text(length, filler);
          if (match < length) text[match] = stop;
          for (size_t from = 0; from <= length; ++from) {
            ASSERT_EQ(FindUnprintableOr(text.data(), from, text.size(), targets), naive(text, from))
                << "filler " << int(filler) << " length " << length << " match " << match;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv
