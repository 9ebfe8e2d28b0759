// Dates and times as the handheld stores them, and their text forms.
//
// A stored date is a little-endian day count since 1904-01-01 (day 0 means
// "no date"); every year divisible by 4 is a leap year, years 1904-2031.
// A stored time is four bytes: second, minute, hour (255 = no time), 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pdb/result.h"

namespace qv {

inline constexpr std::string_view kNoDateText = "NO DATE";
inline constexpr std::string_view kNoTimeText = "No Time";

using StoredValue = std::array<uint8_t, 4>;

// The stored hour that stands for "no time".
inline constexpr int kNoTimeHour = 255;

// The handheld's calendar: every year divisible by 4 is a leap year, which
// agrees with the Gregorian one from 1901 to 2099.
bool IsLeapYear(int64_t year);
// The days of `month` (1-12) in `year` on this calendar; 0 for a month
// outside 1-12.
int DaysInMonth(int month, int64_t year);

struct CalendarDate {
  int month = 1;
  int day = 1;
  int year = 1904;
};

struct PackedDate {
  uint8_t yearSince1904 = 0;  // low 7 bits of the year offset
  uint8_t month = 0;          // 1..12
  uint8_t day = 0;            // 1..31
};

enum class DateOrder { kMonthDayYear, kDayMonthYear, kYearMonthDay };

struct DateLayout {
  DateOrder order;
  char separator;
};
struct TimeLayout {
  bool twelveHour;
  char separator;
};

// How a format lays out its text; a format outside its range (date 0-6,
// time 0-4) reads as format 0, as the parsers below take it.
DateLayout DateLayoutOf(int dateFormat);
TimeLayout TimeLayoutOf(int timeFormat);

inline constexpr int kFirstCalendarYear = 1904;
inline constexpr int kLastCalendarYear = 2031;

// The date `dayCount` days after 1904-01-01, the year in full.
CalendarDate DayCountToCalendarDate(uint32_t dayCount);
// The same with the year as a stored date keeps it (low 7 bits).
PackedDate DayCountToDate(uint32_t dayCount);
int32_t DateToDayCount(int month, int day, int year);

// Renderers. A format outside its range (date 0-6, time 0-4) gives "", except
// that the empty date and the empty time still give their markers.
std::string FormatDate(int month, int day, int year, int dateFormat);
// FormatDate and FormatClockTime into a buffer of kRenderedTextMax bytes, for
// the export's inner loop: the length of the text written to `out`.
inline constexpr size_t kRenderedTextMax = 40;
// Writes `value` as "%0*d" with `width` does at `out` and returns the end:
// at most 11 bytes, or `width` when that is more.
char* WritePadded(char* out, int value, int width);
size_t RenderDate(int month, int day, int year, int dateFormat, char* out);
size_t RenderClockTime(int hours, int minutes, int timeFormat, char* out);
std::string FormatStoredDate(const StoredValue& stored, int dateFormat);
std::string FormatTime(const StoredValue& stored, int timeFormat);
// A time of day (or a duration's hours and minutes) as FormatTime renders
// it, without the no-time check: hours 255 are rendered as a number.
std::string FormatClockTime(int hours, int minutes, int timeFormat);
std::string FormatSeconds(int32_t seconds, int timeFormat);

// Piece `piece` (from 0) of `text` split at `separator`; a run of separators
// counts as one and leading separators are skipped. Nothing when the piece
// does not exist. The piece views `text`.
std::optional<std::string_view> TextPiece(std::string_view text, int piece, char separator);

struct ClockTime {
  int hour = 0;
  int minute = 0;
};

CalendarDate ParseDate(std::string_view text, int dateFormat);
// The time of day `text` gives (hour kNoTimeHour for the no-time marker), or
// a failure when its hour or minute is out of range.
Result<ClockTime> ParseTime(std::string_view text, int timeFormat);

StoredValue StoreDate(int month, int day, int year);
StoredValue StoreTime(int hour, int minute, int second);

}  // namespace qv
