// Random valid databases from a seed, for property tests and benchmarks.
//
//   qv::testing::RandomDatabaseSpec spec;
//   spec.seed = 42;
//   spec.rows = 65504;
//   spec.fields = 12;
//   qv::testing::RandomDatabase db = qv::testing::MakeRandomDatabase(spec);
//   // db.file holds the database; db.password unlocks its export.
//
// The same spec always gives the same bytes. Every value drawn is one that
// an export followed by an import over the same definitions keeps exactly:
// texts use LF line ends only and hold no NUL, short texts stay within 9
// characters, dates fall in 1904-2031, times have no seconds, popup choices
// are distinct ignoring case and never contain the no-value marker. So a
// CSV exported from the database, imported with the database's definitions
// and exported again, must come out the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pdb/byte_io.h"

namespace qv::testing {

// The field types the import can write, each drawn with equal chance by
// default: text, integer, short text, popup, check box, the three unique
// integers, date, time, long text and the second text type.
std::vector<uint32_t> RoundTripFieldTypes();

struct RandomDatabaseSpec {
  uint32_t seed = 1;
  int rows = 20;                                    // data records, 0 to 65504
  int fields = 8;                                   // used slots, 1 to 30
  std::vector<uint32_t> types = RoundTripFieldTypes();  // drawn for each field
  // Leave empty slots between used ones, and show the columns in a
  // shuffled order instead of slot order.
  bool gaps = true;
  bool shuffleColumns = true;
  // Longest text drawn for the text types (short texts stay within 9).
  size_t maxTextLength = 40;
  // Fixed when set, otherwise drawn from the seed: the 20-byte record
  // prefix, the definition record's version (1 or 2), and an export
  // password (with the export permission that asks for it).
  std::optional<bool> recordPrefix;
  std::optional<int> formatVersion;
  std::optional<bool> password;
};

struct RandomDatabase {
  Bytes file;
  std::string password;  // empty when the export needs none
  int columns = 0;       // the used slots, which the CSV shows as columns
};

RandomDatabase MakeRandomDatabase(const RandomDatabaseSpec& spec);

}  // namespace qv::testing
