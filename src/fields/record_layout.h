// Data records (records 31 on): a flag byte, a 20-byte prefix when the flag
// is not 0, then one entry per field slot in slot order: a little-endian
// 16-bit length and that many data bytes. A length of 65535 is the end mark.
// What each type's entry holds is in the field types table
// (fields/field_types.h).
#pragma once

#include <array>
#include <cstdint>

#include "pdb/byte_io.h"
#include "pdb/master_record.h"

namespace qv {

inline constexpr uint16_t kEndMark = 0xFFFF;
inline constexpr size_t kRecordPrefixSize = 20;

// The data of every slot of a record, as SplitRecordFields found it. Only
// the slots up to the last one found are kept (the rest are not even set,
// which spares clearing 30 views for every record); any other slot reads as
// empty.
class RecordFields {
 public:
  ByteView operator[](size_t slot) const {
    return slot < count_ ? ByteView(start_[slot], size_[slot]) : ByteView();
  }

 private:
  friend RecordFields SplitRecordFields(ByteView record);
  size_t count_ = 0;
  // Left unset on purpose past count_, where nothing reads them.
  // cppcheck-suppress uninitMemberVarPrivate
  const uint8_t* start_[kFieldSlots];
  // cppcheck-suppress uninitMemberVarPrivate
  uint16_t size_[kFieldSlots];
};

// The data of every slot of `record`, found in one walk of its entries. A
// slot with no data (past the end mark, or behind an entry that runs past
// the record's end) gets an empty view.
RecordFields SplitRecordFields(ByteView record);

}  // namespace qv
