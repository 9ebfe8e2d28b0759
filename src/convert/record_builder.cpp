#include "convert/record_builder.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <string_view>

#include "convert/cells.h"
#include "fields/cell_parse.h"
#include "fields/date_time.h"
#include "fields/field_types.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "fields/text_utils.h"
#include "pdb/format.h"

namespace qv {
namespace {

constexpr std::string_view kRecordPrefixText = "FromCSV";
// The longest text one entry holds: its 16-bit length counts the NUL, and
// 65535 is the end mark.
constexpr size_t kLongestEntryText = 65533;
// The longest entry that does not hold a cell's text, without its length:
// a unique number with its extension.
constexpr size_t kLongestFixedEntry = 4 + kUniqueExtensionSize;
static_assert(kLongestFixedEntry >= kShortTextMax + 1);

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
// `layout`), read by the cell readers of fields/cell_parse.h: texts with
// their line ends made single LFs when the cell may hold a CR, numbers,
// check boxes, dates and times in the context's formats, a popup text looked
// up in the slot's list (kNoChoice when it is not there). A copy the cell
// views lives in `scratch`. `reason` receives why the stored value is not
// what the cell says, or stays empty.
Cell ParseCsvCell(const RecordBuildContext& context, size_t slot, EntryLayout layout,
                  std::string_view text, bool mayHoldCr, std::string& scratch,
                  std::optional<std::string>& reason) {
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
      cell.kind = CellKind::kText;
      cell.text = text;
      return cell;
    case EntryLayout::kShortText: {
      CellValue<std::string> value = ParseShortTextCell(text);
      reason = std::move(value.warning);
      cell.kind = CellKind::kText;
      cell.text = text.substr(0, kShortTextLimit);
      return cell;
    }
    case EntryLayout::kSubKindText: {
      CellValue<std::string> value =
          ParseSubKindCell(text, context.master.fields[slot].subKind(), context.dateFormat,
                           context.timeFormat);
      reason = std::move(value.warning);
      scratch = std::move(value.stored);
      cell.kind = CellKind::kText;
      cell.text = scratch;
      return cell;
    }
    case EntryLayout::kInteger:
    case EntryLayout::kUnique:
    case EntryLayout::kUniqueExt: {
      CellValue<int32_t> value = ParseIntegerCell(text);
      reason = std::move(value.warning);
      cell.kind = layout == EntryLayout::kInteger ? CellKind::kInteger : CellKind::kUnique;
      cell.integer = value.stored;
      return cell;
    }
    case EntryLayout::kChoice: {
      const int choice = context.choices[slot].Find(text);
      cell.kind = CellKind::kChoice;
      cell.choice = choice < 0 ? kNoChoice : static_cast<uint8_t>(choice);
      cell.hasValue = cell.choice != kNoChoice;
      cell.text = text;
      // The list was built from the column, so only a value it could not
      // take misses; "No Value" itself is the no-choice marker.
      if (choice < 0 && !text.empty() && !ContainsNoCase(text, kNoValueText)) {
        const std::string why =
            text.size() > kChoiceMax
                ? Format("is longer than a popup choice (%zu characters)", kChoiceMax)
                : std::string("is not in the popup list, which is full");
        reason = Format("%s %s; stored as %.*s", QuoteCell(text).c_str(), why.c_str(),
                        TextLength(kNoValueText), kNoValueText.data());
      }
      return cell;
    }
    case EntryLayout::kCheckBox: {
      CellValue<uint8_t> value = ParseCheckBoxCell(text);
      reason = std::move(value.warning);
      cell.kind = CellKind::kCheckBox;
      cell.checked = value.stored != 0;
      return cell;
    }
    case EntryLayout::kDate: {
      // The day count as such: rebuilt from the four bytes of the stored
      // value, it would be read whole just after being written bytewise.
      CellValue<int32_t> value = ParseDateCellDays(text, context.dateFormat);
      reason = std::move(value.warning);
      const auto dayCount = static_cast<uint32_t>(value.stored);
      // The entry stores the day count alone; cell.date is left unset.
      cell.kind = CellKind::kDate;
      cell.dayCount = dayCount;
      cell.hasValue = dayCount != 0;
      return cell;
    }
    case EntryLayout::kTime: {
      CellValue<StoredValue> value = ParseTimeCell(text, context.timeFormat);
      reason = std::move(value.warning);
      cell.kind = CellKind::kTime;
      cell.time = {value.stored[2], value.stored[1], value.stored[0]};
      cell.hasValue = value.stored[2] != kNoTimeHour;
      return cell;
    }
    case EntryLayout::kZeroByte:
    case EntryLayout::kNothing:
      break;
  }
  return {};
}

// A stored text: its length with the NUL, the text, the NUL; an empty text
// is a zero length alone. Inline: most fields of most records take this
// path.
[[gnu::always_inline]] inline void WriteStoredText(CursorWriter& writer, std::string_view text) {
  if (text.empty()) {
    writer.WriteU16LE(0);
    return;
  }
  const size_t length = text.size() + 1;
  uint8_t* const entry = writer.Take(2 + length);
  entry[0] = static_cast<uint8_t>(length);
  entry[1] = static_cast<uint8_t>(length >> 8);
  CopyBytes(entry + 2, text.data(), text.size());
  entry[1 + length] = 0;
}

void WriteOneByte(CursorWriter& writer, uint8_t value) {
  writer.WriteU16LE(1);
  writer.WriteU8(value);
}

// The place a warning names: "Line 12, column 3 (Due date)", the line and
// column from 1.
std::string CellPlace(const RecordBuildContext& context, size_t slot, int lineNumber,
                      int column) {
  const std::array<char, 20>& name = context.master.fields[slot].name;
  const std::string_view fieldName(name.data(),
                                   std::find(name.begin(), name.end(), '\0') - name.begin());
  return Format("Line %d, column %d (%.*s)", lineNumber, column + 1, TextLength(fieldName),
                fieldName.data());
}

// Lays `cell` out as the entry of a field with `layout`. A text longer than
// one entry holds is cut to fit; returns false when so.
bool EncodeCell(CursorWriter& writer, EntryLayout layout, const Cell& cell) {
  bool whole = true;
  switch (layout) {
    case EntryLayout::kText: {
      std::string_view text = cell.text;
      if (text.size() > kLongestEntryText) {
        text = text.substr(0, kLongestEntryText);
        whole = false;
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
      const StoredValue stored =
          StoreTime(cell.time.hours, cell.time.minutes, cell.time.seconds);
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
  return whole;
}

// Writes the entry of `slot` for `field`, the slot's CSV field in the line
// (the empty field when the line has no such column).
void WriteEntry(const RecordBuildContext& context, int slot, const CsvTable& lines,
                CsvTable::Span field, int lineNumber, CursorWriter& writer, std::string& scratch,
                std::vector<std::string>& warnings) {
  const size_t index = static_cast<size_t>(slot);
  const int column = context.columns[index];
  const EntryLayout layout = context.layouts[index];
  const std::string_view text = lines.View(field);
  const bool mayHoldCr = lines.MayHoldCr(field);
  if (layout == EntryLayout::kText && !mayHoldCr && text.size() <= kLongestEntryText) {
    // Most cells: a text stored as it stands, which needs no parsing.
    WriteStoredText(writer, text);
    return;
  }
  std::optional<std::string> reason;
  const Cell cell = ParseCsvCell(context, index, layout, text, mayHoldCr, scratch, reason);
  if (reason) {
    warnings.push_back(Format("%s: %s", CellPlace(context, index, lineNumber, column).c_str(),
                              reason->c_str()));
  }
  if (!EncodeCell(writer, layout, cell)) {
    warnings.push_back(Format("%s: text cut to %zu characters",
                              CellPlace(context, index, lineNumber, column).c_str(),
                              kLongestEntryText));
  }
}

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
      columns(CsvColumns(master)) {
  for (size_t slot = 0; slot < choices.size(); ++slot) {
    const uint32_t type = master.fields[slot].type;
    layouts[slot] = GetEntryLayout(type);
    if (layouts[slot] == EntryLayout::kChoice) {
      choices[slot] = ChoiceLookup(ByteView(popupLists[slot]));
    }
    if (type != kEmptySlot) usedSlots = static_cast<int>(slot) + 1;
  }
}

int GetCsvColumn(int slot, const MasterRecord& master) {
  return IsValidSlot(slot) ? CsvColumns(master)[static_cast<size_t>(slot)] : -1;
}

int32_t BuildRecordFromCsv(const RecordBuildContext& context, const CsvTable& lines, size_t line,
                           Bytes& out, int lineNumber, std::vector<std::string>& warnings) {
  const std::span<const CsvTable::Span> fields = lines.LineFields(line);
  // Room for the record as its cells nearly always are: no entry is longer
  // than its text with the length and NUL around it, or than the longest
  // fixed entry. (Room is only a guess: the writer grows past it.)
  size_t room = 1 + kRecordPrefixSize + 2;
  for (const CsvTable::Span field : fields) room += field.length;
  room += static_cast<size_t>(context.usedSlots) * (3 + kLongestFixedEntry);
  CursorWriter writer(out, room);
  if (context.master.recordPrefixFlag != 0) {
    uint8_t* const prefix = writer.Take(1 + kRecordPrefixSize);
    prefix[0] = 1;
    std::memset(prefix + 1, 0, kRecordPrefixSize);
    std::memcpy(prefix + 1, kRecordPrefixText.data(), kRecordPrefixText.size());
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
    const int column = context.columns[static_cast<size_t>(slot)];
    const CsvTable::Span field = column >= 0 && static_cast<size_t>(column) < fields.size()
                                     ? fields[static_cast<size_t>(column)]
                                     : CsvTable::Span{};
    WriteEntry(context, slot, lines, field, lineNumber, writer, scratch, warnings);
  }
  if (context.usedSlots < kFieldSlots) writer.WriteU16LE(kEndMark);
  return static_cast<int32_t>(writer.Finish());
}

SlotColumns GetCsvColumns(const MasterRecord& master) { return CsvColumns(master); }

uint32_t GetLargestUnique(const CsvTable& lines, const MasterRecord& master,
                          bool fieldNames) {
  return GetLargestUnique(lines, master, CsvColumns(master), fieldNames ? 1 : 0);
}

uint32_t GetLargestUnique(const CsvTable& lines, const MasterRecord& master,
                          const SlotColumns& columns, size_t firstLine) {
  std::vector<int> uniqueColumns;
  for (size_t slot = 0; slot < columns.size(); ++slot) {
    if (IsUniqueType(master.fields[slot].type)) uniqueColumns.push_back(columns[slot]);
  }
  uint32_t largest = 0;
  if (uniqueColumns.empty()) return largest;
  for (size_t i = firstLine; i < lines.lineCount(); ++i) {
    for (int column : uniqueColumns) {
      if (column >= 0) lines.PrefetchField(i + kColumnPrefetchLines, static_cast<size_t>(column));
      largest = std::max(largest, static_cast<uint32_t>(ParseDecimal(CellOf(lines, i, column))));
    }
  }
  return largest;
}

}  // namespace qv
