// One CSV cell read into the value its field stores; see cell_parse.h.
#include "fields/cell_parse.h"

#include <array>
#include <limits>

#include "fields/text_utils.h"
#include "pdb/byte_io.h"
#include "pdb/format.h"

namespace qv {
namespace {

constexpr size_t kQuotedCellMax = 40;
// The largest hour a stored number of seconds shows as: 255 is "No Time".
constexpr int kLongestDurationHour = 254;
constexpr int32_t kNoTimeSeconds = kNoTimeHour * 3600;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A run of 1 to maxDigits digits at text[at]; its value, and `at` moved
// past it. Nothing (at unchanged) when there are no digits or too many.
std::optional<int> ReadNumber(std::string_view text, size_t& at, size_t maxDigits,
                              size_t* digits = nullptr) {
  size_t end = at;
  int value = 0;
  while (end < text.size() && IsDigit(text[end])) {
    if (end - at == maxDigits) return std::nullopt;
    value = value * 10 + (text[end] - '0');
    ++end;
  }
  if (end == at) return std::nullopt;
  if (digits != nullptr) *digits = end - at;
  at = end;
  return value;
}

bool ReadByte(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// What follows a date or time: nothing, or white space and more text (the
// value stands, with a reason). Anything else makes the cell no value.
enum class Rest { kNone, kExtraText, kNotAValue };

Rest RestAt(std::string_view text, size_t at) {
  if (at == text.size()) return Rest::kNone;
  return IsBlank(text[at]) ? Rest::kExtraText : Rest::kNotAValue;
}

std::string Reason(std::string_view cell, std::string_view why, std::string_view stored) {
  std::string reason = QuoteCell(cell);
  reason += ' ';
  reason += why;
  reason += "; stored as ";
  reason += stored;
  return reason;
}

// Messages show values in the format the export would use; a format out
// of range reads as 0 here as it does in the parsers.
int KnownDateFormat(int dateFormat) {
  return (dateFormat >= 0 && dateFormat <= 6) ? dateFormat : 0;
}
int KnownTimeFormat(int timeFormat) {
  return (timeFormat >= 0 && timeFormat <= 4) ? timeFormat : 0;
}

// ---- dates ----

enum class DateStatus { kNoDate, kDate, kExtraText, kNotADate, kOutOfRange, kDayZero };

struct DateReading {
  DateStatus status = DateStatus::kNoDate;
  int month = 1;
  int day = 1;
  int year = kFirstCalendarYear;
  int32_t dayCount = 0;  // of the date read, for kDate and kExtraText
};

// A run of 1-4 digits at text[at]: its value in `value`, `at` moved past
// it, and the number of digits; 0 (at unchanged) when there are no digits
// or more than 4.
size_t ReadDatePiece(std::string_view text, size_t& at, int& value) {
  size_t digits = 0;
  int number = 0;
  while (at + digits < text.size()) {
    const unsigned digit =
        static_cast<unsigned char>(text[at + digits]) - static_cast<unsigned>('0');
    if (digit > 9) break;
    if (digits == 4) return 0;
    number = number * 10 + static_cast<int>(digit);
    ++digits;
  }
  if (digits != 0) {
    value = number;
    at += digits;
  }
  return digits;
}

DateReading ReadDate(std::string_view cell, int dateFormat) {
  DateReading date;
  const std::string_view text = Trim(cell);
  if (text.empty() || EqualsNoCase(text, kNoDateText)) return date;
  date.status = DateStatus::kNotADate;
  // Three runs of 1-4 digits joined by one separator. ISO 8601 first: a
  // four-digit year before a '-' is never a day or a month; otherwise the
  // separator is the format's own.
  int value[3] = {0, 0, 0};
  size_t digits[3] = {0, 0, 0};
  size_t at = 0;
  digits[0] = ReadDatePiece(text, at, value[0]);
  if (digits[0] == 0 || at == text.size()) return date;
  DateLayout layout = DateLayoutOf(dateFormat);
  const char separator = text[at];
  if (separator == '-' && digits[0] == 4) {
    layout = {DateOrder::kYearMonthDay, '-'};
  } else if (separator != layout.separator) {
    return date;
  }
  for (int i = 1; i < 3; ++i) {
    if (at >= text.size() || text[at] != separator) return date;
    ++at;
    digits[i] = ReadDatePiece(text, at, value[i]);
    if (digits[i] == 0) return date;
  }
  const Rest rest = RestAt(text, at);
  if (rest == Rest::kNotAValue) return date;
  int order[3] = {0, 1, 2};  // positions of month, day, year
  if (layout.order == DateOrder::kDayMonthYear) order[0] = 1, order[1] = 0;
  if (layout.order == DateOrder::kYearMonthDay) order[0] = 1, order[1] = 2, order[2] = 0;
  if (digits[order[0]] > 2 || digits[order[1]] > 2) return date;
  int year = value[order[2]];
  if (digits[order[2]] <= 2) year += year <= kLastCalendarYear % 100 ? 2000 : 1900;
  const int month = value[order[0]];
  const int day = value[order[1]];
  const bool realMonth = month >= 1 && month <= 12;
  if (realMonth && (year < kFirstCalendarYear || year > kLastCalendarYear)) {
    date.status = DateStatus::kOutOfRange;
    return date;
  }
  if (day < 1 || day > DaysInMonth(month, year)) return date;  // 0 days in a month that is not
  const int32_t dayCount = DateToDayCount(month, day, year);
  if (dayCount == 0) {
    date.status = DateStatus::kDayZero;
    return date;
  }
  date = {rest == Rest::kExtraText ? DateStatus::kExtraText : DateStatus::kDate, month, day, year,
          dayCount};
  return date;
}

// The day count a date cell stores, and the reason.
CellValue<int32_t> DateCellDayCount(std::string_view cell, int dateFormat) {
  constexpr std::string_view noDate = "no date";
  const DateReading date = ReadDate(cell, dateFormat);
  CellValue<int32_t> result;
  switch (date.status) {
    case DateStatus::kNoDate:
      break;
    case DateStatus::kDate:
      result.stored = date.dayCount;
      break;
    case DateStatus::kExtraText: {
      result.stored = date.dayCount;
      const int format = KnownDateFormat(dateFormat);
      result.warning = Reason(cell, "holds more than a date",
                              FormatDate(date.month, date.day, date.year, format));
      break;
    }
    case DateStatus::kNotADate:
      result.warning = Reason(cell, "is not a date", noDate);
      break;
    case DateStatus::kOutOfRange:
      result.warning = Reason(cell, "is outside the years 1904-2031", noDate);
      break;
    case DateStatus::kDayZero:
      result.warning = Reason(cell, "is the day the handheld shows as no date", noDate);
      break;
  }
  return result;
}

// ---- times ----

enum class TimeStatus { kNoTime, kTime, kExtraText, kNotATime };

struct TimeReading {
  TimeStatus status = TimeStatus::kNoTime;
  int hour = kNoTimeHour;
  int minute = 0;
  int second = 0;
};

enum class Meridiem { kNone, kAm, kPm };

// "am", "pm", "a.m." or "p.m." in any letter case at text[at], `at` moved
// past it. Read byte by byte: the first letter, then "m" or ".m.".
Meridiem ReadMeridiem(std::string_view text, size_t& at) {
  const auto fold = [&text](size_t i) {
    const char c = i < text.size() ? text[i] : '\0';
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  const char first = fold(at);
  if (first != 'a' && first != 'p') return Meridiem::kNone;
  const Meridiem meridiem = first == 'a' ? Meridiem::kAm : Meridiem::kPm;
  if (fold(at + 1) == 'm') {
    at += 2;
    return meridiem;
  }
  if (fold(at + 1) == '.' && fold(at + 2) == 'm' && fold(at + 3) == '.') {
    at += 4;
    return meridiem;
  }
  return Meridiem::kNone;
}

// The 24-hour hour of a 12-hour reading, as FormatTime shows hours: 12 am
// is 0, 12 pm is 12, 1-11 pm add 12; hours past 12 (durations) add 12 in
// the afternoon only. -1 when the export never shows that hour so.
int TwentyFourHour(int hour, Meridiem meridiem, int maxHour) {
  if (meridiem == Meridiem::kAm) {
    if (hour == 12) return 0;
    return hour <= 11 ? hour : -1;
  }
  if (hour == 0) return -1;
  const int result = hour == 12 ? 12 : hour + 12;
  return result <= maxHour ? result : -1;
}

// A time with hours up to `maxHour` (23 for a time, more for a duration).
// A lone hour ("7", "7 pm") is on the hour.
TimeReading ReadTime(std::string_view cell, int timeFormat, int maxHour) {
  TimeReading time;
  const std::string_view text = Trim(cell);
  if (text.empty() || EqualsNoCase(text, kNoTimeText)) return time;
  time.status = TimeStatus::kNotATime;
  size_t at = 0;
  const std::optional<int> hour = ReadNumber(text, at, maxHour > 99 ? 3 : 2);
  if (!hour) return time;
  std::optional<int> minute = 0;
  std::optional<int> second = 0;
  if (at < text.size() && (text[at] == ':' || text[at] == TimeLayoutOf(timeFormat).separator)) {
    const char separator = text[at++];
    minute = ReadNumber(text, at, 2);
    if (minute && ReadByte(text, at, separator)) second = ReadNumber(text, at, 2);
    if (!minute || !second) return time;
  }
  size_t markAt = at;
  while (markAt < text.size() && text[markAt] == ' ') ++markAt;
  const Meridiem meridiem = ReadMeridiem(text, markAt);
  if (meridiem != Meridiem::kNone) at = markAt;
  const Rest rest = RestAt(text, at);
  if (rest == Rest::kNotAValue) return time;
  const int hour24 =
      meridiem == Meridiem::kNone ? *hour : TwentyFourHour(*hour, meridiem, maxHour);
  if (hour24 < 0 || hour24 > maxHour || *minute > 59 || *second > 59) return time;
  time = {rest == Rest::kExtraText ? TimeStatus::kExtraText : TimeStatus::kTime, hour24, *minute,
          *second};
  return time;
}

std::string DecimalText(int32_t value) { return std::to_string(value); }

}  // namespace

CellValue<int32_t> ParseDateCellDays(std::string_view cell, int dateFormat) {
  return DateCellDayCount(cell, dateFormat);
}

CellValue<StoredValue> ParseDateCell(std::string_view cell, int dateFormat) {
  const CellValue<int32_t> day = DateCellDayCount(cell, dateFormat);
  return {StoreU32LE(static_cast<uint32_t>(day.stored)), day.warning};
}

CellValue<StoredValue> ParseTimeCell(std::string_view cell, int timeFormat) {
  const TimeReading time = ReadTime(cell, timeFormat, 23);
  CellValue<StoredValue> result;
  result.stored = StoreTime(time.hour, time.minute, time.second);
  if (time.status == TimeStatus::kNotATime) {
    result.warning = Reason(cell, "is not a time", "no time");
  } else if (time.status == TimeStatus::kExtraText) {
    result.warning = Reason(cell, "holds more than a time",
                            FormatTime(result.stored, KnownTimeFormat(timeFormat)));
  }
  return result;
}

CellValue<uint8_t> ParseCheckBoxCell(std::string_view cell) {
  static constexpr std::array<std::string_view, 4> kUnchecked = {"0", "false", "no", "off"};
  static constexpr std::array<std::string_view, 5> kChecked = {"1", "true", "yes", "on", "x"};
  const std::string_view text = Trim(cell);
  CellValue<uint8_t> result;
  if (text.empty()) return result;
  for (std::string_view word : kUnchecked) {
    if (EqualsNoCase(text, word)) return result;
  }
  result.stored = 1;
  for (std::string_view word : kChecked) {
    if (EqualsNoCase(text, word)) return result;
  }
  result.warning = Reason(cell, "is not a check box value", "checked");
  return result;
}

CellValue<int32_t> ParseIntegerCell(std::string_view cell) {
  // One pass that yields what ParseDecimal reads (blanks, a sign, then
  // digits up to the first other byte, held at the 32-bit limit) and tells
  // whether the whole trimmed cell is such a number.
  CellValue<int32_t> result;
  const size_t size = cell.size();
  size_t at = 0;
  while (at < size && IsBlank(cell[at])) ++at;
  if (at == size) return result;
  const bool negative = cell[at] == '-';
  if (negative || cell[at] == '+') ++at;
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  const size_t firstDigit = at;
  int64_t magnitude = 0;
  bool beyond = false;
  for (; at < size; ++at) {
    const unsigned digit = static_cast<unsigned char>(cell[at]) - static_cast<unsigned>('0');
    if (digit > 9) break;
    // Held at the limit, so long runs cannot overflow.
    magnitude = magnitude * 10 + digit;
    if (magnitude > limit) {
      magnitude = limit;
      beyond = true;
    }
  }
  result.stored = static_cast<int32_t>(negative ? -magnitude : magnitude);
  const bool digits = at > firstDigit;
  while (at < size && IsBlank(cell[at])) ++at;
  if (!digits || at < size) {
    result.warning = Reason(cell, "is not a whole number", DecimalText(result.stored));
  } else if (beyond) {
    result.warning = Reason(cell, "does not fit 32 bits", DecimalText(result.stored));
  }
  return result;
}

CellValue<std::string> ParseShortTextCell(std::string_view cell) {
  CellValue<std::string> result;
  result.stored.assign(cell.substr(0, kShortTextLimit));
  if (cell.size() > kShortTextLimit) {
    const std::string why = Format("is longer than %zu characters", kShortTextLimit);
    result.warning = Reason(cell, why, QuoteCell(result.stored));
  }
  return result;
}

CellValue<std::string> ParseSubKindCell(std::string_view cell, int subKind, int dateFormat,
                                        int timeFormat) {
  if (subKind != 2 && subKind != 3) return ParseShortTextCell(cell);
  CellValue<std::string> result;
  const std::string_view text = Trim(cell);
  if (text.empty()) return result;
  if (subKind == 3) {
    const CellValue<int32_t> day = DateCellDayCount(cell, dateFormat);
    return {DecimalText(day.stored), day.warning};
  }
  if (EqualsNoCase(text, kNoTimeText)) {
    result.stored = DecimalText(kNoTimeSeconds);
    return result;
  }
  const TimeReading time = ReadTime(cell, timeFormat, kLongestDurationHour);
  if (time.status == TimeStatus::kNotATime) {
    result.warning = Reason(cell, "is not a time", "no value");
    return result;
  }
  const int32_t seconds = time.hour * 3600 + time.minute * 60 + time.second;
  result.stored = DecimalText(seconds);
  if (time.status == TimeStatus::kExtraText) {
    result.warning = Reason(cell, "holds more than a time",
                            FormatSeconds(seconds, KnownTimeFormat(timeFormat)));
  }
  return result;
}

std::string QuoteCell(std::string_view cell) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string quoted = "\"";
  const std::string_view shown = cell.substr(0, kQuotedCellMax);
  for (const char c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xF];
    } else {
      quoted += c;
    }
  }
  if (cell.size() > kQuotedCellMax) quoted += "...";
  quoted += '"';
  return quoted;
}

}  // namespace qv
