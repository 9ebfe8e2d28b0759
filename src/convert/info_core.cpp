#include "convert/info_core.h"

#include <array>
#include <optional>
#include <string_view>

#include "convert/export_core.h"
#include "convert/schema.h"
#include "csv/csv_quote.h"
#include "fields/date_time.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"
#include "pdb/database.h"
#include "pdb/display_text.h"
#include "pdb/master_record.h"

namespace qv {
namespace {

// Where record 0 keeps its format version. The reader upgrades the record
// in memory, so the version the file was written with is read from here.
constexpr size_t kFormatVersionOffset = 1946;

int StoredFormatVersion(ByteView file, const DatabaseHeader& header, int fallback) {
  const Result<ByteView> record = ReadRecord(file, 0, header.recordCount);
  if (!record) return fallback;
  ByteReader in(*record);
  in.Seek(kFormatVersionOffset);
  const int8_t version = static_cast<int8_t>(in.ReadU8());
  return in.ok() ? version : fallback;
}

std::string ExportPermissionText(const MasterRecord& master) {
  switch (GetExportPermission(master)) {
    case -1: return "denied";
    case 0: return "allowed";
    default:
      return FixedText(master.password).empty()
                 ? "allowed (asks for a password, but none is set)"
                 : "allowed with the password";
  }
}

// The choices the import and the lookups use: up to the list's end, at most
// as many as lookups examine. Quoted as CSV values where they need it.
std::string ChoiceLine(ByteView list) {
  std::string line;
  for (const std::string_view choice : LeadingChoices(list)) {
    if (!line.empty()) line += ", ";
    QuoteCsvValue(choice, ',', false, line);
  }
  return line.empty() ? "(none)" : line;
}

void AppendFields(const MasterRecord& master,
                  const std::array<std::optional<ByteView>, kFieldSlots>& lists,
                  std::string& out) {
  out += "Fields (columns and slots counted from 1):\n";
  out += "Column  Slot  Type            Max length  Name\n";
  // The reader repairs a broken order; slot order is the same fallback the
  // schema writer takes.
  const bool ordered = IsValidColumnOrder(master);
  int column = 0;
  for (int k = 0; k < kFieldSlots; ++k) {
    const int slot = ordered ? master.columnOrder[k] : k;
    const FieldDefinition& field = master.fields[slot];
    if (field.type == kEmptySlot) continue;
    ++column;
    out += Format("%6d  %4d  %-14s  %10u  ", column, slot + 1, SchemaTypeName(field.type).c_str(),
                  field.maxLength);
    out += EscapeForDisplay(FixedText(field.name), DisplayEscape::kControls);
    out += '\n';
    if (field.type == kPopup) {
      out += "              choices: ";
      out += lists[slot] ? EscapeForDisplay(ChoiceLine(*lists[slot]), DisplayEscape::kControls)
                         : std::string("(no list)");
      out += '\n';
    }
  }
  if (column == 0) out += "(no fields)\n";
}

std::string Describe(const ExportDatabase& database, int storedVersion,
                     const std::array<std::optional<ByteView>, kFieldSlots>& lists) {
  const DatabaseHeader& header = database.header;
  const MasterRecord& master = database.master;
  const uint32_t records = header.recordCount;
  const uint32_t rows = records > static_cast<uint32_t>(kFirstDataRecord)
                            ? records - static_cast<uint32_t>(kFirstDataRecord)
                            : 0;
  std::string out;
  out += "Database name:      " + EscapeForDisplay(FixedText(header.name), DisplayEscape::kControls) + "\n";
  out += "Created:            " + FormatDatabaseTime(header.creationTime) + "\n";
  out += "Modified:           " + FormatDatabaseTime(header.modificationTime) + "\n";
  out += Format("Data rows:          %u\n", rows);
  out += Format("Format version:     %d\n", storedVersion);
  out += Format("Next unique value:  %u\n", master.nextUniqueValue);
  out += std::string("Password:           ") +
         (FixedText(master.password).empty() ? "none" : "set") + "\n";
  out += "Export:             " + ExportPermissionText(master) + "\n\n";
  AppendFields(master, lists, out);
  return out;
}

}  // namespace

std::string FormatDatabaseTime(uint32_t seconds) {
  const CalendarDate date = DayCountToCalendarDate(seconds / 86400);
  const uint32_t clock = seconds % 86400;
  return Format("%04d-%02d-%02d %02u:%02u:%02u", date.year, date.month, date.day, clock / 3600,
                clock / 60 % 60, clock % 60);
}

DatabaseDescription DescribeDatabaseText(ByteView file, const ConversionOptions& options,
                                         Console& console) {
  DatabaseDescription result;
  const Result<ExportDatabase> loaded = LoadDatabaseForExport(file, options, console);
  result.loaded = loaded.status();
  if (!loaded) return result;
  const ExportDatabase& database = *loaded;
  const int storedVersion =
      StoredFormatVersion(file, database.header, database.master.formatVersion);
  const PopupListViews lists = ReadPopupLists(file, database.header.recordCount);
  result.text = Describe(database, storedVersion, lists);
  if (!options.schemaFile.empty()) {
    result.schema = EncodeCsvText(WriteSchema(database.master, lists), options.encoding);
  }
  return result;
}

}  // namespace qv
