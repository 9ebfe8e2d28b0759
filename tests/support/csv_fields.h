// The fields of one line of a CsvTable as strings, for comparing with
// expected values.
#pragma once

#include <string>
#include <vector>

#include "csv/csv_reader.h"

namespace qv::testing {

inline std::vector<std::string> LineFields(const CsvTable& table, size_t line) {
  std::vector<std::string> fields;
  for (int k = 0; k < table.fieldCount(line); ++k) {
    fields.emplace_back(table.Field(line, static_cast<size_t>(k)));
  }
  return fields;
}

}  // namespace qv::testing
