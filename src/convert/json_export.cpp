// A database's records as JSON Lines, through the typed cells.
#include "convert/json_export.h"

#include <vector>

#include "convert/typed_writers.h"

namespace qv {

bool AppendJsonLines(const ExportDatabase& database, const ConversionOptions& options,
                     std::string& out, Console& console) {
  const std::vector<int> slots = GetVisibleSlots(database.master);
  const std::vector<std::string> names = UniqueColumnNames(database.master, slots);
  // Keys repeat on every line, so the text outgrows the records' bytes.
  out.reserve(out.size() + 2 * database.file.size());
  JsonLinesWriter writer(names, out);
  return ForEachDataRow(database, slots, options, console,
                        [&writer](CellRow row) { writer.WriteRow(row); });
}

ExportResult ExportToJsonText(ByteView file, const ConversionOptions& options, Console& console) {
  ExportResult result;
  ExportDatabase database;
  if (!LoadDatabaseForExport(file, options, database, console)) return result;
  result.loaded = true;
  result.ok = AppendJsonLines(database, options, result.csv, console);
  return result;
}

}  // namespace qv
