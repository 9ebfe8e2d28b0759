#include "convert/record_builder.h"

#include <algorithm>
#include <string_view>

#include "convert/cells.h"
#include "fields/date_time.h"
#include "fields/field_types.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

constexpr std::string_view kRecordPrefixText = "FromCSV";
// The longest text one entry holds: its 16-bit length counts the NUL, and
// 65535 is the end mark.
constexpr size_t kLongestEntryText = 65533;

using SlotColumns = std::array<int, kFieldSlots>;

bool IsValidSlot(int slot) { return slot >= 0 && slot < kFieldSlots; }

// The CSV column of every slot in one walk of columnOrder. A slot gets the
// count of used slots standing before its first occurrence; a slot that
// does not occur gets -1.
SlotColumns CsvColumns(const MasterRecord& master) {
  SlotColumns columns;
  columns.fill(-1);
  int counter = 0;
  for (int8_t entry : master.columnOrder) {
    if (!IsValidSlot(entry)) continue;
    const size_t slot = static_cast<size_t>(entry);
    if (columns[slot] == -1) columns[slot] = counter;
    if (master.fields[slot].type != kEmptySlot) ++counter;
  }
  return columns;
}

std::string_view CellOf(const CsvTable& lines, size_t line, int column) {
  return column < 0 ? std::string_view() : lines.Field(line, static_cast<size_t>(column));
}

// The typed cell of the CSV text `text` of `slot` (whose entry has
// `layout`): texts with their line ends made single LFs when the cell may
// hold a CR (the copy then lives in `scratch`), numbers as atoi reads them,
// a check box set unless the text starts with "0", a date or a time in the
// context's formats, a popup text looked up in the slot's list (kNoChoice
// when it is not there).
Cell ParseCsvCell(const RecordBuildContext& context, size_t slot, EntryLayout layout,
                  std::string_view text, bool mayHoldCr, std::string& scratch) {
  Cell cell;
  cell.hasValue = true;
  switch (layout) {
    case EntryLayout::kText:
      // Without a CR the line ends are already single LFs; most cells take
      // this path and are written without a copy.
      if (mayHoldCr && text.find('\r') != std::string_view::npos) {
        scratch = NormalizeLineEnds(text);
        text = scratch;
      }
      [[fallthrough]];
    case EntryLayout::kShortText:
    case EntryLayout::kSubKindText:
      cell.kind = CellKind::kText;
      cell.text = text;
      return cell;
    case EntryLayout::kInteger:
      cell.kind = CellKind::kInteger;
      cell.integer = ParseDecimal(text);
      return cell;
    case EntryLayout::kUnique:
    case EntryLayout::kUniqueExt:
      cell.kind = CellKind::kUnique;
      cell.integer = ParseDecimal(text);
      return cell;
    case EntryLayout::kChoice: {
      const int choice = context.choices[slot].Find(text);
      cell.kind = CellKind::kChoice;
      cell.choice = choice < 0 ? kNoChoice : static_cast<uint8_t>(choice);
      cell.hasValue = cell.choice != kNoChoice;
      cell.text = text;
      return cell;
    }
    case EntryLayout::kCheckBox:
      cell.kind = CellKind::kCheckBox;
      cell.checked = text.empty() || text[0] != '0';
      return cell;
    case EntryLayout::kDate: {
      const CalendarDate date = ParseDate(text, context.dateFormat);
      cell.kind = CellKind::kDate;
      cell.date = {date.year, date.month, date.day};
      cell.dayCount = static_cast<uint32_t>(DateToDayCount(date.month, date.day, date.year));
      cell.hasValue = !(date.month <= 1 && date.day <= 1 && date.year <= 1904);
      return cell;
    }
    case EntryLayout::kTime: {
      ClockTime time;
      // An unreadable time still stores what the parser left (midnight).
      ParseTime(text, context.timeFormat, time);
      cell.kind = CellKind::kTime;
      cell.time = {time.hour, time.minute};
      cell.hasValue = time.hour != kNoTimeHour;
      return cell;
    }
    case EntryLayout::kZeroByte:
    case EntryLayout::kNothing:
      break;
  }
  return {};
}

void WriteStoredText(ByteWriter& writer, std::string_view text) {
  if (text.empty()) {
    writer.WriteU16LE(0);
    return;
  }
  writer.WriteU16LE(static_cast<uint32_t>(text.size() + 1));
  writer.WriteBytes(AsBytes(text));
  writer.WriteU8(0);
}

void WriteOneByte(ByteWriter& writer, uint8_t value) {
  writer.WriteU16LE(1);
  writer.WriteU8(value);
}

// Lays `cell` out as the entry of a field with `layout`. A text longer than
// one entry holds is cut to fit, with a warning naming `lineNumber` and the
// 0-based `column`.
void EncodeCell(ByteWriter& writer, EntryLayout layout, const Cell& cell, int lineNumber,
                int column, std::vector<std::string>& warnings) {
  switch (layout) {
    case EntryLayout::kText: {
      std::string_view text = cell.text;
      if (text.size() > kLongestEntryText) {
        text = text.substr(0, kLongestEntryText);
        warnings.push_back("Line " + std::to_string(lineNumber) + ", column " +
                           std::to_string(column + 1) + ": text cut to " +
                           std::to_string(kLongestEntryText) + " characters");
      }
      WriteStoredText(writer, text);
      break;
    }
    case EntryLayout::kShortText:
    case EntryLayout::kSubKindText:
      WriteStoredText(writer, cell.text.substr(0, kShortTextMax));
      break;
    case EntryLayout::kInteger:
    case EntryLayout::kUnique:
      writer.WriteU16LE(4);
      writer.WriteU32LE(static_cast<uint32_t>(cell.integer));
      break;
    case EntryLayout::kUniqueExt:
      writer.WriteU16LE(4 + kUniqueExtensionSize);
      writer.WriteU32LE(static_cast<uint32_t>(cell.integer));
      writer.WriteZeros(kUniqueExtensionSize);
      break;
    case EntryLayout::kChoice:
      WriteOneByte(writer, cell.choice);
      break;
    case EntryLayout::kCheckBox:
      WriteOneByte(writer, cell.checked ? 1 : 0);
      break;
    case EntryLayout::kZeroByte:
      WriteOneByte(writer, 0);
      break;
    case EntryLayout::kDate:
      writer.WriteU16LE(4);
      writer.WriteU32LE(cell.dayCount);
      break;
    case EntryLayout::kTime: {
      const StoredValue stored = StoreTime(cell.time.hours, cell.time.minutes, 0);
      writer.WriteU16LE(static_cast<uint32_t>(stored.size()));
      writer.WriteBytes(ByteView(stored));
      break;
    }
    case EntryLayout::kNothing:
      // Unknown type codes (only an existing database can bring them) get a
      // zero-length entry rather than none, so every later entry still
      // lines up with its slot when the record is read back.
      writer.WriteU16LE(0);
      break;
  }
}

void WriteEntry(const RecordBuildContext& context, int slot, const CsvTable& lines, size_t line,
                int lineNumber, ByteWriter& writer, std::string& scratch,
                std::vector<std::string>& warnings) {
  const size_t index = static_cast<size_t>(slot);
  const int column = context.columns[index];
  const EntryLayout layout = context.layouts[index];
  const bool mayHoldCr = column >= 0 && lines.MayHoldCr(line, static_cast<size_t>(column));
  const Cell cell =
      ParseCsvCell(context, index, layout, CellOf(lines, line, column), mayHoldCr, scratch);
  EncodeCell(writer, layout, cell, lineNumber, column, warnings);
}

bool IsTextType(uint32_t type) { return GetEntryLayout(type) == EntryLayout::kText; }

bool IsUniqueType(uint32_t type) {
  const EntryLayout layout = GetEntryLayout(type);
  return layout == EntryLayout::kUnique || layout == EntryLayout::kUniqueExt;
}

}  // namespace

RecordBuildContext::RecordBuildContext(const MasterRecord& master, int dateFormat, int timeFormat,
                                       const std::array<Bytes, kFieldSlots>& popupLists)
    : master(master),
      dateFormat(dateFormat),
      timeFormat(timeFormat),
      popupLists(popupLists),
      columns(CsvColumns(master)),
      fixedSizeBound(1 + kRecordPrefixSize) {
  for (size_t slot = 0; slot < choices.size(); ++slot) {
    const uint32_t type = master.fields[slot].type;
    layouts[slot] = GetEntryLayout(type);
    if (layouts[slot] == EntryLayout::kChoice) {
      choices[slot] = ChoiceLookup(ByteView(popupLists[slot]));
    }
    if (type != kEmptySlot) usedSlots = static_cast<int>(slot) + 1;
    fixedSizeBound += GetFieldTypeInfo(type).entrySizeBound;
    if (IsTextType(type)) hasTextSlot = true;
  }
}

// Text cells hold at most every stored byte of the table between them.
size_t RecordsSizeBound(const RecordBuildContext& context, const CsvTable& lines, size_t rows) {
  return context.fixedSizeBound * rows + (context.hasTextSlot ? lines.StoredBytesBound() : 0);
}

int GetCsvColumn(int slot, const MasterRecord& master) {
  return IsValidSlot(slot) ? CsvColumns(master)[static_cast<size_t>(slot)] : -1;
}

int32_t BuildRecordFromCsv(const RecordBuildContext& context, const CsvTable& lines, size_t line,
                           Bytes& out, int lineNumber, std::vector<std::string>& warnings) {
  const size_t start = out.size();
  ByteWriter writer(out);
  if (context.master.recordPrefixFlag != 0) {
    writer.WriteU8(1);
    std::array<char, kRecordPrefixSize> prefix{};
    std::copy(kRecordPrefixText.begin(), kRecordPrefixText.end(), prefix.begin());
    writer.WriteBytes(std::span<const char>(prefix));
  } else {
    writer.WriteU8(0);
  }

  std::string scratch;
  // Empty slots before a used one keep their place with a zero-length
  // entry; after the last used slot the end mark stands for all of them.
  for (int slot = 0; slot < context.usedSlots; ++slot) {
    if (context.master.fields[static_cast<size_t>(slot)].type == kEmptySlot) {
      writer.WriteU16LE(0);
      continue;
    }
    WriteEntry(context, slot, lines, line, lineNumber, writer, scratch, warnings);
  }
  if (context.usedSlots < kFieldSlots) writer.WriteU16LE(kEndMark);
  return static_cast<int32_t>(out.size() - start);
}

uint32_t GetLargestUnique(const CsvTable& lines, const MasterRecord& master,
                          bool fieldNames) {
  const SlotColumns columns = CsvColumns(master);
  std::vector<int> uniqueColumns;
  for (size_t slot = 0; slot < columns.size(); ++slot) {
    if (IsUniqueType(master.fields[slot].type)) uniqueColumns.push_back(columns[slot]);
  }
  uint32_t largest = 0;
  if (uniqueColumns.empty()) return largest;
  for (size_t i = fieldNames ? 1 : 0; i < lines.lineCount(); ++i) {
    for (int column : uniqueColumns) {
      largest = std::max(largest, static_cast<uint32_t>(ParseDecimal(CellOf(lines, i, column))));
    }
  }
  return largest;
}

}  // namespace qv
