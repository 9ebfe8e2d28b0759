#include "fields/record_layout.h"

#include <charconv>
#include <climits>
#include <string_view>

#include "fields/date_time.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

inline constexpr std::string_view kErrorText = "Error!";

struct FieldSpan {
  size_t offset = 0;  // first data byte, from the start of the record
  size_t length = 0;
};

// Walks the entries up to field n. A record too short for its flag byte or
// prefix has no fields; an entry that is cut off by the end of the record is
// treated like the end mark, so neither it nor any later field has data.
std::optional<FieldSpan> FindField(ByteView record, int n) {
  if (record.empty() || n < 0) return std::nullopt;
  ByteReader reader(record);
  if (reader.ReadU8() != 0) reader.Skip(kRecordPrefixSize);
  for (int k = 0;; ++k) {
    const uint16_t length = reader.ReadU16LE();
    if (!reader.ok() || length == kEndMark) return std::nullopt;
    const size_t offset = reader.position();
    if (!reader.Skip(length)) return std::nullopt;
    if (k == n) return FieldSpan{offset, length};
  }
}

ByteView FieldData(ByteView record, int n) {
  const std::optional<FieldSpan> span = FindField(record, n);
  if (!span) return {};
  return record.subspan(span->offset, span->length);
}

// A stored text ends at its NUL, or at the end of its data when the NUL is missing.
std::string_view StoredTextView(ByteView data) {
  const std::string_view text = AsText(data);
  return text.substr(0, text.find('\0'));
}
std::string StoredText(ByteView data) { return std::string(StoredTextView(data)); }

// Number, date and time fields hold 4 bytes; a shorter field has no value.
std::optional<StoredValue> FourBytes(ByteView data) {
  if (data.size() < 4) return std::nullopt;
  return StoredValue{data[0], data[1], data[2], data[3]};
}

int32_t LittleEndianInt(const StoredValue& bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  return static_cast<int32_t>(value);
}

std::string_view RenderInteger(ByteView data, std::string& scratch) {
  const std::optional<StoredValue> bytes = FourBytes(data);
  if (!bytes) return {};
  char digits[16];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, LittleEndianInt(*bytes));
  scratch.assign(digits, end.ptr);
  return scratch;
}

bool IsSlot(int slot) { return slot >= 0 && slot < kFieldSlots; }

// The text of `slot` given its data: a view into the record for stored
// texts and fixed answers, into `scratch` for everything formatted.
std::string_view RenderData(const RenderContext& context, ByteView record, ByteView data, int slot,
                            std::string& scratch) {
  if (data.empty()) return {};
  switch (context.master.fields[slot].type) {
    case kText:
    case kShortText:
    case kLongText:
    case kText2:
      return StoredTextView(data);
    case kInteger:
    case kUniqueInteger:
    case kUniqueInteger2:
    case kUniqueIntegerExt:
      return RenderInteger(data, scratch);
    case kPopup:
      ChoiceText(context.popupLists[slot], data[0], scratch, kChoiceMax);
      return scratch;
    case kCheckBox:
      return data[0] != 0 ? "1" : "0";
    case kDate: {
      const std::optional<StoredValue> bytes = FourBytes(data);
      if (!bytes) return {};
      scratch = FormatStoredDate(*bytes, context.dateFormat);
      return scratch;
    }
    case kTime: {
      const std::optional<StoredValue> bytes = FourBytes(data);
      if (!bytes) return {};
      scratch = FormatTime(*bytes, context.timeFormat);
      return scratch;
    }
    case kSubKindText:
      scratch = RenderSubKindField(context, record, slot);
      return scratch;
    default:  // empty slots, the one-byte and no-data types, unknown codes
      return {};
  }
}

}  // namespace

int GetFieldOffset(int n, ByteView record) {
  const std::optional<FieldSpan> span = FindField(record, n);
  if (!span || span->offset > static_cast<size_t>(INT_MAX)) return -1;
  return static_cast<int>(span->offset);
}

int GetFieldLength(ByteView record, int n) {
  const std::optional<FieldSpan> span = FindField(record, n);
  return span ? static_cast<int>(span->length) : 0;
}

std::string RenderField(const RenderContext& context, ByteView record, int slot) {
  if (!IsSlot(slot)) return {};
  std::string scratch;
  return std::string(RenderData(context, record, FieldData(record, slot), slot, scratch));
}

RecordFields SplitRecordFields(ByteView record) {
  RecordFields fields{};
  if (record.empty()) return fields;
  ByteReader reader(record);
  if (reader.ReadU8() != 0) reader.Skip(kRecordPrefixSize);
  for (ByteView& field : fields) {
    const uint16_t length = reader.ReadU16LE();
    if (!reader.ok() || length == kEndMark) break;
    const ByteView data = reader.Take(length);
    if (!reader.ok()) break;
    field = data;
  }
  return fields;
}

std::string_view RenderSplitField(const RenderContext& context, ByteView record,
                                  const RecordFields& fields, int slot, std::string& scratch) {
  if (!IsSlot(slot)) return {};
  return RenderData(context, record, fields[static_cast<size_t>(slot)], slot, scratch);
}

std::string RenderSubKindField(const RenderContext& context, ByteView record, int slot) {
  const ByteView data = IsSlot(slot) ? FieldData(record, slot) : ByteView();
  if (data.empty()) return std::string(kErrorText);
  std::string text = StoredText(data);
  switch (context.master.fields[slot].subKind()) {
    case 0:
    case 1:
    case 4:
    case 5:
    case 6:
      return text;
    case 2:
      return FormatSeconds(ParseDecimal(text), context.timeFormat);
    case 3: {
      const uint32_t dayCount = static_cast<uint32_t>(ParseDecimal(text));
      const StoredValue stored{static_cast<uint8_t>(dayCount), static_cast<uint8_t>(dayCount >> 8),
                               static_cast<uint8_t>(dayCount >> 16),
                               static_cast<uint8_t>(dayCount >> 24)};
      return FormatStoredDate(stored, context.dateFormat);
    }
    default:
      return std::string(kErrorText);
  }
}

}  // namespace qv
