// Walking the entries of a data record.
#include "fields/record_layout.h"

namespace qv {

// Runs once per record of every export, so it reads the entries with
// plain loads and one bounds check each instead of a ByteReader.
RecordFields SplitRecordFields(ByteView record) {
  RecordFields fields;
  const size_t size = record.size();
  const uint8_t* const bytes = record.data();
  // An empty record has no flag byte, and no entry either.
  size_t at = size == 0 ? 0 : bytes[0] != 0 ? 1 + kRecordPrefixSize : 1;
  for (size_t slot = 0; slot < kFieldSlots; ++slot) {
    if (at > size || size - at < 2) break;
    const size_t length = static_cast<size_t>(bytes[at]) | static_cast<size_t>(bytes[at + 1]) << 8;
    if (length == kEndMark) break;
    at += 2;
    if (size - at < length) break;
    fields.start_[slot] = bytes + at;
    fields.size_[slot] = static_cast<uint16_t>(length);
    fields.count_ = slot + 1;
    at += length;
  }
  // Its views past count_ are left unset on purpose (see RecordFields).
  // cppcheck-suppress uninitvar
  return fields;
}

}  // namespace qv
