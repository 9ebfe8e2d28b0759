#include "convert/export_core.h"

#include <array>
#include <optional>
#include <string_view>

#include "csv/csv_quote.h"
#include "fields/charset.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "fields/text_utils.h"

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

RenderContext MakeRenderContext(const ExportDatabase& database, const ConversionOptions& options) {
  RenderContext context{database.master, options.dateFormat, options.timeFormat, {}};
  // Each popup list is looked up once here instead of once per cell.
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    context.popupLists[slot] =
        ReadRecord(database.file, static_cast<uint32_t>(slot + 1), database.header.recordCount);
  }
  return context;
}

// Calls `emit` with choice 0, 1, 2, ... of `list` until there is no further
// choice, giving the same texts as ChoiceText with those indices (255 gives
// the no-value text, as it does there). Walks the list once: asking for
// each index from the start would be quadratic in the list's length.
template <typename Emit>
void ForEachChoice(std::optional<ByteView> list, Emit emit) {
  if (!list) return;
  std::optional<std::string_view> choice = NthChoice(*list, 0);
  for (int index = 0;; ++index) {
    if (index == 255) {
      emit(kNoValueText);
    } else if (!choice) {
      return;
    } else {
      emit(std::string_view(BoundedCopy(*choice, kChoiceMax)));
    }
    if (!choice) return;
    // Once an empty text has been passed after the first choice, the list
    // has ended; from the first choice on, the next one lies after the
    // current choice's terminator.
    if (index > 0 && choice->empty()) return;
    const size_t position = static_cast<size_t>(
        reinterpret_cast<const uint8_t*>(choice->data()) - list->data());
    choice = NthChoice(list->subspan(position), 1);
  }
}

}  // namespace

bool LoadDatabaseForExport(ByteView file, const ConversionOptions& options, ExportDatabase& out,
                           Console& console) {
  out.file = file;
  if (ReadDatabaseHeader(file, out.header) != 1) {
    console.PrintError(
        "ERROR: Reading header!\nMake sure you are converting a Quorvex data file!\n");
    return false;
  }
  if (ReadMasterRecord(file, out.header, out.master) != 1) {
    console.PrintError("ERROR: Reading MasterRecord\n");
    return false;
  }
  return CheckExportPermission(out.master, options, console);
}

void AppendFieldNameLine(const MasterRecord& master, const ConversionOptions& options,
                         std::string& out) {
  const VisibleColumns columns = GetVisibleColumns(master);
  for (int k = 0; k < columns.count; ++k) {
    if (k > 0) out.push_back(options.separator);
    QuoteCsvValue(FixedText(master.fields[columns.slots[k]].name), options.separator,
                  options.placeQuotes, out);
  }
  out.push_back('\n');
}

std::string RenderPopupFile(const ExportDatabase& database, const ConversionOptions& options) {
  std::string out;
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    const std::optional<ByteView> list =
        ReadRecord(database.file, static_cast<uint32_t>(slot + 1), database.header.recordCount);
    bool first = true;
    ForEachChoice(list, [&](std::string_view item) {
      if (!first) out.push_back(options.separator);
      first = false;
      QuoteCsvValue(item, options.separator, options.placeQuotes, out);
    });
    out.push_back('\n');
  }
  return out;
}

bool AppendDataRows(const ExportDatabase& database, const ConversionOptions& options,
                    std::string& csv, Console& console) {
  const uint32_t recordCount = database.header.recordCount;
  if (recordCount <= static_cast<uint32_t>(kFirstDataRecord)) return true;
  const VisibleColumns columns = GetVisibleColumns(database.master);
  const RenderContext context = MakeRenderContext(database, options);
  // The rendered text is of the order of the record bytes; one reservation
  // saves the repeated regrowth of a large export.
  csv.reserve(csv.size() + database.file.size() + database.file.size() / 2);

  bool ok = true;
  std::string scratch;
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
    // One walk of the record finds every field; texts are quoted straight
    // from the record's bytes.
    const RecordFields fields = SplitRecordFields(*record);
    for (int k = 0; k < columns.count; ++k) {
      if (k > 0) csv.push_back(options.separator);
      QuoteCsvValue(RenderSplitField(context, *record, fields, columns.slots[k], scratch),
                    options.separator, options.placeQuotes, csv);
    }
    csv.push_back('\n');
  }
  return ok;
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
