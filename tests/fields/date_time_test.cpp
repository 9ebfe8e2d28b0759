#include "fields/date_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace qv {
namespace {

StoredValue DayBytes(uint32_t count) {
  return {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
          static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)};
}

std::string RenderDay(uint32_t count, int format) { return FormatStoredDate(DayBytes(count), format); }

int32_t ParsedDay(std::string_view text, int format) {
  const CalendarDate d = ParseDate(text, format);
  return DateToDayCount(d.month, d.day, d.year);
}

std::string Clock(int hour, int minute, int format) { return FormatTime(StoreTime(hour, minute, 0), format); }

TEST(DateTime, KnownDayCountsRender) {
  for (int format = 0; format <= 6; ++format) EXPECT_EQ(RenderDay(0, format), "NO DATE");
  EXPECT_EQ(RenderDay(1, 0), "01/02/1904");
  EXPECT_EQ(RenderDay(365, 0), "12/31/1904");
  EXPECT_EQ(RenderDay(366, 0), "01/01/1905");
  EXPECT_EQ(RenderDay(35123, 0), "02/29/2000");
  EXPECT_EQ(RenderDay(35123, 2), "29.02.2000");
  EXPECT_EQ(RenderDay(35123, 6), "2000-02-29");
  EXPECT_EQ(RenderDay(35428, 0), "12/30/2000");
  EXPECT_EQ(RenderDay(35429, 0), "12/31/2000");
  EXPECT_EQ(RenderDay(46751, 0), "12/31/2031");
  EXPECT_EQ(RenderDay(35057, 1), "25/12/1999");
  EXPECT_EQ(RenderDay(35057, 3), "25-12-1999");
  EXPECT_EQ(RenderDay(35057, 4), "1999/12/25");
  EXPECT_EQ(RenderDay(35057, 5), "1999.12.25");
  EXPECT_EQ(RenderDay(35057, 7), "");
  EXPECT_EQ(RenderDay(35057, -1), "");
}

TEST(DateTime, EveryDayCountRoundTripsInEveryFormat) {
  for (int format = 0; format <= 6; ++format) {
    for (uint32_t count = 0; count <= 46751; ++count) {
      const std::string text = RenderDay(count, format);
      ASSERT_EQ(ParsedDay(text, format), static_cast<int32_t>(count)) << text << " format " << format;
    }
  }
}

TEST(DateTime, CountsBeyondTheCalendarKeepSevenYearBits) {
  // 1 January 2032 is 128 years on: the year wraps back to 1904.
  const int32_t firstOf2032 = DateToDayCount(1, 1, 2032);
  EXPECT_EQ(firstOf2032, 46752);
  const PackedDate wrapped = DayCountToDate(46752);
  EXPECT_EQ(wrapped.yearSince1904, 0);
  EXPECT_EQ(wrapped.month, 1);
  EXPECT_EQ(wrapped.day, 1);
  // Large patterns (negative counts read unsigned) still give a real date.
  for (uint32_t count : {1000000u, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFF9Cu}) {
    const PackedDate d = DayCountToDate(count);
    EXPECT_LE(d.yearSince1904, 127);
    EXPECT_GE(d.month, 1);
    EXPECT_LE(d.month, 12);
    EXPECT_GE(d.day, 1);
    EXPECT_LE(d.day, 31);
  }
  EXPECT_EQ(DateToDayCount(1, 1, 1903), -365);
  // Extreme years must not overflow.
  DateToDayCount(12, std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
  DateToDayCount(1, std::numeric_limits<int>::min(), std::numeric_limits<int>::min());
}

TEST(DateTime, ParseDateFormatsAndFallbacks) {
  EXPECT_EQ(ParsedDay("12/25/99", 0), 35057);
  EXPECT_EQ(ParsedDay("25.12.99", 2), 35057);
  EXPECT_EQ(ParsedDay("99/12/25", 4), 35057);
  EXPECT_EQ(ParsedDay("1/1/04", 0), 0);
  EXPECT_EQ(RenderDay(ParsedDay("1/1/03", 0), 0), "01/01/2003");
  EXPECT_EQ(ParsedDay("02/31/2001", 0), 35491);
  EXPECT_EQ(RenderDay(35491, 0), "03/03/2001");
  EXPECT_EQ(ParsedDay("", 0), 0);
  EXPECT_EQ(ParsedDay("no date", 3), 0);
  EXPECT_EQ(ParsedDay("x NO DATE y", 0), 0);

  CalendarDate d = ParseDate("13/45/2001", 0);
  EXPECT_EQ(d.month, 1);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.year, 2001);
  d = ParseDate(" ", 0);
  EXPECT_EQ(d.year, 2000);
  d = ParseDate("12-25-1999", 0);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.year, 2000);
  // An unknown format parses as month/day/year.
  d = ParseDate("12/25/1999", 42);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 25);
  EXPECT_EQ(d.year, 1999);
  // Pieces of any length saturate instead of overflowing.
  d = ParseDate("1/1/99999999999999999999999", 0);
  EXPECT_EQ(d.year, std::numeric_limits<int32_t>::max());
  d = ParseDate("1/1/-99999999999999999999999", 0);
  EXPECT_EQ(d.year, std::numeric_limits<int32_t>::min() + 2000);
  StoreDate(d.month, d.day, d.year);
}

TEST(DateTime, TextPieces) {
  EXPECT_EQ(TextPiece("12/25/99", 1, '/'), "25");
  EXPECT_EQ(TextPiece("12//25", 1, '/'), "25");
  EXPECT_EQ(TextPiece("/12", 0, '/'), "12");
  EXPECT_EQ(TextPiece("12/", 1, '/'), "");
  EXPECT_EQ(TextPiece("", 0, '/'), "");
  EXPECT_EQ(TextPiece("12", 1, '/'), std::nullopt);
  EXPECT_EQ(TextPiece("a/b/c", 3, '/'), std::nullopt);
}

TEST(DateTime, RenderTimes) {
  EXPECT_EQ(Clock(0, 5, 0), "12:05 am");
  EXPECT_EQ(Clock(11, 59, 0), "11:59 am");
  EXPECT_EQ(Clock(12, 0, 0), "12:00 pm");
  EXPECT_EQ(Clock(13, 5, 0), "01:05 pm");
  EXPECT_EQ(Clock(13, 5, 1), "13:05");
  EXPECT_EQ(Clock(13, 5, 2), "01.05 pm");
  EXPECT_EQ(Clock(13, 5, 3), "13.05");
  EXPECT_EQ(Clock(23, 59, 2), "11.59 pm");
  EXPECT_EQ(Clock(23, 59, 4), "23,59");
  for (int format = 0; format <= 4; ++format) EXPECT_EQ(Clock(255, 0, format), "No Time");
  EXPECT_EQ(Clock(255, 0, 9), "No Time");
  EXPECT_EQ(Clock(10, 0, 5), "");
  EXPECT_EQ(Clock(10, 0, -1), "");
  // The seconds byte is ignored.
  EXPECT_EQ(FormatTime(StoreTime(10, 20, 59), 1), "10:20");

  EXPECT_EQ(FormatSeconds(3661, 1), "01:01");
  EXPECT_EQ(FormatSeconds(25 * 3600 + 60, 1), "25:01");
  EXPECT_EQ(FormatSeconds(0, 0), "12:00 am");
  // Narrowed to bytes: -1 hour becomes 255, the empty time.
  EXPECT_EQ(FormatSeconds(-3600, 1), "No Time");
  FormatSeconds(std::numeric_limits<int32_t>::min(), 1);
  FormatSeconds(std::numeric_limits<int32_t>::max(), 0);
}

TEST(DateTime, ParseTimes) {
  auto parse = [&](std::string_view text, int format) {
    const Result<ClockTime> result = ParseTime(text, format);
    const ClockTime t = result ? *result : ClockTime{0, 0};
    return std::string(result ? "0 " : "-1 ") + std::to_string(t.hour) + ":" +
           std::to_string(t.minute);
  };
  EXPECT_EQ(parse("12:30 am", 0), "0 0:30");
  EXPECT_EQ(parse("12:30 pm", 0), "0 12:30");
  EXPECT_EQ(parse("7:45 PM", 0), "0 19:45");
  EXPECT_EQ(parse("7:45 Pm", 0), "0 7:45");
  EXPECT_EQ(parse("13:00", 0), "0 0:0");
  EXPECT_EQ(parse("no time", 0), "0 255:0");
  EXPECT_EQ(parse("at NO TIME", 3), "0 255:0");
  EXPECT_EQ(parse("24:00", 1), "-1 0:0");
  EXPECT_EQ(parse("10:60", 1), "-1 0:0");
  EXPECT_EQ(parse("", 1), "0 0:0");
  EXPECT_EQ(parse("7", 1), "0 7:0");
  EXPECT_EQ(parse("07.15 pm", 2), "0 19:15");
  EXPECT_EQ(parse("19.15", 3), "0 19:15");
  EXPECT_EQ(parse("19,15", 4), "0 19:15");
  EXPECT_EQ(parse("19:15", 4), "0 19:0");
  // An unknown format parses as the 12-hour clock with ":".
  EXPECT_EQ(parse("7:45 pm", 17), "0 19:45");
  EXPECT_EQ(parse("99999999999999999999:5", 1), "-1 0:0");

  // Every rendered time parses back in its own format.
  for (int format = 0; format <= 4; ++format) {
    for (int hour = 0; hour < 24; ++hour) {
      for (int minute = 0; minute < 60; minute += 7) {
        const Result<ClockTime> t = ParseTime(Clock(hour, minute, format), format);
        ASSERT_TRUE(t.ok());
        EXPECT_EQ(t->hour, hour);
        EXPECT_EQ(t->minute, minute);
      }
    }
  }
}

TEST(DateTime, StoredBytesAreLittleEndian) {
  EXPECT_EQ(StoreDate(12, 25, 1999), (StoredValue{0xF1, 0x88, 0, 0}));
  EXPECT_EQ(StoreDate(1, 1, 1903), (StoredValue{0x93, 0xFE, 0xFF, 0xFF}));
  EXPECT_EQ(StoreTime(13, 5, 0), (StoredValue{0, 5, 13, 0}));
  EXPECT_EQ(StoreTime(255, 0, 0), (StoredValue{0, 0, 255, 0}));
}

}  // namespace
}  // namespace qv
