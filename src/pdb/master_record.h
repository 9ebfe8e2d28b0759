// The MasterRecord: record 0 of every database, the definition of its 30
// field slots. Numbers are big-endian. Layout of the current (version 2)
// record, 2152 bytes; a version 1 record ends at 2038, before the tail.
//
//   offset  size  field
//        0     4  nextUniqueValue
//        4    92  auxiliaryBlocks[0]  (2 code, 2 code, 40 text, 40 text, 4, 4)
//       96    92  auxiliaryBlocks[1]
//      188     6  bytePairs
//      194     1  settingByte1
//      195     1  settingByte2
//      196     2  settingWord1
//      198     2  settingWord2
//      200     1  settingByte3
//      201     1  settingByte4
//      202    20  password
//      222  1680  fields[30], 56 bytes each:
//                   0 type(2) 2 maxLength(2) 4 longTextFlag 5 optionByte
//                   6 optionWord(2) 8 attributeBytes[6] 14 kindData[20]
//                   (its last byte is subKind) 34 extraByte1 35 extraByte2
//                   36 name[20]
//     1902     1  settingByte5
//     1903     1  settingByte6
//     1904    35  settingText
//     1939     1  settingByte7
//     1940     2  recordPrefixFlag
//     1942     2  settingWord3
//     1944     2  settingWord4
//     1946     1  formatVersion
//     1947     1  loadedMark
//     1948    30  columnOrder
//     1978    30  auxTable1
//     2008    30  auxTable2
//     ---- tail, present when formatVersion > 1 ----
//     2038     2  permissionBits
//     2040    40  extraText1
//     2080    70  extraText2
//     2150     2  subKindFlag
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pdb/byte_io.h"
#include "pdb/database.h"
#include "pdb/result.h"

namespace qv {

inline constexpr int kFieldSlots = 30;
inline constexpr size_t kMasterRecordSize = 2152;
inline constexpr size_t kMasterRecordV1Size = 2038;
inline constexpr size_t kFieldNameMax = 19;

// Field type codes.
enum FieldType : uint32_t {
  kEmptySlot = 0,
  kText = 1,
  kInteger = 2,
  kShortText = 3,
  kPopup = 4,
  kCheckBox = 5,
  kUniqueInteger = 6,
  kOneByteValue = 7,
  kDate = 8,
  kTime = 9,
  kUniqueInteger2 = 10,
  kUniqueIntegerExt = 11,
  kLongText = 12,
  kNoData = 13,
  kText2 = 14,
  kSubKindText = 15,
};

struct AuxiliaryBlock {
  uint32_t firstCode = 0;
  uint32_t secondCode = 0;
  std::array<char, 40> firstText{};
  std::array<char, 40> secondText{};
  int32_t firstNumber = 0;
  int32_t secondNumber = 0;
};

struct FieldDefinition {
  uint32_t type = 0;
  uint32_t maxLength = 0;
  uint8_t longTextFlag = 0;
  uint8_t optionByte = 0;
  uint32_t optionWord = 0;
  std::array<uint8_t, 6> attributeBytes{};
  std::array<char, 20> kindData{};
  uint8_t extraByte1 = 0;
  uint8_t extraByte2 = 0;
  std::array<char, 20> name{};

  int8_t subKind() const { return static_cast<int8_t>(kindData[19]); }
};

struct MasterRecord {
  uint32_t nextUniqueValue = 0;
  std::array<AuxiliaryBlock, 2> auxiliaryBlocks{};
  std::array<uint8_t, 6> bytePairs{};
  uint8_t settingByte1 = 0;
  uint8_t settingByte2 = 0;
  uint32_t settingWord1 = 0;
  uint32_t settingWord2 = 0;
  uint8_t settingByte3 = 0;
  uint8_t settingByte4 = 0;
  std::array<char, 20> password{};
  std::array<FieldDefinition, kFieldSlots> fields{};
  uint8_t settingByte5 = 0;
  uint8_t settingByte6 = 0;
  std::array<char, 35> settingText{};
  uint8_t settingByte7 = 0;
  uint32_t recordPrefixFlag = 0;
  uint32_t settingWord3 = 0;
  uint32_t settingWord4 = 0;
  int8_t formatVersion = 0;
  uint8_t loadedMark = 0;
  std::array<int8_t, kFieldSlots> columnOrder{};
  std::array<uint8_t, kFieldSlots> auxTable1{};
  std::array<uint8_t, kFieldSlots> auxTable2{};
  uint32_t permissionBits = 0;
  std::array<char, 40> extraText1{};
  std::array<char, 70> extraText2{};
  uint32_t subKindFlag = 0;
};

// Reads record 0 of `file` (whose header has been read), repairing the
// column order and upgrading older versions. Refused when the header counts
// no records, the first entry cannot be read, or the file ends before the
// record does.
Result<MasterRecord> ReadMasterRecord(ByteView file, const DatabaseHeader& header);
// Appends the 2152 bytes of the current format.
void WriteMasterRecord(const MasterRecord& record, ByteWriter& out);
// Zeroes the whole record, then sets every default.
void SetDefaultMasterRecord(MasterRecord& record);

bool IsValidColumnOrder(const MasterRecord& record);
int GetPermission(const MasterRecord& record, int operation);
void SetPermission(MasterRecord& record, int operation, int value);
// 0 allowed, 1 allowed with the password, -1 denied (operation 0).
int GetExportPermission(const MasterRecord& record);
bool AnyUsedFieldFrom(const MasterRecord& record, int slot);
bool IsFlaggedSubKindField(const MasterRecord& record, int slot);
bool AnyFlaggedSubKindField(const MasterRecord& record);

// A fixed-width text field up to its NUL (or its full width).
template <size_t N>
std::string_view FixedText(const std::array<char, N>& text) {
  size_t length = 0;
  while (length < N && text[length] != '\0') ++length;
  return {text.data(), length};
}
// Stores `value` cut to N-1 bytes, zero-padding the rest.
template <size_t N>
void SetFixedText(std::array<char, N>& text, std::string_view value) {
  text.fill('\0');
  for (size_t i = 0; i < value.size() && i + 1 < N; ++i) text[i] = value[i];
}

}  // namespace qv
