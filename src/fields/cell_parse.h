// One CSV cell read into the value its field stores, with the reason when
// that value is not what the cell says.
//
// A cell is the handheld bytes of one CSV field (after any UTF-8
// decoding). Every function here is pure: it never fails and never
// prints. When the stored value differs from the cell (a cut, a fallback,
// a guess), the result carries a short reason naming the cell and what
// was stored, for example
//   "02/30/2024" is not a date; stored as no date
// which the import places after "Line 12, column 3 (Due date): ".
// A cell that is stored as written carries no reason.
//
// Surrounding white space (space, tab, CR, LF, VT, FF) is ignored in
// dates, times, check boxes and numbers, never in texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fields/date_time.h"

namespace qv {

// The longest short text (types 3 and 15), in bytes, without its NUL.
inline constexpr size_t kShortTextLimit = 9;

template <typename T>
struct CellValue {
  T stored{};  // what the field stores for the cell, always usable
  // Nothing when `stored` is what the cell says; otherwise the reason.
  std::optional<std::string> warning;
};

// A date field (type 8): the stored day count, as StoreDate gives it.
//  - empty, or "NO DATE" in any letter case: no date (day 0), no reason;
//  - YYYY-MM-DD (ISO 8601) in every format, else the format's own order
//    and separator (a format outside 0-6 reads as 0); month and day have
//    1-2 digits, the year 1-4; a year of 1-2 digits is 2000-2031 for
//    00-31 and 1932-1999 for 32-99;
//  - a month or day that does not exist (13/01, 02/30), a year outside
//    1904-2031, or text that is not a date: no date, with a reason;
//  - 01/01/1904 is day 0, which the handheld shows as no date: stored as
//    such, with a reason;
//  - a date followed by white space and more text: the date, with a
//    reason (the rest is dropped).
CellValue<StoredValue> ParseDateCell(std::string_view cell, int dateFormat);
// ParseDateCell's stored value as the day count it holds.
CellValue<int32_t> ParseDateCellDays(std::string_view cell, int dateFormat);

// A time field (type 9): the stored time, as StoreTime gives it.
//  - empty, or "No Time" in any letter case: no time (hour 255), no reason;
//  - H, H:MM or H:MM:SS with the format's separator or ':', H and MM
//    with 1-2 digits; the seconds are kept. Without am/pm the hour is 0-23 in
//    every format; with "am", "pm", "a.m." or "p.m." (any letter case,
//    with or without a space before it, in every format) it is 1-12 (0
//    also for am): 12 am is after midnight, 12 pm after noon;
//  - an hour, minute or second out of range, or text that is not a time:
//    no time, with a reason;
//  - a time followed by white space and more text: the time, with a reason.
CellValue<StoredValue> ParseTimeCell(std::string_view cell, int timeFormat);

// A check box (type 5): 0 or 1. Empty, "0", "false", "no", "off" (any
// letter case) are 0 and "1", "true", "yes", "on", "x" are 1, without a
// reason; anything else is 1, with a reason.
CellValue<uint8_t> ParseCheckBoxCell(std::string_view cell);

// An integer (types 2, 6, 10, 11): the number ParseDecimal reads, as the
// import has always stored it. A cell that is not a whole number (an
// optional sign and digits only) or lies outside the signed 32-bit range
// gives a reason; an empty or blank cell is 0 without one.
CellValue<int32_t> ParseIntegerCell(std::string_view cell);

// A short text (type 3): the first kShortTextLimit bytes, with a reason
// when the cell was longer.
CellValue<std::string> ParseShortTextCell(std::string_view cell);

// The stored text of a sub-kind text field (type 15) with sub-kind
// `subKind`: the inverse of how the export shows it.
//  - sub-kind 2 (a number of seconds shown as a time): a time as
//    ParseTimeCell reads it, but with hours up to 254 (the export shows
//    durations beyond a day, "25:01", and "01:00 pm" past 24 hours as
//    "13:00 pm"), stored as the decimal number of seconds; "No Time"
//    stores 918000 (255 hours), the smallest number shown so. Text that
//    is not a time stores the empty text, with a reason;
//  - sub-kind 3 (a day count shown as a date): a date as ParseDateCell
//    reads it, stored as the decimal day count ("NO DATE" and dates it
//    refuses store "0");
//  - for both, an empty or blank cell stores the empty text (no data,
//    which the export shows as an empty cell), without a reason;
//  - every other sub-kind: ParseShortTextCell.
// A stored text never exceeds kShortTextLimit bytes.
CellValue<std::string> ParseSubKindCell(std::string_view cell, int subKind, int dateFormat,
                                        int timeFormat);

// The cell as a reason quotes it: between double quotes, cut after 40
// bytes with "...", control bytes written as \n, \r, \t or \xNN. Other
// bytes are left as they are (handheld bytes).
std::string QuoteCell(std::string_view cell);

}  // namespace qv
