// Walking the entries of a data record.
#include "fields/record_layout.h"

#include <climits>
#include <optional>

namespace qv {
namespace {

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

}  // namespace

int GetFieldOffset(ByteView record, int n) {
  const std::optional<FieldSpan> span = FindField(record, n);
  if (!span || span->offset > static_cast<size_t>(INT_MAX)) return -1;
  return static_cast<int>(span->offset);
}

int GetFieldLength(ByteView record, int n) {
  const std::optional<FieldSpan> span = FindField(record, n);
  return span ? static_cast<int>(span->length) : 0;
}

// Runs once per record of every export, so it reads the entries with
// plain loads and one bounds check each instead of a ByteReader.
RecordFields SplitRecordFields(ByteView record) {
  RecordFields fields{};
  const size_t size = record.size();
  if (size == 0) return fields;
  const uint8_t* const bytes = record.data();
  size_t at = bytes[0] != 0 ? 1 + kRecordPrefixSize : 1;
  for (ByteView& field : fields) {
    if (at > size || size - at < 2) break;
    const size_t length = static_cast<size_t>(bytes[at]) | static_cast<size_t>(bytes[at + 1]) << 8;
    if (length == kEndMark) break;
    at += 2;
    if (size - at < length) break;
    field = record.subspan(at, length);
    at += length;
  }
  return fields;
}

}  // namespace qv
