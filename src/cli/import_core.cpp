#include "cli/import_core.h"

#include <string>

#include "cli/record_builder.h"
#include "cli/schema.h"
#include "csv/inference.h"
#include "fields/popup_list.h"

namespace qv {

namespace {

constexpr uint8_t kEmptyList[3] = {0, 0, 0};

Bytes EmptyList() { return Bytes(std::begin(kEmptyList), std::end(kEmptyList)); }

void RefuseDefinitions(Console& console) { console.PrintError("ERROR:Setting up MasterRecord!"); }

// Header, MasterRecord and popup-list records of the database named with
// USEEXISTING. Its data records are not taken over.
bool TakeExistingDefinitions(const ImportSource& source, const ConversionOptions& options,
                             PreparedImport& prepared, Console& console) {
  if (!source.existing) {
    RefuseDefinitions(console);
    return false;
  }
  ByteView file = *source.existing;
  DatabaseHeader header;
  if (ReadDatabaseHeader(file, header) != 1) {
    RefuseDefinitions(console);
    return false;
  }
  SetHeaderName(header, options.databaseName);
  prepared.header = header;
  if (ReadMasterRecord(file, header, prepared.master) != 1) {
    RefuseDefinitions(console);
    return false;
  }
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    std::optional<ByteView> list = ReadRecord(file, static_cast<uint32_t>(slot + 1), header.recordCount);
    if (list) prepared.existingLists[slot] = Bytes(list->begin(), list->end());
  }
  prepared.fromExisting = true;
  return true;
}

bool RefuseSchema(const ImportSource& source, const std::string& error, Console& console) {
  console.PrintError("Schema file " + std::string(source.schemaName) + ": " + error);
  return false;
}

// The schema's fields on top of the defaults, in slot order; maxLength from
// the CSV where the schema leaves it empty, and each popup field's choices
// at the start of its list.
bool TakeSchemaDefinitions(const ImportSource& source, const ConversionOptions& options,
                           PreparedImport& prepared, Console& console) {
  std::string_view text = *source.schemaText;
  std::string converted;
  std::string error;
  if (options.encoding != CsvEncoding::kBytes) {
    if (!SchemaFromUtf8(text, converted, error)) return RefuseSchema(source, error, console);
    text = converted;
  }
  std::vector<SchemaField> fields;
  if (!ParseSchema(text, fields, error)) return RefuseSchema(source, error, console);
  if (!prepared.lines.empty() &&
      prepared.lines.front().fieldCount() != static_cast<int>(fields.size())) {
    console.PrintMessage(Format(
        "WARNING:The .CSV file has %d fields on its first line, but the schema defines %zu.",
        prepared.lines.front().fieldCount(), fields.size()));
  }
  ApplySchema(fields, prepared.master);
  DeriveSchemaMaxLengths(fields, prepared.lines, options.fieldNames, prepared.master);
  for (size_t slot = 0; slot < fields.size(); ++slot) {
    if (fields[slot].type == kPopup) prepared.existingLists[slot] = SchemaChoiceList(fields[slot]);
  }
  prepared.fromSchema = true;
  return true;
}

bool InferDefinitions(const ConversionOptions& options, PreparedImport& prepared,
                      Console& console) {
  if (!prepared.lines.empty() && prepared.lines.front().fieldCount() > kFieldSlots) {
    console.PrintError(Format(
        "The .CSV file has %d fields on its first line, but a database holds at most %d fields!",
        prepared.lines.front().fieldCount(), kFieldSlots));
    return false;
  }
  InferFieldsFromCsv(prepared.lines, options.fieldNames, prepared.master);
  return true;
}

// The values of CSV column `column` that feed a popup list. Collecting stops
// at the first data line too short to reach the column (a line with exactly
// `column` fields still gives the empty value), as the list has always been
// built.
std::vector<std::string_view> PopupColumnValues(const PreparedImport& prepared, int column) {
  std::vector<std::string_view> values;
  if (column < 0) return values;
  for (size_t i = prepared.firstDataLine; i < prepared.lines.size(); ++i) {
    const CsvLine& line = prepared.lines[i];
    if (line.fieldCount() < column) break;
    values.push_back(line.Field(static_cast<size_t>(column)));
  }
  return values;
}

void AppendDataRecords(const PreparedImport& prepared, const ConversionOptions& options,
                       const std::array<Bytes, kFieldSlots>& popupLists,
                       std::vector<Bytes>& records, Console& console) {
  RecordBuildContext context{prepared.master, options.dateFormat, options.timeFormat, popupLists};
  std::vector<std::string> warnings;
  // The lines were read once, up front, and counted from the same vector, so
  // every data line is there: the old "Error:Reading Line" and temporary-file
  // reopening failures have no way to occur.
  for (int k = 0; k < prepared.rowCount; ++k) {
    if (options.extraDiag) console.PrintMessage(Format("Reading CSV Line #%d", k));
    size_t index = prepared.firstDataLine + static_cast<size_t>(k);
    int lineNumber = static_cast<int>(index) + 1;
    if (options.extraDiag) console.PrintMessage(Format("Writing PDB Record #%d", k));
    Bytes record;
    warnings.clear();
    BuildRecordFromCsv(context, prepared.lines[index], record, lineNumber, warnings);
    for (const std::string& warning : warnings) console.PrintMessage("WARNING:" + warning);
    if (record.size() > kLargestHandheldRecord) {
      console.PrintMessage(Format(
          "WARNING:The record of CSV line %d is %zu bytes long; the handheld may refuse records "
          "longer than %zu bytes.",
          lineNumber, record.size(), kLargestHandheldRecord));
    }
    records.push_back(std::move(record));
  }
}

}  // namespace

std::optional<PreparedImport> PrepareImport(const ImportSource& source,
                                            const ConversionOptions& options, Console& console) {
  PreparedImport prepared;
  SetDefaultMasterRecord(prepared.master);
  prepared.header = SetNewDatabaseHeader(options.databaseName);
  console.PrintMessage("Getting Fields Information...");

  prepared.lines = ReadCsvLines(source.csvText, options.separator);
  bool good = source.useExisting  ? TakeExistingDefinitions(source, options, prepared, console)
              : source.schemaText ? TakeSchemaDefinitions(source, options, prepared, console)
                                  : InferDefinitions(options, prepared, console);
  if (!good) return std::nullopt;

  int rows = GetNumberOfRecords(prepared.lines, options.fieldNames);
  if (rows > kMaxDataRows) {
    console.PrintError(Format(
        "The .CSV file has %d data lines, but a database holds at most %d records!", rows,
        kMaxDataRows));
    return std::nullopt;
  }
  prepared.rowCount = rows;
  prepared.firstDataLine = options.fieldNames && !prepared.lines.empty() ? 1 : 0;

  // Unsigned on purpose: a largest value of 4294967295 wraps to 0 and then
  // leaves the counter alone.
  uint32_t next = GetLargestUnique(prepared.lines, prepared.master, options.fieldNames) + 1u;
  if (next > prepared.master.nextUniqueValue) prepared.master.nextUniqueValue = next;
  return prepared;
}

std::array<Bytes, kFieldSlots> BuildPopupRecords(const PreparedImport& prepared) {
  std::array<Bytes, kFieldSlots> lists;
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    const std::optional<Bytes>& old = prepared.existingLists[slot];
    const bool merged = prepared.fromExisting || prepared.fromSchema;
    if (merged && prepared.master.fields[slot].type == kPopup) {
      std::optional<ByteView> oldList;
      if (old) oldList = ByteView(*old);
      lists[slot] = BuildPopupList(
          oldList, PopupColumnValues(prepared, GetCsvColumn(slot, prepared.master)));
    } else if (prepared.fromExisting && old && !old->empty()) {
      lists[slot] = *old;
    } else {
      // A zero-length record would make the handheld see no list at all.
      lists[slot] = EmptyList();
    }
  }
  return lists;
}

Bytes BuildDatabase(const PreparedImport& prepared, const ConversionOptions& options,
                    Console& console) {
  console.PrintMessage("Writing Records Header...");
  std::vector<Bytes> records;
  records.reserve(kFirstDataRecord + static_cast<size_t>(prepared.rowCount));
  Bytes master;
  ByteWriter masterWriter(master);
  WriteMasterRecord(prepared.master, masterWriter);
  records.push_back(std::move(master));

  console.PrintMessage("Writing Popups for fields...");
  std::array<Bytes, kFieldSlots> popupLists = BuildPopupRecords(prepared);
  for (const Bytes& list : popupLists) records.push_back(list);

  AppendDataRecords(prepared, options, popupLists, records, console);
  Bytes database = AssembleDatabase(prepared.header, records);
  if (database.empty()) {
    console.PrintError("The records are too large to fit into one database file!");
  }
  return database;
}

std::optional<Bytes> ImportCsvToDatabase(const ImportSource& source,
                                         const ConversionOptions& options, Console& console) {
  std::optional<PreparedImport> prepared = PrepareImport(source, options, console);
  if (!prepared) return std::nullopt;
  Bytes database = BuildDatabase(*prepared, options, console);
  if (database.empty()) return std::nullopt;
  return database;
}

}  // namespace qv
