// The field types table: for each type code, how its entry in a data record
// is laid out. The record decoder and the record builder both go by it, so
// a type is described here once.
//
//   type        entry
//   1,12,14     text + NUL (length 0 for empty text)
//   2           int32 little-endian
//   3           at most 9 characters + NUL
//   4           choice index, one byte (255 = no value)
//   5           check box, one byte: 0 or 1
//   6,10        unique number, int32 little-endian
//   7           one byte, always written 0
//   8           stored date (4 bytes)
//   9           stored time (4 bytes)
//   11          unique number, int32 little-endian + 20 zero bytes
//   13          nothing
//   15          at most 9 characters + NUL, read according to the
//               definition's subKind
//   0 (empty slot) and codes above 15 have no data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

enum class EntryLayout : uint8_t {
  kNothing,
  kText,
  kShortText,
  kSubKindText,
  kInteger,
  kUnique,
  kUniqueExt,
  kChoice,
  kCheckBox,
  kZeroByte,
  kDate,
  kTime,
};

// The longest text a short-text entry (types 3 and 15) holds.
inline constexpr size_t kShortTextMax = 9;
// The zero bytes that follow the number of a type-11 entry.
inline constexpr size_t kUniqueExtensionSize = 20;

struct FieldTypeInfo {
  EntryLayout layout = EntryLayout::kNothing;
  // The most bytes the builder writes for the entry (length included), not
  // counting the text of a kText entry.
  size_t entrySizeBound = 0;
};

// The entry of type code `type`; any code without an entry of its own
// (0, 13, above 15) gives kNothing.
const FieldTypeInfo& GetFieldTypeInfo(uint32_t type);

inline EntryLayout GetEntryLayout(uint32_t type) { return GetFieldTypeInfo(type).layout; }

}  // namespace qv
