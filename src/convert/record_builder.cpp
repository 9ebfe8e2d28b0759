#include "convert/record_builder.h"

#include <algorithm>
#include <string_view>

#include "fields/date_time.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

constexpr std::string_view kRecordPrefixText = "FromCSV";
// The longest text one entry holds: its 16-bit length counts the NUL, and
// 65535 is the end mark.
constexpr size_t kLongestEntryText = 65533;
constexpr size_t kShortTextMax = 9;
constexpr size_t kUniqueExtensionSize = 20;

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

void WriteText(ByteWriter& writer, std::string_view cell, bool mayHoldCr, int lineNumber,
               int column, std::vector<std::string>& warnings) {
  // Without a CR the line ends are already single LFs; most cells take this
  // path and are written without a copy.
  std::string normalized;
  std::string_view text = cell;
  if (mayHoldCr && cell.find('\r') != std::string_view::npos) {
    normalized = NormalizeLineEnds(cell);
    text = normalized;
  }
  if (text.empty()) {
    writer.WriteU16LE(0);
    return;
  }
  if (text.size() > kLongestEntryText) {
    text = text.substr(0, kLongestEntryText);
    warnings.push_back("Line " + std::to_string(lineNumber) + ", column " +
                       std::to_string(column + 1) + ": text cut to " +
                       std::to_string(kLongestEntryText) + " characters");
  }
  writer.WriteU16LE(static_cast<uint32_t>(text.size() + 1));
  writer.WriteBytes(AsBytes(text));
  writer.WriteU8(0);
}

void WriteShortText(ByteWriter& writer, std::string_view cell) {
  if (cell.empty()) {
    writer.WriteU16LE(0);
    return;
  }
  const std::string_view kept = cell.substr(0, kShortTextMax);
  writer.WriteU16LE(static_cast<uint32_t>(kept.size() + 1));
  writer.WriteBytes(AsBytes(kept));
  writer.WriteU8(0);
}

void WriteOneByte(ByteWriter& writer, uint8_t value) {
  writer.WriteU16LE(1);
  writer.WriteU8(value);
}

void WriteStored(ByteWriter& writer, const StoredValue& stored) {
  writer.WriteU16LE(static_cast<uint32_t>(stored.size()));
  writer.WriteBytes(ByteView(stored));
}

void WriteEntry(const RecordBuildContext& context, int slot, const CsvTable& lines, size_t line,
                int lineNumber, ByteWriter& writer, std::vector<std::string>& warnings) {
  const size_t index = static_cast<size_t>(slot);
  const int column = context.columns[index];
  const std::string_view cell = CellOf(lines, line, column);
  switch (context.master.fields[index].type) {
    case kText:
    case kLongText:
    case kText2:
      WriteText(writer, cell, column >= 0 && lines.MayHoldCr(line, static_cast<size_t>(column)),
                lineNumber, column, warnings);
      break;
    case kShortText:
    case kSubKindText:
      WriteShortText(writer, cell);
      break;
    case kInteger:
    case kUniqueInteger:
    case kUniqueInteger2:
      writer.WriteU16LE(4);
      writer.WriteU32LE(static_cast<uint32_t>(ParseDecimal(cell)));
      break;
    case kUniqueIntegerExt:
      writer.WriteU16LE(4 + kUniqueExtensionSize);
      writer.WriteU32LE(static_cast<uint32_t>(ParseDecimal(cell)));
      writer.WriteZeros(kUniqueExtensionSize);
      break;
    case kPopup: {
      const int choice = context.choices[index].Find(cell);
      WriteOneByte(writer, choice < 0 ? 255 : static_cast<uint8_t>(choice));
      break;
    }
    case kCheckBox:
      WriteOneByte(writer, !cell.empty() && cell[0] == '0' ? 0 : 1);
      break;
    case kOneByteValue:
      WriteOneByte(writer, 0);
      break;
    case kDate: {
      const CalendarDate date = ParseDate(cell, context.dateFormat);
      WriteStored(writer, StoreDate(date.month, date.day, date.year));
      break;
    }
    case kTime: {
      ClockTime time;
      // An unreadable time still stores what the parser left (midnight).
      ParseTime(cell, context.timeFormat, time);
      WriteStored(writer, StoreTime(time.hour, time.minute, 0));
      break;
    }
    case kNoData:
    default:
      // Unknown type codes (only an existing database can bring them) get a
      // zero-length entry rather than none, so every later entry still
      // lines up with its slot when the record is read back.
      writer.WriteU16LE(0);
      break;
  }
}

// The most bytes the entry of `slot` can take, less the text of a text
// cell (counted per record); the import reserves the whole database from
// these.
size_t EntrySizeBound(const MasterRecord& master, size_t slot) {
  switch (master.fields[slot].type) {
    case kText:
    case kLongText:
    case kText2:
      return 3;
    case kShortText:
    case kSubKindText:
      return 3 + kShortTextMax;
    case kUniqueIntegerExt:
      return 6 + kUniqueExtensionSize;
    default:  // numbers, dates, times, one-byte values, empty slots
      return 6;
  }
}

bool IsTextType(uint32_t type) { return type == kText || type == kLongText || type == kText2; }

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
    if (type == kPopup) choices[slot] = ChoiceLookup(ByteView(popupLists[slot]));
    if (type != kEmptySlot) usedSlots = static_cast<int>(slot) + 1;
    fixedSizeBound += EntrySizeBound(master, slot);
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

  // Empty slots before a used one keep their place with a zero-length
  // entry; after the last used slot the end mark stands for all of them.
  for (int slot = 0; slot < context.usedSlots; ++slot) {
    if (context.master.fields[static_cast<size_t>(slot)].type == kEmptySlot) {
      writer.WriteU16LE(0);
      continue;
    }
    WriteEntry(context, slot, lines, line, lineNumber, writer, warnings);
  }
  if (context.usedSlots < kFieldSlots) writer.WriteU16LE(kEndMark);
  return static_cast<int32_t>(out.size() - start);
}

uint32_t GetLargestUnique(const CsvTable& lines, const MasterRecord& master,
                          bool fieldNames) {
  const SlotColumns columns = CsvColumns(master);
  std::vector<int> uniqueColumns;
  for (size_t slot = 0; slot < columns.size(); ++slot) {
    const uint32_t type = master.fields[slot].type;
    if (type == kUniqueInteger || type == kUniqueInteger2 || type == kUniqueIntegerExt) {
      uniqueColumns.push_back(columns[slot]);
    }
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
