#include "convert/import_core.h"

#include <string>

#include "convert/export_core.h"
#include "convert/record_builder.h"
#include "convert/schema.h"
#include "convert/inference.h"
#include "fields/charset.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"
#include "pdb/identify.h"

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
  if (ReadDatabaseHeader(file, header) != 1 || (header.attributes & kResourceAttribute) != 0 ||
      ReadMasterRecord(file, header, prepared.master) != 1) {
    const std::string note = IdentityNote(file);
    console.PrintError(note.empty() ? "ERROR:Setting up MasterRecord!"
                                    : "ERROR:Setting up MasterRecord!\n" + note);
    return false;
  }
  SetHeaderName(header, options.databaseName);
  prepared.header = header;
  const PopupListViews lists = ReadPopupLists(file, header.recordCount);
  for (size_t slot = 0; slot < lists.size(); ++slot) {
    if (lists[slot]) prepared.existingLists[slot] = Bytes(lists[slot]->begin(), lists[slot]->end());
  }
  prepared.fromExisting = true;
  return true;
}

void RefuseTooLarge(Console& console) {
  console.PrintError(Format("The .CSV file is too large: at most %zu bytes can be read!",
                            kCsvTableLimit / 2));
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

// Turns every field from UTF-8 into handheld bytes, straight after reading,
// so that everything later (names, inference, byte limits and cuts, popup
// lists) works on the bytes the database will hold. The first field that
// cannot be converted is reported by its CSV line (counted as the records'
// lines are) and column, both from 1.
bool ConvertLinesFromUtf8(CsvTable& lines, Console& console) {
  std::string converted;
  for (size_t i = 0; i < lines.lineCount(); ++i) {
    for (size_t k = 0; k < static_cast<size_t>(lines.fieldCount(i)); ++k) {
      const std::string_view field = lines.Field(i, k);
      if (IsAscii(field)) continue;
      size_t offset = 0;
      if (Utf8ToHandheld(field, converted, offset)) {
        if (!lines.ReplaceField(i, k, converted)) {
          RefuseTooLarge(console);
          return false;
        }
        continue;
      }
      const std::string where =
          Format("CSV line %zu, column %zu", i + 1, k + 1);
      const std::optional<char32_t> cp = DecodeUtf8CodePoint(field.substr(offset));
      if (cp) {
        console.PrintError(Format("%s: the character U+%04X cannot be stored on the handheld!",
                                  where.c_str(), static_cast<unsigned>(*cp)));
      } else {
        console.PrintError(Format("%s: the text is not valid UTF-8!", where.c_str()));
      }
      return false;
    }
  }
  return true;
}

bool RefuseSchema(const ImportSource& source, const std::string& error, Console& console) {
  // The error may quote names and values from the file.
  console.PrintError("Schema file " + std::string(source.schemaName) + ": " +
                     EscapeControls(error));
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
  if (!prepared.lines.empty() && prepared.lines.fieldCount(0) != static_cast<int>(fields.size())) {
    console.PrintMessage(Format(
        "WARNING:The .CSV file has %d fields on its first line, but the schema defines %zu.",
        prepared.lines.fieldCount(0), fields.size()));
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
  if (!prepared.lines.empty() && prepared.lines.fieldCount(0) > kFieldSlots) {
    console.PrintError(Format(
        "The .CSV file has %d fields on its first line, but a database holds at most %d fields!",
        prepared.lines.fieldCount(0), kFieldSlots));
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
  for (size_t i = prepared.firstDataLine; i < prepared.lines.lineCount(); ++i) {
    if (prepared.lines.fieldCount(i) < column) break;
    values.push_back(prepared.lines.Field(i, static_cast<size_t>(column)));
  }
  return values;
}

void AppendDataRecords(const PreparedImport& prepared, const ConversionOptions& options,
                       const std::array<Bytes, kFieldSlots>& popupLists,
                       DatabaseBuilder& database, Console& console) {
  RecordBuildContext context{prepared.master, options.dateFormat, options.timeFormat, popupLists};
  // Room for every record at once: the database is assembled in one buffer,
  // and regrowing a buffer of many megabytes would copy it and, for a
  // moment, hold it twice.
  database.Reserve(
      RecordsSizeBound(context, prepared.lines, static_cast<size_t>(prepared.rowCount)));
  std::vector<std::string> warnings;
  // The lines were read once, up front, and counted from the same table, so
  // every data line is there.
  for (int k = 0; k < prepared.rowCount; ++k) {
    if (options.extraDiag) console.PrintMessage(Format("Reading CSV Line #%d", k));
    size_t index = prepared.firstDataLine + static_cast<size_t>(k);
    int lineNumber = static_cast<int>(index) + 1;
    if (options.extraDiag) console.PrintMessage(Format("Writing PDB Record #%d", k));
    warnings.clear();
    const size_t size = static_cast<size_t>(BuildRecordFromCsv(
        context, prepared.lines, index, database.StartRecord(), lineNumber, warnings));
    for (const std::string& warning : warnings) console.PrintMessage("WARNING:" + warning);
    if (size > kLargestHandheldRecord) {
      console.PrintMessage(Format(
          "WARNING:The record of CSV line %d is %zu bytes long; the handheld may refuse records "
          "longer than %zu bytes.",
          lineNumber, size, kLargestHandheldRecord));
    }
  }
}

}  // namespace

std::optional<PreparedImport> PrepareImport(const ImportSource& source,
                                            const ConversionOptions& options, Console& console) {
  PreparedImport prepared;
  SetDefaultMasterRecord(prepared.master);
  prepared.header = SetNewDatabaseHeader(options.databaseName);
  console.PrintProgress("Getting Fields Information...");

  // A database named where the CSV belongs would be read as a few lines of
  // garbage and "converted"; the NULs of its header mark it.
  if (LooksLikeDatabase(AsBytes(source.csvText))) {
    console.PrintError(
        "The input (.CSV) file looks like a database (.PDB) file, not CSV text. COMMAND:TOCSV "
        "reads databases; COMMAND:TOPDB needs a .CSV file!");
    return std::nullopt;
  }
  const bool utf8 = options.encoding != CsvEncoding::kBytes;
  const std::string_view csvText = utf8 ? StripUtf8Bom(source.csvText) : source.csvText;
  prepared.lines = ReadCsvTable(csvText, options.separator);
  if (!prepared.lines.complete()) {
    RefuseTooLarge(console);
    return std::nullopt;
  }
  if (utf8 && !ConvertLinesFromUtf8(prepared.lines, console)) return std::nullopt;
  bool good = source.useExisting  ? TakeExistingDefinitions(source, options, prepared, console)
              : source.schemaText ? TakeSchemaDefinitions(source, options, prepared, console)
                                  : InferDefinitions(options, prepared, console);
  if (!good) return std::nullopt;
  StampNewDatabase(prepared.header, source.databaseTime);

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
  console.PrintProgress("Writing Records Header...");
  DatabaseBuilder builder(prepared.header,
                          kFirstDataRecord + static_cast<size_t>(prepared.rowCount));
  ByteWriter masterWriter(builder.StartRecord());
  WriteMasterRecord(prepared.master, masterWriter);

  console.PrintProgress("Writing Popups for fields...");
  std::array<Bytes, kFieldSlots> popupLists = BuildPopupRecords(prepared);
  for (const Bytes& list : popupLists) {
    Bytes& out = builder.StartRecord();
    out.insert(out.end(), list.begin(), list.end());
  }

  AppendDataRecords(prepared, options, popupLists, builder, console);
  Bytes database = builder.Finish();
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
