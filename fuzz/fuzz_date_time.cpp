// The date and time parsers and renderers, and the cell readers built on
// them, on arbitrary text and stored values. Every date of the handheld's
// calendar and every minute of a day, rendered in a valid format, must
// parse back to itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fields/cell_parse.h"
#include "fields/date_time.h"
#include "fields/text_utils.h"
#include "fuzz_support.h"

namespace {

void CheckDateRoundTrip(uint32_t dayCount, int dateFormat) {
  const qv::PackedDate date = qv::DayCountToDate(dayCount);
  const int year = date.yearSince1904 + 1904;
  const std::string text = qv::FormatDate(date.month, date.day, year, dateFormat);
  const qv::CalendarDate parsed = qv::ParseDate(text, dateFormat);
  const uint32_t back =
      static_cast<uint32_t>(qv::DateToDayCount(parsed.month, parsed.day, parsed.year));
  // Day 0 and the days that render as the empty date both read back as 0.
  QV_FUZZ_CHECK(back == dayCount || (dayCount == 0 && text == qv::kNoDateText));
}

void CheckTimeRoundTrip(int hour, int minute, int timeFormat) {
  const std::string text = qv::FormatTime(qv::StoreTime(hour, minute, 0), timeFormat);
  const qv::Result<qv::ClockTime> parsed = qv::ParseTime(text, timeFormat);
  QV_FUZZ_CHECK(parsed.ok());
  QV_FUZZ_CHECK(parsed->hour == hour && parsed->minute == minute);
}

// What a cell reader stores is always a value the field can hold.
void CheckCellReaders(const std::string& text, int dateFormat, int timeFormat, int subKind) {
  const auto date = qv::ParseDateCell(text, dateFormat);
  const uint32_t day = static_cast<uint32_t>(date.stored[0]) | (date.stored[1] << 8) |
                       (static_cast<uint32_t>(date.stored[2]) << 16) |
                       (static_cast<uint32_t>(date.stored[3]) << 24);
  QV_FUZZ_CHECK(day <= 46751);
  const auto time = qv::ParseTimeCell(text, timeFormat);
  QV_FUZZ_CHECK(time.stored[2] == 255 || (time.stored[2] <= 23 && time.stored[1] <= 59 &&
                                          time.stored[0] <= 59 && time.stored[3] == 0));
  QV_FUZZ_CHECK(qv::ParseCheckBoxCell(text).stored <= 1);
  QV_FUZZ_CHECK(qv::ParseIntegerCell(text).stored == qv::ParseDecimal(text));
  QV_FUZZ_CHECK(qv::ParseShortTextCell(text).stored.size() <= qv::kShortTextLimit);
  QV_FUZZ_CHECK(qv::ParseSubKindCell(text, subKind, dateFormat, timeFormat).stored.size() <=
                qv::kShortTextLimit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int dateFormat = input.ConsumeIntegralInRange<int>(-2, 8);
  const int timeFormat = input.ConsumeIntegralInRange<int>(-2, 6);
  qv::StoredValue stored{};
  for (uint8_t& byte : stored) byte = input.ConsumeIntegral<uint8_t>();
  const int32_t seconds = input.ConsumeIntegral<int32_t>();
  const uint32_t dayInCalendar = input.ConsumeIntegralInRange<uint32_t>(0, 46750);
  const int hour = input.ConsumeIntegralInRange<int>(0, 23);
  const int minute = input.ConsumeIntegralInRange<int>(0, 59);
  const std::string text = input.ConsumeRemainingBytesAsString();

  (void)qv::FormatStoredDate(stored, dateFormat);
  (void)qv::FormatTime(stored, timeFormat);
  (void)qv::FormatSeconds(seconds, timeFormat);
  const qv::CalendarDate date = qv::ParseDate(text, dateFormat);
  QV_FUZZ_CHECK(date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31);
  (void)qv::StoreDate(date.month, date.day, date.year);
  const qv::Result<qv::ClockTime> time = qv::ParseTime(text, timeFormat);
  if (time && time->hour != 255) {
    QV_FUZZ_CHECK(time->hour >= 0 && time->hour <= 23 && time->minute >= 0 && time->minute <= 59);
  }
  CheckCellReaders(text, dateFormat, timeFormat, static_cast<int>(size % 8));
  if (const auto piece = qv::TextPiece(text, static_cast<int>(size % 5), ',')) {
    QV_FUZZ_CHECK(piece->find(',') == std::string_view::npos);
  }

  if (dateFormat >= 0 && dateFormat <= 6) CheckDateRoundTrip(dayInCalendar, dateFormat);
  if (timeFormat >= 0 && timeFormat <= 4) CheckTimeRoundTrip(hour, minute, timeFormat);
  return 0;
}
