// Data records to typed cells, by the field types table.
#include "convert/record_decoder.h"

#include <new>

#include "convert/csv_writer.h"
#include "csv/byte_scan.h"
#include "fields/date_time.h"
#include "fields/field_types.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

inline constexpr std::string_view kErrorText = "Error!";

bool IsSlot(int slot) { return slot >= 0 && slot < kFieldSlots; }

// A stored text ends at its NUL, or at the end of its data when the NUL is
// missing.
std::string_view StoredTextView(ByteView data) {
  const std::string_view text = AsText(data);
  return text.substr(0, FindByte(text.data(), 0, text.size(), '\0'));
}

Cell TextCell(std::string_view text) {
  Cell cell;
  cell.kind = CellKind::kText;
  cell.hasValue = true;
  cell.text = text;
  return cell;
}

Cell IntegerCell(CellKind kind, int32_t value) {
  Cell cell;
  cell.kind = kind;
  cell.hasValue = true;
  cell.integer = value;
  return cell;
}

// A stored day count as a date cell; the first day of the calendar is the
// "no date" marker.
Cell DateCell(uint32_t dayCount) {
  const PackedDate packed = DayCountToDate(dayCount);
  Cell cell;
  cell.kind = CellKind::kDate;
  cell.dayCount = dayCount;
  cell.date = {packed.yearSince1904 + 1904, packed.month, packed.day};
  cell.hasValue = !(packed.month <= 1 && packed.day <= 1 && packed.yearSince1904 == 0);
  return cell;
}

// Hours and minutes as the stored bytes hold them: hour 255 is "no time".
Cell TimeCell(uint8_t hours, uint8_t minutes) {
  Cell cell;
  cell.kind = CellKind::kTime;
  cell.hasValue = hours != kNoTimeHour;
  cell.time = {hours, minutes};
  return cell;
}

// A type-15 field by the definition's subKind.
Cell DecodeSubKind(const FieldDefinition& field, ByteView data) {
  const std::string_view text = StoredTextView(data);
  switch (field.subKind()) {
    case 0:
    case 1:
    case 4:
    case 5:
    case 6:
      return TextCell(text);
    case 2: {
      // A number of seconds; hours are not reduced modulo 24, and each part
      // keeps the low byte a stored time would.
      const int32_t seconds = ParseDecimal(text);
      const int32_t hours = seconds / 3600;
      const int32_t minutes = (seconds - 3600 * hours) / 60;
      return TimeCell(static_cast<uint8_t>(hours), static_cast<uint8_t>(minutes));
    }
    case 3:
      return DateCell(static_cast<uint32_t>(ParseDecimal(text)));
    default:
      return TextCell(kErrorText);
  }
}

}  // namespace

RecordDecoder::RecordDecoder(const MasterRecord& master, const PopupListViews& popupLists)
    : master_(master) {
  for (size_t slot = 0; slot < choices_.size(); ++slot) {
    layouts_[slot] = GetEntryLayout(master.fields[slot].type);
    if (layouts_[slot] != EntryLayout::kChoice) continue;
    ForEachChoiceText(popupLists[slot],
                      [&](std::string_view text) { choices_[slot].push_back(text); });
  }
}

Cell RecordDecoder::DecodeField(const RecordFields& fields, int slot) const {
  if (!IsSlot(slot)) return {};
  const size_t index = static_cast<size_t>(slot);
  const ByteView data = fields[index];
  if (data.empty()) return {};
  const EntryLayout layout = layouts_[index];
  switch (layout) {
    case EntryLayout::kText:
    case EntryLayout::kShortText:
      return TextCell(StoredTextView(data));
    case EntryLayout::kInteger:
    case EntryLayout::kUnique:
    case EntryLayout::kUniqueExt:
      if (data.size() < 4) return {};
      return IntegerCell(layout == EntryLayout::kInteger ? CellKind::kInteger : CellKind::kUnique,
                         static_cast<int32_t>(LoadU32LE(data)));
    case EntryLayout::kChoice: {
      Cell cell;
      cell.kind = CellKind::kChoice;
      cell.choice = data[0];
      cell.hasValue = data[0] != kNoChoice;
      const std::vector<std::string_view>& texts = choices_[index];
      if (!cell.hasValue) {
        cell.text = kNoValueText;
      } else if (data[0] < texts.size()) {
        cell.text = texts[data[0]];
      }
      return cell;
    }
    case EntryLayout::kCheckBox: {
      Cell cell;
      cell.kind = CellKind::kCheckBox;
      cell.hasValue = true;
      cell.checked = data[0] != 0;
      return cell;
    }
    case EntryLayout::kDate:
      if (data.size() < 4) return {};
      return DateCell(LoadU32LE(data));
    case EntryLayout::kTime:
      // Stored as second, minute, hour, 0.
      if (data.size() < 4) return {};
      return TimeCell(data[2], data[1]);
    case EntryLayout::kSubKindText:
      return DecodeSubKind(master_.fields[index], data);
    case EntryLayout::kZeroByte:
    case EntryLayout::kNothing:
      return {};
  }
  return {};
}

void RecordDecoder::DecodeRow(ByteView record, std::span<const int> slots,
                              std::span<Cell> row) const {
  const RecordFields fields = SplitRecordFields(record);
  // Each cell is made where it is kept: assigning a returned cell made the
  // compiler build it on the stack with narrow stores and copy it with wide
  // loads, which stall (the store cannot be forwarded) on every field.
  for (size_t k = 0; k < slots.size(); ++k) {
    ::new (static_cast<void*>(&row[k])) Cell(DecodeField(fields, slots[k]));
  }
}

std::string RenderField(const RenderContext& context, ByteView record, int slot) {
  const RecordDecoder decoder(context.master, context.popupLists);
  const Cell cell = decoder.DecodeField(SplitRecordFields(record), slot);
  std::string scratch;
  return std::string(CellText(cell, context.dateFormat, context.timeFormat, scratch));
}

std::string RenderSubKindField(const RenderContext& context, ByteView record, int slot) {
  if (!IsSlot(slot)) return std::string(kErrorText);
  const ByteView data = SplitRecordFields(record)[static_cast<size_t>(slot)];
  if (data.empty()) return std::string(kErrorText);
  const Cell cell = DecodeSubKind(context.master.fields[static_cast<size_t>(slot)], data);
  std::string scratch;
  return std::string(CellText(cell, context.dateFormat, context.timeFormat, scratch));
}

}  // namespace qv
