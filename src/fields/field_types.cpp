// The field types table, indexed by type code.
#include "fields/field_types.h"

#include <array>

namespace qv {
namespace {

// Every entry has its 2-byte length; one-byte values, numbers, dates and
// times are bounded by 6 bytes.
constexpr std::array<FieldTypeInfo, 16> kFieldTypes = {{
    {EntryLayout::kNothing, 6},                                // 0 empty slot
    {EntryLayout::kText, 3},                                   // 1 text
    {EntryLayout::kInteger, 6},                                // 2 integer
    {EntryLayout::kShortText, 3 + kShortTextMax},              // 3 short text
    {EntryLayout::kChoice, 6},                                 // 4 popup
    {EntryLayout::kCheckBox, 6},                               // 5 check box
    {EntryLayout::kUnique, 6},                                 // 6 unique number
    {EntryLayout::kZeroByte, 6},                               // 7 one byte
    {EntryLayout::kDate, 6},                                   // 8 date
    {EntryLayout::kTime, 6},                                   // 9 time
    {EntryLayout::kUnique, 6},                                 // 10 unique number
    {EntryLayout::kUniqueExt, 6 + kUniqueExtensionSize},       // 11 extended unique number
    {EntryLayout::kText, 3},                                   // 12 long text
    {EntryLayout::kNothing, 6},                                // 13 no data
    {EntryLayout::kText, 3},                                   // 14 text
    {EntryLayout::kSubKindText, 3 + kShortTextMax},            // 15 sub-kind text
}};

constexpr FieldTypeInfo kUnknownType{EntryLayout::kNothing, 6};

}  // namespace

const FieldTypeInfo& GetFieldTypeInfo(uint32_t type) {
  if (type < kFieldTypes.size()) return kFieldTypes[type];
  return kUnknownType;
}

}  // namespace qv
