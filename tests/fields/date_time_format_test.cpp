// The date and time renderers against printf's own formatting of the same
// numbers, over every layout and the unusual values a damaged record or a
// caller outside the calendar can bring (negative parts, three-digit hours).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fields/date_time.h"

namespace qv {
namespace {

std::string PrintfDate(int month, int day, int year, int dateFormat) {
  static const char kSeparators[7] = {'/', '/', '.', '-', '/', '.', '-'};
  const char s = kSeparators[dateFormat];
  char text[64];
  if (dateFormat == 0) {
    std::snprintf(text, sizeof text, "%02d%c%02d%c%04d", month, s, day, s, year);
  } else if (dateFormat <= 3) {
    std::snprintf(text, sizeof text, "%02d%c%02d%c%04d", day, s, month, s, year);
  } else {
    std::snprintf(text, sizeof text, "%04d%c%02d%c%02d", year, s, month, s, day);
  }
  return text;
}

TEST(DateTimeFormatting, DatesMatchPrintfInEveryLayout) {
  for (int format = 0; format <= 6; ++format) {
    for (int month : {-123, -9, -1, 2, 9, 10, 12, 13, 255, 100000}) {
      for (int day : {-45, -5, 0, 2, 7, 31, 99, 1234}) {
        for (int year : {1904, 1999, 2031, 12345}) {
          const bool empty = month <= 1 && day <= 1 && year == 1904;
          EXPECT_EQ(FormatDate(month, day, year, format),
                    empty ? std::string(kNoDateText) : PrintfDate(month, day, year, format))
              << month << " " << day << " " << year << " format " << format;
        }
      }
    }
  }
}

TEST(DateTimeFormatting, TimesMatchPrintfIncludingOutOfRangeParts) {
  static const char kSeparators[5] = {':', ':', '.', '.', ','};
  for (int format = 0; format <= 4; ++format) {
    const bool twelveHour = format == 0 || format == 2;
    for (int hour = 0; hour < 255; hour += 7) {
      for (int minute : {0, 5, 10, 59, 60, 99, 100, 254}) {
        int shown = hour;
        std::string suffix;
        if (twelveHour) {
          suffix = hour >= 12 ? " pm" : " am";
          if (shown == 0) shown = 12;
          if (shown > 12) shown -= 12;
        }
        char expected[32];
        std::snprintf(expected, sizeof expected, "%02d%c%02d%s", shown, kSeparators[format],
                      minute, suffix.c_str());
        const StoredValue stored{0, static_cast<uint8_t>(minute), static_cast<uint8_t>(hour), 0};
        EXPECT_EQ(FormatTime(stored, format), expected) << hour << ":" << minute;
      }
    }
  }
}

}  // namespace
}  // namespace qv
