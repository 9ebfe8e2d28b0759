// CSV cells read into stored values: one table per field type of cell,
// stored value and reason, and the round trip from what the export shows.
#include "fields/cell_parse.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fields/record_layout.h"
#include "fields/text_utils.h"
#include "support/db_builder.h"

namespace qv {
namespace {

// A stored date as YYYY-MM-DD ("NO DATE" for day 0).
std::string IsoDate(const StoredValue& stored) { return FormatStoredDate(stored, 6); }

// A stored time as HH:MM:SS with its seconds, or "No Time".
std::string ClockText(const StoredValue& stored) {
  if (stored[2] == 255) return "No Time";
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", stored[2], stored[1], stored[0]);
  return text;
}

template <typename T>
std::string WarningOf(const CellValue<T>& value) {
  return value.warning.value_or("");
}

struct DateRow {
  int format;
  const char* cell;
  const char* stored;  // as YYYY-MM-DD
  const char* warning;
};

TEST(CellParse, Dates) {
  const DateRow rows[] = {
      {0, "", "NO DATE", ""},
      {3, " no date ", "NO DATE", ""},
      {0, "03/14/2024", "2024-03-14", ""},
      {0, " 3/4/2024 ", "2024-03-04", ""},
      // Two-digit years: 00-31 this century, 32-99 the last.
      {0, "03/14/24", "2024-03-14", ""},
      {0, "01/01/00", "2000-01-01", ""},
      {0, "12/31/31", "2031-12-31", ""},
      {0, "01/01/32", "1932-01-01", ""},
      {0, "12/25/99", "1999-12-25", ""},
      {1, "14/03/2024", "2024-03-14", ""},
      {2, "14.03.24", "2024-03-14", ""},
      {3, "14-03-2024", "2024-03-14", ""},
      {4, "2024/03/14", "2024-03-14", ""},
      {5, "2024.03.14", "2024-03-14", ""},
      {6, "24-03-14", "2024-03-14", ""},
      {6, "2024-3-7", "2024-03-07", ""},
      {9, "03/14/2024", "2024-03-14", ""},
      // ISO 8601 in formats whose own order differs.
      {0, "2024-03-14", "2024-03-14", ""},
      {1, "2024-03-14", "2024-03-14", ""},
      {3, "2024-03-14", "2024-03-14", ""},
      {4, "2024-12-01", "2024-12-01", ""},
      // Calendar edges: every fourth year is a leap year, 1904-2031.
      {0, "02/29/2024", "2024-02-29", ""},
      {0, "02/29/2000", "2000-02-29", ""},
      {0, "01/02/1904", "1904-01-02", ""},
      {0, "12/31/2031", "2031-12-31", ""},
      {0, "02/29/2023", "NO DATE", "\"02/29/2023\" is not a date; stored as no date"},
      {0, "02/30/2024", "NO DATE", "\"02/30/2024\" is not a date; stored as no date"},
      {0, "04/31/2024", "NO DATE", "\"04/31/2024\" is not a date; stored as no date"},
      {0, "13/01/2024", "NO DATE", "\"13/01/2024\" is not a date; stored as no date"},
      {0, "00/10/2024", "NO DATE", "\"00/10/2024\" is not a date; stored as no date"},
      {0, "10/00/2024", "NO DATE", "\"10/00/2024\" is not a date; stored as no date"},
      {1, "03/14/2024", "NO DATE", "\"03/14/2024\" is not a date; stored as no date"},
      {0, "01/01/2032", "NO DATE",
       "\"01/01/2032\" is outside the years 1904-2031; stored as no date"},
      {0, "12/25/2040", "NO DATE",
       "\"12/25/2040\" is outside the years 1904-2031; stored as no date"},
      {0, "12/31/1903", "NO DATE",
       "\"12/31/1903\" is outside the years 1904-2031; stored as no date"},
      {0, "01/01/0024", "NO DATE",
       "\"01/01/0024\" is outside the years 1904-2031; stored as no date"},
      {0, "01/01/1904", "NO DATE",
       "\"01/01/1904\" is the day the handheld shows as no date; stored as no date"},
      // Not dates at all.
      {0, "2024/03/14", "NO DATE", "\"2024/03/14\" is not a date; stored as no date"},
      {0, "03/14", "NO DATE", "\"03/14\" is not a date; stored as no date"},
      {0, "03//14/2024", "NO DATE", "\"03//14/2024\" is not a date; stored as no date"},
      {0, "03/14/20245", "NO DATE", "\"03/14/20245\" is not a date; stored as no date"},
      {0, "03/14/2024x", "NO DATE", "\"03/14/2024x\" is not a date; stored as no date"},
      {0, "-3/14/2024", "NO DATE", "\"-3/14/2024\" is not a date; stored as no date"},
      {0, "tomorrow", "NO DATE", "\"tomorrow\" is not a date; stored as no date"},
      {0, "NO DATE yet", "NO DATE", "\"NO DATE yet\" is not a date; stored as no date"},
      {0, "24-03-14", "NO DATE", "\"24-03-14\" is not a date; stored as no date"},
      {0, "2024-03/14", "NO DATE", "\"2024-03/14\" is not a date; stored as no date"},
      {3, "2024-03", "NO DATE", "\"2024-03\" is not a date; stored as no date"},
      {0, "12345/01/01", "NO DATE", "\"12345/01/01\" is not a date; stored as no date"},
      {0, "03/14/", "NO DATE", "\"03/14/\" is not a date; stored as no date"},
      // A date with more after it keeps the date and says what was dropped.
      {0, "03/14/2024 10:00", "2024-03-14",
       "\"03/14/2024 10:00\" holds more than a date; stored as 03/14/2024"},
      {2, "2024-03-14 10:00", "2024-03-14",
       "\"2024-03-14 10:00\" holds more than a date; stored as 14.03.2024"},
  };
  for (const DateRow& row : rows) {
    const CellValue<StoredValue> value = ParseDateCell(row.cell, row.format);
    EXPECT_EQ(IsoDate(value.stored), row.stored) << row.cell << " format " << row.format;
    EXPECT_EQ(WarningOf(value), row.warning) << row.cell << " format " << row.format;
    // The day count entry point reads the same value and reason.
    const CellValue<int32_t> days = ParseDateCellDays(row.cell, row.format);
    const StoredValue& b = value.stored;
    EXPECT_EQ(static_cast<uint32_t>(days.stored),
              b[0] | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24)
        << row.cell;
    EXPECT_EQ(WarningOf(days), row.warning) << row.cell;
  }
}

TEST(CellParse, EveryExportedDateReadsBackInItsFormat) {
  for (int format = 0; format <= 6; ++format) {
    for (uint32_t count = 0; count <= 46751; ++count) {
      const StoredValue stored{static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), 0, 0};
      const CellValue<StoredValue> value = ParseDateCell(FormatStoredDate(stored, format), format);
      ASSERT_EQ(value.stored, stored) << count << " format " << format;
      ASSERT_FALSE(value.warning) << *value.warning;
    }
  }
}

struct TimeRow {
  int format;
  const char* cell;
  const char* stored;  // as HH:MM:SS
  const char* warning;
};

TEST(CellParse, Times) {
  const TimeRow rows[] = {
      {0, "", "No Time", ""},
      {1, " no time ", "No Time", ""},
      // Without am/pm the hour is a 24-hour one in every format.
      {0, "14:30", "14:30:00", ""},
      {0, "12:30", "12:30:00", ""},
      {0, "00:05", "00:05:00", ""},
      {1, "14:30", "14:30:00", ""},
      {2, "14.30", "14:30:00", ""},
      {3, "14.30", "14:30:00", ""},
      {4, "14,30", "14:30:00", ""},
      {3, "14:30", "14:30:00", ""},
      {1, "7:05", "07:05:00", ""},
      {1, "7", "07:00:00", ""},
      {1, "14:30:15", "14:30:15", ""},
      {7, "23:59", "23:59:00", ""},
      // am and pm in every format and letter case.
      {0, "12:30 am", "00:30:00", ""},
      {0, "12:30 pm", "12:30:00", ""},
      {0, "11:59 pm", "23:59:00", ""},
      {0, "07:45 PM", "19:45:00", ""},
      {0, "7:45 Pm", "19:45:00", ""},
      {0, "7:45pm", "19:45:00", ""},
      {0, "7 pm", "19:00:00", ""},
      {0, "2:30 p.m.", "14:30:00", ""},
      {0, "00:30 am", "00:30:00", ""},
      {1, "07:15 pm", "19:15:00", ""},
      {2, "07.15 pm", "19:15:00", ""},
      // Impossible or not a time.
      {1, "24:00", "No Time", "\"24:00\" is not a time; stored as no time"},
      {1, "25:00", "No Time", "\"25:00\" is not a time; stored as no time"},
      {1, "10:75", "No Time", "\"10:75\" is not a time; stored as no time"},
      {1, "10:30:60", "No Time", "\"10:30:60\" is not a time; stored as no time"},
      {0, "13:00 pm", "No Time", "\"13:00 pm\" is not a time; stored as no time"},
      {0, "13:00 am", "No Time", "\"13:00 am\" is not a time; stored as no time"},
      {0, "0:30 pm", "No Time", "\"0:30 pm\" is not a time; stored as no time"},
      {1, "14.30", "No Time", "\"14.30\" is not a time; stored as no time"},
      {1, "14:", "No Time", "\"14:\" is not a time; stored as no time"},
      {1, "-1:00", "No Time", "\"-1:00\" is not a time; stored as no time"},
      {1, "14:30pmx", "No Time", "\"14:30pmx\" is not a time; stored as no time"},
      {1, "noon", "No Time", "\"noon\" is not a time; stored as no time"},
      {1, "123:00", "No Time", "\"123:00\" is not a time; stored as no time"},
      // A time with more after it keeps the time and says what was dropped.
      {0, "14:30 Uhr", "14:30:00", "\"14:30 Uhr\" holds more than a time; stored as 02:30 pm"},
      {1, "7:45 pm CET", "19:45:00", "\"7:45 pm CET\" holds more than a time; stored as 19:45"},
  };
  for (const TimeRow& row : rows) {
    const CellValue<StoredValue> value = ParseTimeCell(row.cell, row.format);
    EXPECT_EQ(ClockText(value.stored), row.stored) << row.cell << " format " << row.format;
    EXPECT_EQ(value.stored[3], 0) << row.cell;
    EXPECT_EQ(WarningOf(value), row.warning) << row.cell << " format " << row.format;
  }
}

TEST(CellParse, EveryExportedTimeReadsBackInItsFormat) {
  for (int format = 0; format <= 4; ++format) {
    for (int hour = 0; hour < 24; ++hour) {
      for (int minute = 0; minute < 60; ++minute) {
        const StoredValue stored = StoreTime(hour, minute, 0);
        const CellValue<StoredValue> value = ParseTimeCell(FormatTime(stored, format), format);
        ASSERT_EQ(value.stored, stored) << FormatTime(stored, format) << " format " << format;
        ASSERT_FALSE(value.warning);
      }
    }
  }
}

TEST(CellParse, CheckBoxes) {
  const struct {
    const char* cell;
    uint8_t stored;
    const char* warning;
  } rows[] = {
      {"", 0, ""},        {"0", 0, ""},     {"false", 0, ""}, {"FALSE", 0, ""},
      {"No", 0, ""},      {"off", 0, ""},   {" 0 ", 0, ""},   {"1", 1, ""},
      {"TRUE", 1, ""},    {"yes", 1, ""},   {"On", 1, ""},    {"x", 1, ""},
      {"X", 1, ""},       {"  ", 0, ""},
      {"0.0", 1, "\"0.0\" is not a check box value; stored as checked"},
      {"-1", 1, "\"-1\" is not a check box value; stored as checked"},
      {"maybe", 1, "\"maybe\" is not a check box value; stored as checked"},
      {"nope", 1, "\"nope\" is not a check box value; stored as checked"},
  };
  for (const auto& row : rows) {
    const CellValue<uint8_t> value = ParseCheckBoxCell(row.cell);
    EXPECT_EQ(value.stored, row.stored) << row.cell;
    EXPECT_EQ(WarningOf(value), row.warning) << row.cell;
  }
}

TEST(CellParse, Integers) {
  const struct {
    const char* cell;
    int32_t stored;
    const char* warning;
  } rows[] = {
      {"", 0, ""},
      {"   ", 0, ""},
      {"42", 42, ""},
      {" -17 ", -17, ""},
      {"+5", 5, ""},
      {"007", 7, ""},
      {"2147483647", 2147483647, ""},
      {"-2147483648", -2147483647 - 1, ""},
      {"00000000000000000000012", 12, ""},
      {"2147483648", 2147483647, "\"2147483648\" does not fit 32 bits; stored as 2147483647"},
      {"3000000000", 2147483647, "\"3000000000\" does not fit 32 bits; stored as 2147483647"},
      {"-2147483649", -2147483647 - 1,
       "\"-2147483649\" does not fit 32 bits; stored as -2147483648"},
      {"99999999999999999999999", 2147483647,
       "\"99999999999999999999999\" does not fit 32 bits; stored as 2147483647"},
      {"twelve", 0, "\"twelve\" is not a whole number; stored as 0"},
      {"12.5", 12, "\"12.5\" is not a whole number; stored as 12"},
      {"1e3", 1, "\"1e3\" is not a whole number; stored as 1"},
      {"1 000", 1, "\"1 000\" is not a whole number; stored as 1"},
      {"-", 0, "\"-\" is not a whole number; stored as 0"},
      {"+-5", 0, "\"+-5\" is not a whole number; stored as 0"},
      {"99999999999x", 2147483647, "\"99999999999x\" is not a whole number; stored as 2147483647"},
      {"- 5", 0, "\"- 5\" is not a whole number; stored as 0"},
      {"\t-0012\r\n", -12, ""},
  };
  for (const auto& row : rows) {
    const CellValue<int32_t> value = ParseIntegerCell(row.cell);
    EXPECT_EQ(value.stored, row.stored) << row.cell;
    // What is stored is what the import has always stored.
    EXPECT_EQ(value.stored, ParseDecimal(row.cell)) << row.cell;
    EXPECT_EQ(WarningOf(value), row.warning) << row.cell;
  }
}

TEST(CellParse, ShortTextsAndQuoting) {
  const struct {
    std::string cell;
    const char* stored;
    const char* warning;
  } rows[] = {
      {"", "", ""},
      {" Blueberr ", " Blueberr",
       "\" Blueberr \" is longer than 9 characters; stored as \" Blueberr\""},
      {"Blueberri", "Blueberri", ""},
      {"Blueberries", "Blueberri",
       "\"Blueberries\" is longer than 9 characters; stored as \"Blueberri\""},
      {"a\nb\tc\x01\x7F\xE9xyz", "a\nb\tc\x01\x7F\xE9x",
       "\"a\\nb\\tc\\x01\\x7F\xE9xyz\" is longer than 9 characters; stored as "
       "\"a\\nb\\tc\\x01\\x7F\xE9x\""},
  };
  for (const auto& row : rows) {
    const CellValue<std::string> value = ParseShortTextCell(row.cell);
    EXPECT_EQ(value.stored, row.stored) << row.cell;
    EXPECT_EQ(WarningOf(value), row.warning) << row.cell;
  }
  EXPECT_EQ(QuoteCell(std::string(41, 'a')), "\"" + std::string(40, 'a') + "...\"");
  EXPECT_EQ(QuoteCell(std::string(40, 'a')), "\"" + std::string(40, 'a') + "\"");
}

TEST(CellParse, SubKindFields) {
  const struct {
    int subKind;
    int timeFormat;
    const char* cell;
    const char* stored;
    const char* warning;
  } rows[] = {
      // A number of seconds shown as a time, hours beyond a day included.
      {2, 1, "", "", ""},
      {2, 1, "01:01", "3660", ""},
      {2, 1, "25:01", "90060", ""},
      {2, 1, "254:59", "917940", ""},
      {2, 1, "No Time", "918000", ""},
      {2, 0, "01:01 am", "3660", ""},
      {2, 0, "12:00 am", "0", ""},
      {2, 0, "12:00 pm", "43200", ""},
      {2, 0, "01:00 pm", "46800", ""},
      {2, 0, "13:00 pm", "90000", ""},
      {2, 1, "255:00", "", "\"255:00\" is not a time; stored as no value"},
      {2, 0, "13:00 am", "", "\"13:00 am\" is not a time; stored as no value"},
      {2, 1, "soon", "", "\"soon\" is not a time; stored as no value"},
      {2, 1, "01:01 later", "3660", "\"01:01 later\" holds more than a time; stored as 01:01"},
      // A day count shown as a date (date format 0 throughout).
      {3, 0, "", "", ""},
      {3, 0, "NO DATE", "0", ""},
      {3, 0, "01/02/1904", "1", ""},
      {3, 0, "2000-02-29", "35123", ""},
      {3, 0, "12/31/2031", "46751", ""},
      {3, 0, "02/30/2024", "0", "\"02/30/2024\" is not a date; stored as no date"},
      {3, 0, "12/25/2040", "0", "\"12/25/2040\" is outside the years 1904-2031; stored as no date"},
      // Every other sub-kind is a short text.
      {0, 1, "01:01", "01:01", ""},
      {1, 1, "Blueberries", "Blueberri",
       "\"Blueberries\" is longer than 9 characters; stored as \"Blueberri\""},
      {7, 1, "abc", "abc", ""},
  };
  for (const auto& row : rows) {
    const CellValue<std::string> value = ParseSubKindCell(row.cell, row.subKind, 0, row.timeFormat);
    EXPECT_EQ(value.stored, row.stored) << row.cell << " sub-kind " << row.subKind;
    EXPECT_EQ(WarningOf(value), row.warning) << row.cell << " sub-kind " << row.subKind;
  }
}

}  // namespace
}  // namespace qv
