// Typed cells: the values of one data record, between reading and writing.
//
// The export decodes each data record once into a row of cells (one per
// visible column, in column order) and hands the row to a writer; the CSV
// writer renders it as one line. The import parses each CSV line into a row
// of the same cells (one per field slot) and the record builder encodes it.
//
// Contract for a writer (CSV today; any other output copies its shape):
//   - `kind` says which members hold the value; the others are zero/empty.
//   - kNone: the field has no value at all (no data in the record, an empty
//     or data-less slot, an unknown type code, a number shorter than four
//     bytes). The CSV writer renders it as the empty text.
//   - kText: `text` holds the handheld's bytes (its single-byte character
//     set, not UTF-8), without the terminating NUL. It views the record, the
//     CSV text or a scratch buffer, and is valid while the row is.
//   - kInteger, kUnique: `integer`, a signed 32-bit number. kUnique marks
//     the database-assigned unique numbers (types 6, 10, 11).
//   - kCheckBox: `checked`.
//   - kDate: `date` as year/month/day and the stored `dayCount` (days since
//     1904-01-01). `hasValue` is false for the "no date" marker.
//   - kTime: `time` as hours, minutes and seconds. `hasValue` is false for the
//     "no time" marker (stored hour 255). Hours are not reduced modulo 24:
//     a duration may show 25.
//   - kChoice: `choice`, the index in the slot's popup list, and `text`, that
//     choice's text (empty when the list has no such choice). `hasValue` is
//     false for the "no value" index (kNoChoice), `text` is then "No Value".
//   - `hasValue` is true for every kind other than kNone unless said above.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "fields/popup_list.h"  // kNoChoice

namespace qv {

enum class CellKind : uint8_t {
  kNone,
  kText,
  kInteger,
  kUnique,
  kCheckBox,
  kDate,
  kTime,
  kChoice,
};

struct CellDate {
  int year = 1904;
  int month = 1;
  int day = 1;
};

struct CellTime {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
};

struct Cell {
  CellKind kind = CellKind::kNone;
  bool hasValue = false;
  bool checked = false;
  uint8_t choice = 0;
  int32_t integer = 0;
  uint32_t dayCount = 0;
  CellDate date;
  CellTime time;
  std::string_view text;
};

// One record's (or one CSV line's) cells.
using CellRow = std::span<const Cell>;

}  // namespace qv
