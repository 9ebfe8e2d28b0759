// Counting data lines and deriving field definitions from CSV lines.
#pragma once

#include <vector>

#include "csv/csv_reader.h"
#include "pdb/master_record.h"

namespace qv {

// Data lines: every line, less the name line when `fieldNames` is set.
int GetNumberOfRecords(const std::vector<CsvLine>& lines, bool fieldNames);

// Longest field k over the data lines, or -1 when there is none.
int GetLongestValue(const std::vector<CsvLine>& lines, int k, bool fieldNames);

// Gives the first line's C columns text fields (long text past 244
// characters), their names when `fieldNames` is set, and maxLength of the
// longest value + 10. `record` must hold the defaults. The caller refuses a
// first line of more than 30 fields beforehand.
void InferFieldsFromCsv(const std::vector<CsvLine>& lines, bool fieldNames, MasterRecord& record);

}  // namespace qv
