// Data records (records 31 on): a flag byte, a 20-byte prefix when the flag
// is not 0, then one entry per field slot in slot order: a little-endian
// 16-bit length and that many data bytes. A length of 65535 is the end mark.
//
//   type        data
//   1,12,14     text + NUL (length 0 for empty text)
//   2,6,10      int32 little-endian
//   3,15        at most 9 characters + NUL
//   4           choice index (255 = no value)
//   5           0 or 1
//   7           0
//   8           stored date (4 bytes)
//   9           stored time (4 bytes)
//   11          int32 little-endian + 20 zero bytes
//   13          nothing
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "pdb/byte_io.h"
#include "pdb/master_record.h"

namespace qv {

inline constexpr uint16_t kEndMark = 0xFFFF;
inline constexpr size_t kRecordPrefixSize = 20;

// Offset of field n's first data byte, or -1 when the end mark (or the end of
// the record, or an entry running past it) comes at or before entry n.
int GetFieldOffset(int n, ByteView record);
// Data length of field n, or 0 in the same cases.
int GetFieldLength(ByteView record, int n);

struct RenderContext {
  const MasterRecord& master;
  int dateFormat = 0;
  int timeFormat = 0;
  // The popup list record of each slot, or nothing when it cannot be read.
  std::array<std::optional<ByteView>, kFieldSlots> popupLists{};
};

// The text of field `slot` of `record`: empty when the field has no data,
// when a number, date or time holds fewer than 4 bytes, for types 0, 7, 13
// and codes above 15, and for a slot outside 0-29. Stored texts end at their
// NUL or at the end of their data and are never cut. A popup index renders
// through the slot's list (limit 79); 255 gives "No Value" even without one.
std::string RenderField(const RenderContext& context, ByteView record, int slot);
// The data of every slot of `record`, found in one walk of its entries. A
// slot with no data (past the end mark, or behind an entry that runs past
// the record's end) gets an empty view, as FieldData would give it.
using RecordFields = std::array<ByteView, kFieldSlots>;
RecordFields SplitRecordFields(ByteView record);
// RenderField for a record already split, without copying stored texts: the
// result views `record` or `scratch` and is valid until either changes.
std::string_view RenderSplitField(const RenderContext& context, ByteView record,
                                  const RecordFields& fields, int slot, std::string& scratch);

// A type-15 field by its definition's subKind: 0, 1, 4-6 the stored text,
// 2 a number of seconds as a time, 3 a day count as a date. "Error!" for any
// other subKind and for a field without data.
std::string RenderSubKindField(const RenderContext& context, ByteView record, int slot);

}  // namespace qv
