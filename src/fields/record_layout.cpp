#include "fields/record_layout.h"

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
std::string StoredText(ByteView data) {
  const std::string_view text = AsText(data);
  return std::string(text.substr(0, text.find('\0')));
}

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

std::string RenderInteger(ByteView data) {
  const std::optional<StoredValue> bytes = FourBytes(data);
  return bytes ? std::to_string(LittleEndianInt(*bytes)) : std::string();
}

bool IsSlot(int slot) { return slot >= 0 && slot < kFieldSlots; }

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
  const ByteView data = FieldData(record, slot);
  if (data.empty()) return {};
  switch (context.master.fields[slot].type) {
    case kText:
    case kShortText:
    case kLongText:
    case kText2:
      return StoredText(data);
    case kInteger:
    case kUniqueInteger:
    case kUniqueInteger2:
    case kUniqueIntegerExt:
      return RenderInteger(data);
    case kPopup: {
      std::string text;
      ChoiceText(context.popupLists[slot], data[0], text, kChoiceMax);
      return text;
    }
    case kCheckBox:
      return data[0] != 0 ? "1" : "0";
    case kDate: {
      const std::optional<StoredValue> bytes = FourBytes(data);
      return bytes ? FormatStoredDate(*bytes, context.dateFormat) : std::string();
    }
    case kTime: {
      const std::optional<StoredValue> bytes = FourBytes(data);
      return bytes ? FormatTime(*bytes, context.timeFormat) : std::string();
    }
    case kSubKindText:
      return RenderSubKindField(context, record, slot);
    default:  // empty slots, the one-byte and no-data types, unknown codes
      return {};
  }
}

std::string RenderSubKindField(const RenderContext& context, ByteView record, int slot) {
  const ByteView data = IsSlot(slot) ? FieldData(record, slot) : ByteView();
  if (data.empty()) return std::string(kErrorText);
  const std::string text = StoredText(data);
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
