#include "fields/date_time.h"

#include <charconv>
#include <cstring>

#include "fields/text_utils.h"
#include "pdb/byte_io.h"

namespace qv {
namespace {

constexpr int kMonthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};


// Rendering and parsing share one table so that every format round-trips.
constexpr DateLayout kDateLayouts[7] = {
    {DateOrder::kMonthDayYear, '/'}, {DateOrder::kDayMonthYear, '/'},
    {DateOrder::kDayMonthYear, '.'}, {DateOrder::kDayMonthYear, '-'},
    {DateOrder::kYearMonthDay, '/'}, {DateOrder::kYearMonthDay, '.'},
    {DateOrder::kYearMonthDay, '-'},
};

// Indexed by the time format; parsing goes through the handheld's own format
// codes (1, 2, 4, 5, 8), which map one to one onto these rows.
constexpr TimeLayout kTimeLayouts[5] = {
    {true, ':'}, {false, ':'}, {true, '.'}, {false, '.'}, {false, ','},
};

// The value of one piece; a missing piece counts as 0.
int PieceValue(std::string_view text, int piece, char separator) {
  const std::optional<std::string_view> found = TextPiece(text, piece, separator);
  return found ? ParseDecimal(*found) : 0;
}

// "00" to "99", for two digits at a time.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (size_t n = 0; n < 100; ++n) {
    pairs[2 * n] = static_cast<char>('0' + n / 10);
    pairs[2 * n + 1] = static_cast<char>('0' + n % 10);
  }
  return pairs;
}();

}  // namespace

// The export writes a date or a time for most rows, and snprintf would
// dominate its time.
char* WritePadded(char* out, int value, int width) {
  if (value >= 0 && value < 100 && width == 2) {
    std::memcpy(out, &kDigitPairs[2 * static_cast<size_t>(value)], 2);
    return out + 2;
  }
  int64_t magnitude = value;
  if (magnitude < 0) {
    *out++ = '-';
    magnitude = -magnitude;
    --width;  // the sign counts towards the width
  }
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, magnitude);
  const int length = static_cast<int>(end.ptr - digits);
  for (int k = length; k < width; ++k) *out++ = '0';
  std::memcpy(out, digits, static_cast<size_t>(length));
  return out + length;
}

namespace {

// The month (1-12) of each day of a year, from its day 0, for common and
// leap years.
constexpr std::array<std::array<uint8_t, 366>, 2> kMonthOfDay = [] {
  std::array<std::array<uint8_t, 366>, 2> months{};
  for (int leap = 0; leap < 2; ++leap) {
    int day = 0;
    for (int m = 0; m < 12; ++m) {
      const int length = kMonthLengths[m] + (m == 1 ? leap : 0);
      for (int d = 0; d < length; ++d) months[leap][day++] = static_cast<uint8_t>(m + 1);
    }
    if (!leap) months[leap][365] = 12;  // never looked up
  }
  return months;
}();

// The day of the year (from 0) on which each month starts, for common and
// leap years.
constexpr std::array<std::array<uint16_t, 13>, 2> kMonthStarts = [] {
  std::array<std::array<uint16_t, 13>, 2> starts{};
  for (int leap = 0; leap < 2; ++leap) {
    for (int m = 0; m < 12; ++m) {
      starts[leap][m + 1] =
          static_cast<uint16_t>(starts[leap][m] + kMonthLengths[m] + (m == 1 ? leap : 0));
    }
  }
  return starts;
}();

}  // namespace

bool IsLeapYear(int64_t year) { return year % 4 == 0; }

DateLayout DateLayoutOf(int dateFormat) {
  return kDateLayouts[(dateFormat >= 0 && dateFormat <= 6) ? dateFormat : 0];
}

TimeLayout TimeLayoutOf(int timeFormat) {
  return kTimeLayouts[(timeFormat >= 0 && timeFormat <= 4) ? timeFormat : 0];
}

int DaysInMonth(int month, int64_t year) {
  if (month < 1 || month > 12) return 0;
  return (month == 2 && IsLeapYear(year)) ? 29 : kMonthLengths[month - 1];
}

CalendarDate DayCountToCalendarDate(uint32_t dayCount) {
  // Every fourth year is a leap year and the first one (1904) is, so the
  // calendar repeats every 1461 days: a leap year, then three common ones.
  constexpr uint32_t kCycleDays = 4 * 365 + 1;
  const uint32_t cycles = dayCount / kCycleDays;
  uint32_t dayOfYear = dayCount % kCycleDays;
  uint32_t yearInCycle = 0;
  if (dayOfYear >= 366) {
    yearInCycle = 1 + (dayOfYear - 366) / 365;
    dayOfYear = (dayOfYear - 366) % 365;
  }
  const int leap = yearInCycle == 0 ? 1 : 0;
  const uint8_t month = kMonthOfDay[leap][dayOfYear];
  CalendarDate date;
  date.year = kFirstCalendarYear + static_cast<int>(4 * cycles + yearInCycle);
  date.month = month;
  date.day = static_cast<int>(dayOfYear - kMonthStarts[leap][month - 1] + 1);
  return date;
}

PackedDate DayCountToDate(uint32_t dayCount) {
  const CalendarDate date = DayCountToCalendarDate(dayCount);
  PackedDate packed;
  packed.yearSince1904 = static_cast<uint8_t>((date.year - kFirstCalendarYear) & 0x7F);
  packed.month = static_cast<uint8_t>(date.month);
  packed.day = static_cast<uint8_t>(date.day);
  return packed;
}

int32_t DateToDayCount(int month, int day, int year) {
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  const int64_t offset = static_cast<int64_t>(year) - 1904;
  int64_t count = 365 * offset + (offset > 0 ? (offset + 3) / 4 : 0);
  count += kMonthStarts[0][static_cast<size_t>(month - 1)];
  if (month > 2 && IsLeapYear(year)) ++count;
  count += static_cast<int64_t>(day) - 1;
  // Years far outside the calendar wrap like the stored 32-bit count does.
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(count)));
}

size_t RenderDate(int month, int day, int year, int dateFormat, char* out) {
  if (year < 1904) year = 1904;
  // The empty date is recognisable whatever the user's format.
  if (month <= 1 && day <= 1 && year == 1904) {
    std::memcpy(out, kNoDateText.data(), kNoDateText.size());
    return kNoDateText.size();
  }
  if (dateFormat < 0 || dateFormat > 6) return 0;
  const DateLayout& layout = kDateLayouts[dateFormat];
  const char s = layout.separator;
  // Day and month before the year, or the year first; the year has four digits.
  int parts[3] = {month, day, year};
  if (layout.order == DateOrder::kDayMonthYear) parts[0] = day, parts[1] = month;
  if (layout.order == DateOrder::kYearMonthDay) parts[0] = year, parts[1] = month, parts[2] = day;
  const bool yearFirst = layout.order == DateOrder::kYearMonthDay;
  char* end = WritePadded(out, parts[0], yearFirst ? 4 : 2);
  *end++ = s;
  end = WritePadded(end, parts[1], 2);
  *end++ = s;
  end = WritePadded(end, parts[2], yearFirst ? 2 : 4);
  return static_cast<size_t>(end - out);
}

std::string FormatDate(int month, int day, int year, int dateFormat) {
  char text[kRenderedTextMax];
  return std::string(text, RenderDate(month, day, year, dateFormat, text));
}

std::string FormatStoredDate(const StoredValue& stored, int dateFormat) {
  const PackedDate date = DayCountToDate(LoadU32LE(ByteView(stored)));
  return FormatDate(date.month, date.day, date.yearSince1904 + 1904, dateFormat);
}

std::string FormatTime(const StoredValue& stored, int timeFormat) {
  if (stored[2] == kNoTimeHour) return std::string(kNoTimeText);
  return FormatClockTime(stored[2], stored[1], timeFormat);
}

size_t RenderClockTime(int hour, int minute, int timeFormat, char* out) {
  if (timeFormat < 0 || timeFormat > 4) return 0;
  const TimeLayout& layout = kTimeLayouts[timeFormat];
  std::string_view suffix;
  if (layout.twelveHour) {
    suffix = hour >= 12 ? " pm" : " am";
    if (hour == 0) hour = 12;
    if (hour > 12) hour -= 12;
  }
  char* end = WritePadded(out, hour, 2);
  *end++ = layout.separator;
  end = WritePadded(end, minute, 2);
  // An empty view may hold a null pointer, which memcpy must not be given.
  if (!suffix.empty()) std::memcpy(end, suffix.data(), suffix.size());
  return static_cast<size_t>(end - out) + suffix.size();
}

std::string FormatClockTime(int hour, int minute, int timeFormat) {
  char text[kRenderedTextMax];
  return std::string(text, RenderClockTime(hour, minute, timeFormat, text));
}

std::string FormatSeconds(int32_t seconds, int timeFormat) {
  const int32_t hours = seconds / 3600;
  const int32_t rest = seconds - 3600 * hours;
  const int32_t minutes = rest / 60;
  const int32_t left = rest - 60 * minutes;
  // Not reduced modulo 24: a duration of 25 hours shows as 25.
  return FormatTime(StoreTime(hours, minutes, left), timeFormat);
}

std::optional<std::string_view> TextPiece(std::string_view text, int piece, char separator) {
  size_t i = 0;
  const size_t n = text.size();
  for (int p = 0; p < piece; ++p) {
    while (i < n && text[i] == separator) ++i;
    while (i < n && text[i] != separator) ++i;
    if (i >= n) return std::nullopt;
    ++i;
  }
  while (i < n && text[i] == separator) ++i;
  const size_t start = i;
  while (i < n && text[i] != separator) ++i;
  return text.substr(start, i - start);
}

CalendarDate ParseDate(std::string_view text, int dateFormat) {
  CalendarDate date;
  if (text.empty() || ContainsNoCase(text, kNoDateText)) return date;
  const DateLayout& layout = kDateLayouts[(dateFormat >= 0 && dateFormat <= 6) ? dateFormat : 0];
  const int a = PieceValue(text, 0, layout.separator);
  const int b = PieceValue(text, 1, layout.separator);
  const int c = PieceValue(text, 2, layout.separator);
  switch (layout.order) {
    case DateOrder::kMonthDayYear: date = {a, b, c}; break;
    case DateOrder::kDayMonthYear: date = {b, a, c}; break;
    case DateOrder::kYearMonthDay: date = {b, c, a}; break;
  }
  if (date.month < 1 || date.month > 12) date.month = 1;
  if (date.day < 1 || date.day > 31) date.day = 1;
  // Two-digit years pivot at 04: 04-99 are the 1900s, 00-03 the 2000s.
  if (date.year >= 4 && date.year <= 99) {
    date.year += 1900;
  } else if (date.year <= 3) {
    date.year += 2000;
  }
  return date;
}

Result<ClockTime> ParseTime(std::string_view text, int timeFormat) {
  if (ContainsNoCase(text, kNoTimeText)) return ClockTime{kNoTimeHour, 0};
  const TimeLayout& layout = kTimeLayouts[(timeFormat >= 0 && timeFormat <= 4) ? timeFormat : 0];
  int hour = PieceValue(text, 0, layout.separator);
  const int minute = PieceValue(text, 1, layout.separator);
  if (layout.twelveHour) {
    if (hour > 11) hour = 0;
    // Only these two spellings count; "Pm" is deliberately taken as morning.
    if (text.find("pm") != std::string_view::npos || text.find("PM") != std::string_view::npos) {
      hour += 12;
    }
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
    return Failure{"the time is out of range"};
  }
  return ClockTime{hour, minute};
}

StoredValue StoreDate(int month, int day, int year) {
  return StoreU32LE(static_cast<uint32_t>(DateToDayCount(month, day, year)));
}

StoredValue StoreTime(int hour, int minute, int second) {
  return {static_cast<uint8_t>(second), static_cast<uint8_t>(minute), static_cast<uint8_t>(hour), 0};
}

}  // namespace qv
