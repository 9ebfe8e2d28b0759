#include "convert/export_core.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "convert/csv_writer.h"
#include "convert/record_decoder.h"
#include "fields/charset.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "fields/text_utils.h"
#include "pdb/identify.h"

namespace qv {
namespace {

// The slots that become CSV columns, in column order: a slot is a column
// when its type is not 0. Entries outside 0..29 (which a repaired column
// order never holds) are skipped rather than trusted.
struct VisibleColumns {
  std::array<int, kFieldSlots> slots{};
  int count = 0;
};

VisibleColumns GetVisibleColumns(const MasterRecord& master) {
  VisibleColumns columns;
  for (int k = 0; k < kFieldSlots; ++k) {
    const int slot = master.columnOrder[k];
    if (slot < 0 || slot >= kFieldSlots) continue;
    if (master.fields[slot].type == kEmptySlot) continue;
    columns.slots[columns.count++] = slot;
  }
  return columns;
}

bool CheckExportPermission(const MasterRecord& master, const ConversionOptions& options,
                           Console& console) {
  const int permission = GetExportPermission(master);
  if (permission == -1) {
    console.PrintError("Conversion not Allowed by database! ACCESS DENIED");
    console.PrintMessage("Conversion Cancelled: Operation not permitted");
    return false;
  }
  const std::string_view stored = FixedText(master.password);
  // Exact, case-sensitive; an empty stored password means the database is
  // open whatever was given.
  if (permission == 1 && !stored.empty() && stored != options.givenPassword) {
    console.PrintError("Password Incorrect! ACCESS DENIED");
    console.PrintMessage("Conversion Cancelled: Password not Entered");
    return false;
  }
  return true;
}

}  // namespace

std::string IdentityNote(ByteView file) {
  const FileIdentity identity = IdentifyFile(file);
  if (identity.kind == FileKind::kQuorvexDatabase) return "";
  return "This is " + DescribeFile(identity) + ".\n";
}

bool LoadDatabaseForExport(ByteView file, const ConversionOptions& options, ExportDatabase& out,
                           Console& console) {
  out.file = file;
  // A resource file holds code and resources, never field definitions, even
  // with the database's creator code (the application itself has it).
  const Result<DatabaseHeader> header = ReadDatabaseHeader(file);
  if (header) out.header = *header;
  if (!header || (out.header.attributes & kResourceAttribute) != 0) {
    console.PrintError("ERROR: Reading header!\nMake sure you are converting a Quorvex data file!\n" +
                       IdentityNote(file));
    return false;
  }
  const Result<MasterRecord> master = ReadMasterRecord(file, out.header);
  if (!master) {
    console.PrintError("ERROR: Reading MasterRecord\n" + IdentityNote(file));
    return false;
  }
  out.master = *master;
  return CheckExportPermission(out.master, options, console);
}

void AppendFieldNameLine(const MasterRecord& master, const ConversionOptions& options,
                         std::string& out) {
  const VisibleColumns columns = GetVisibleColumns(master);
  std::array<std::string_view, kFieldSlots> names;
  for (int k = 0; k < columns.count; ++k) names[k] = FixedText(master.fields[columns.slots[k]].name);
  CsvWriter(options, out).WriteTexts(std::span(names.data(), static_cast<size_t>(columns.count)));
}

std::string RenderPopupFile(const ExportDatabase& database, const ConversionOptions& options) {
  std::string out;
  CsvWriter writer(options, out);
  const PopupListViews lists = ReadPopupLists(database.file, database.header.recordCount);
  std::vector<std::string_view> choices;
  for (const std::optional<ByteView>& list : lists) {
    choices.clear();
    ForEachChoiceText(list, [&](std::string_view text) { choices.push_back(text); });
    writer.WriteTexts(choices);
  }
  return out;
}

std::vector<int> GetVisibleSlots(const MasterRecord& master) {
  const VisibleColumns columns = GetVisibleColumns(master);
  return std::vector<int>(columns.slots.begin(), columns.slots.begin() + columns.count);
}

bool ForEachDataRow(const ExportDatabase& database, std::span<const int> slots,
                    const ConversionOptions& options, Console& console,
                    const std::function<void(CellRow)>& write) {
  const uint32_t recordCount = database.header.recordCount;
  if (recordCount <= static_cast<uint32_t>(kFirstDataRecord)) return true;
  // Each popup list is read once here instead of once per cell.
  const PopupListViews lists = ReadPopupLists(database.file, recordCount);
  const RecordDecoder decoder(database.master, lists);

  bool ok = true;
  std::array<Cell, kFieldSlots> cells;
  const std::span<Cell> row(cells.data(), std::min(slots.size(), cells.size()));
  for (uint32_t r = kFirstDataRecord; r < recordCount; ++r) {
    const int index = static_cast<int>(r);
    if (options.extraDiag) {
      console.PrintMessage(Format("Reading Record: %d:", index - (kFirstDataRecord - 1)));
    }
    const std::optional<ByteView> record = ReadRecord(database.file, r, recordCount);
    if (!record) {
      console.PrintError(Format("Reading Record: %d", index));
      ok = false;
      continue;
    }
    if (options.extraDiag) console.PrintMessage(Format("Writing Record: %d:", index));
    // One walk of the record decodes every visible field; texts stay views
    // into the record's bytes.
    decoder.DecodeRow(*record, slots.first(row.size()), row);
    write(row);
  }
  return ok;
}

bool AppendDataRows(const ExportDatabase& database, const ConversionOptions& options,
                    std::string& csv, Console& console) {
  const VisibleColumns columns = GetVisibleColumns(database.master);
  const std::span<const int> slots(columns.slots.data(), static_cast<size_t>(columns.count));
  // The rendered text is of the order of the record bytes; one reservation
  // saves the repeated regrowth of a large export.
  csv.reserve(csv.size() + database.file.size() + database.file.size() / 2);
  CsvWriter writer(options, csv);
  return ForEachDataRow(database, slots, options, console,
                        [&writer](CellRow row) { writer.WriteRow(row); });
}

std::string EncodeCsvText(std::string text, CsvEncoding encoding) {
  if (encoding == CsvEncoding::kBytes) return text;
  std::string utf8 = HandheldToUtf8(text);
  if (encoding == CsvEncoding::kUtf8Bom) utf8.insert(0, kUtf8Bom);
  return utf8;
}

ExportResult ExportToCsvText(ByteView file, const ConversionOptions& options, Console& console) {
  ExportResult result;
  ExportDatabase database;
  if (!LoadDatabaseForExport(file, options, database, console)) return result;
  result.loaded = true;
  if (options.fieldNames) AppendFieldNameLine(database.master, options, result.csv);
  if (!options.popupFile.empty()) {
    result.popups = EncodeCsvText(RenderPopupFile(database, options), options.encoding);
  }
  result.ok = AppendDataRows(database, options, result.csv, console);
  result.csv = EncodeCsvText(std::move(result.csv), options.encoding);
  return result;
}

}  // namespace qv
