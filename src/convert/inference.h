// Counting data lines and deriving field definitions from CSV lines.
#pragma once

#include <vector>

#include "csv/csv_reader.h"
#include "pdb/master_record.h"

namespace qv {

// Data lines: every line, less the name line when `fieldNames` is set.
int GetNumberOfRecords(const CsvTable& lines, bool fieldNames);

// Longest field k over the data lines, or -1 when there is none.
int GetLongestValue(const CsvTable& lines, int k, bool fieldNames);

// GetLongestValue of columns 0 to `columns` - 1, in one pass over the lines.
std::vector<int> GetLongestValues(const CsvTable& lines, int columns, bool fieldNames);

// Gives the first line's C columns text fields (long text past 244
// characters), their names when `fieldNames` is set, and maxLength of the
// longest value + 10. `record` must hold the defaults. The caller refuses a
// first line of more than 30 fields beforehand.
void InferFieldsFromCsv(const CsvTable& lines, bool fieldNames, MasterRecord& record);

}  // namespace qv
