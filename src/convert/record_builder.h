// One CSV line to one data record, and the column that feeds each slot.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "csv/csv_reader.h"
#include "fields/field_types.h"
#include "fields/popup_list.h"
#include "pdb/byte_io.h"
#include "pdb/master_record.h"

namespace qv {

// The CSV column of `slot`: the number of used slots before it in
// columnOrder, or -1 when the slot is not in columnOrder.
int GetCsvColumn(int slot, const MasterRecord& master);

// The CSV column of every slot, as GetCsvColumn gives it.
using SlotColumns = std::array<int, kFieldSlots>;
SlotColumns GetCsvColumns(const MasterRecord& master);

struct RecordBuildContext {
  RecordBuildContext(const MasterRecord& master, int dateFormat, int timeFormat,
                     const std::array<Bytes, kFieldSlots>& popupLists);

  const MasterRecord& master;
  int dateFormat = 0;
  int timeFormat = 0;
  // The popup list of each slot as written into the new database.
  const std::array<Bytes, kFieldSlots>& popupLists;
  // For the popup slots, the lookup of a cell's choice in popupLists.
  std::array<ChoiceLookup, kFieldSlots> choices;
  // What every record shares, worked out once: the CSV column (from the
  // column order; the import may set it from the field-name line) and the entry
  // layout of each slot, and the slots up to the last used one (the end mark
  // follows them).
  SlotColumns columns{};
  std::array<EntryLayout, kFieldSlots> layouts{};
  int usedSlots = 0;
};

// Appends the record for line `line` of `lines` to `out` and returns its size in bytes.
// A text longer than one field entry can hold is cut to fit; each such cut
// adds a warning naming `lineNumber` (1-based, as in the CSV file) and the
// column to `warnings`.
int32_t BuildRecordFromCsv(const RecordBuildContext& context, const CsvTable& lines, size_t line,
                           Bytes& out, int lineNumber, std::vector<std::string>& warnings);

// The largest unique value (types 6, 10, 11) over the data lines, compared
// as unsigned 32-bit numbers; 0 when there is none.
uint32_t GetLargestUnique(const CsvTable& lines, const MasterRecord& master,
                          bool fieldNames);
// The same, with each slot's CSV column given and the data lines starting
// at `firstLine`.
uint32_t GetLargestUnique(const CsvTable& lines, const MasterRecord& master,
                          const SlotColumns& columns, size_t firstLine);

}  // namespace qv
