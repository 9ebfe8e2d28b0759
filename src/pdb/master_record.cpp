#include "pdb/master_record.h"

#include <cstdio>

namespace qv {

namespace {

// The reader and the writer walk the record with one field list, so they can
// never disagree on order or width. Each "Io" type either fills the fields
// from a ByteReader or appends them to a ByteWriter.
struct FieldReader {
  ByteReader& in;
  void Word(uint32_t& value) { value = in.ReadU16BE(); }
  void Long(uint32_t& value) { value = in.ReadU32BE(); }
  void Long(int32_t& value) { value = static_cast<int32_t>(in.ReadU32BE()); }
  void Byte(uint8_t& value) { value = in.ReadU8(); }
  void Byte(int8_t& value) { value = static_cast<int8_t>(in.ReadU8()); }
  template <typename T, size_t N>
  void Raw(std::array<T, N>& bytes) {
    static_assert(sizeof(T) == 1);
    in.Copy(std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), N));
  }
};

struct FieldWriter {
  ByteWriter& out;
  void Word(uint32_t value) { out.WriteU16BE(value); }
  void Long(uint32_t value) { out.WriteU32BE(value); }
  void Long(int32_t value) { out.WriteU32BE(static_cast<uint32_t>(value)); }
  void Byte(uint8_t value) { out.WriteU8(value); }
  void Byte(int8_t value) { out.WriteU8(static_cast<uint8_t>(value)); }
  template <typename T, size_t N>
  void Raw(const std::array<T, N>& bytes) {
    static_assert(sizeof(T) == 1);
    out.WriteBytes(ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), N));
  }
};

template <typename Io, typename Block>
void TransferAuxiliaryBlock(Io& io, Block& block) {
  io.Word(block.firstCode);
  io.Word(block.secondCode);
  io.Raw(block.firstText);
  io.Raw(block.secondText);
  io.Long(block.firstNumber);
  io.Long(block.secondNumber);
}

template <typename Io, typename Field>
void TransferField(Io& io, Field& field) {
  io.Word(field.type);
  io.Word(field.maxLength);
  io.Byte(field.longTextFlag);
  io.Byte(field.optionByte);
  io.Word(field.optionWord);
  io.Raw(field.attributeBytes);
  io.Raw(field.kindData);
  io.Byte(field.extraByte1);
  io.Byte(field.extraByte2);
  io.Raw(field.name);
}

// Offsets 0 to 2037: everything a version 1 record holds.
template <typename Io, typename Record>
void TransferBody(Io& io, Record& record) {
  io.Long(record.nextUniqueValue);
  for (auto& block : record.auxiliaryBlocks) TransferAuxiliaryBlock(io, block);
  io.Raw(record.bytePairs);
  io.Byte(record.settingByte1);
  io.Byte(record.settingByte2);
  io.Word(record.settingWord1);
  io.Word(record.settingWord2);
  io.Byte(record.settingByte3);
  io.Byte(record.settingByte4);
  io.Raw(record.password);
  for (auto& field : record.fields) TransferField(io, field);
  io.Byte(record.settingByte5);
  io.Byte(record.settingByte6);
  io.Raw(record.settingText);
  io.Byte(record.settingByte7);
  io.Word(record.recordPrefixFlag);
  io.Word(record.settingWord3);
  io.Word(record.settingWord4);
  io.Byte(record.formatVersion);
  io.Byte(record.loadedMark);
  io.Raw(record.columnOrder);
  io.Raw(record.auxTable1);
  io.Raw(record.auxTable2);
}

// Offsets 2038 to 2151, added by version 2.
template <typename Io, typename Record>
void TransferTail(Io& io, Record& record) {
  io.Word(record.permissionBits);
  io.Raw(record.extraText1);
  io.Raw(record.extraText2);
  io.Word(record.subKindFlag);
}

void RepairColumnOrder(MasterRecord& record) {
  // An entry past the last slot (but not one stored as 128-255, which reads
  // as negative) is taken as slot 0; whatever is still not a permutation
  // falls back to showing the slots in their own order.
  for (int8_t& entry : record.columnOrder) {
    if (entry >= kFieldSlots) entry = 0;
  }
  if (IsValidColumnOrder(record)) return;
  for (int p = 0; p < kFieldSlots; ++p) record.columnOrder[p] = static_cast<int8_t>(p);
}

// Brings a record of any other version to version 2.
void UpgradeMasterRecord(MasterRecord& record) {
  for (FieldDefinition& field : record.fields) {
    field.longTextFlag = 0;
    if (field.attributeBytes[1] != 0) field.attributeBytes[0] = 1;
    if (field.type == kShortText) field.maxLength = 4;
    if (field.type == kLongText) field.longTextFlag = 1;
    if (field.type == kPopup) field.attributeBytes[4] = 0;
    field.attributeBytes[2] = 0;
    field.extraByte1 = 0;
  }
  record.settingByte3 = 0;
  record.permissionBits = 0;
  record.settingWord4 = 0;
  record.settingByte7 = 0;
  record.loadedMark = 0;
  record.subKindFlag = 0;
  // An older record knew only its password: a protected database keeps
  // asking for it on export (operation 0) and on operation 4.
  if (!FixedText(record.password).empty()) {
    SetPermission(record, 0, 1);
    SetPermission(record, 4, 1);
  }
  record.extraText1.fill('\0');
  record.extraText2.fill('\0');
  record.formatVersion = 2;
}

constexpr size_t kFirstEntryOffset = kHeaderSize;

}  // namespace

Result<MasterRecord> ReadMasterRecord(ByteView file, const DatabaseHeader& header) {
  if (header.recordCount == 0) return Failure{"the database has no field definitions"};
  ByteReader list(file, kFirstEntryOffset);
  const RecordEntry entry = ReadRecordEntry(list);
  if (!list.ok()) return Failure{"the record list is cut short"};

  // The fields are read one after another from the record's start, whatever
  // the record's extent says, so a record 0 stored shorter than its version
  // implies takes its remaining bytes from what follows it.
  ByteReader in(file);
  if (!in.Seek(entry.dataOffset)) return Failure{"the field definitions lie past the end"};
  MasterRecord read;
  FieldReader io{in};
  TransferBody(io, read);
  RepairColumnOrder(read);
  if (read.formatVersion > 1) TransferTail(io, read);
  if (!in.ok()) return Failure{"the field definitions are cut short"};

  if (read.formatVersion != 2) UpgradeMasterRecord(read);
  read.loadedMark = 1;
  if (AnyFlaggedSubKindField(read)) read.subKindFlag = 1;
  return read;
}

void WriteMasterRecord(const MasterRecord& record, ByteWriter& out) {
  FieldWriter io{out};
  TransferBody(io, record);
  TransferTail(io, record);
}

void SetDefaultMasterRecord(MasterRecord& record) {
  record = MasterRecord{};
  for (int i = 0; i < kFieldSlots; ++i) {
    FieldDefinition& field = record.fields[i];
    char name[sizeof field.name];
    (void)std::snprintf(name, sizeof name, "Field %u", static_cast<unsigned>(i + 1));
    SetFixedText(field.name, name);
    field.maxLength = 40;
    field.optionWord = 58;
    field.attributeBytes[0] = 1;
    field.attributeBytes[1] = 1;
    field.extraByte2 = 255;
    record.columnOrder[i] = static_cast<int8_t>(i);
  }
  record.bytePairs = {255, 1, 255, 1, 255, 1};
  record.settingByte1 = 255;
  record.settingByte2 = 1;
  record.settingByte3 = 1;
  record.settingByte4 = 1;
  record.settingWord1 = 31;
  record.formatVersion = 2;
  record.nextUniqueValue = 1;
  record.settingByte5 = 255;
  for (AuxiliaryBlock& block : record.auxiliaryBlocks) block.secondNumber = 65000;
}

bool IsValidColumnOrder(const MasterRecord& record) {
  std::array<bool, kFieldSlots> seen{};
  for (int8_t entry : record.columnOrder) {
    if (entry < 0 || entry >= kFieldSlots || seen[entry]) return false;
    seen[entry] = true;
  }
  return true;
}

// Each operation has two bits; the 32-bit holder has room for 16 operations
// (8 of which survive on disk), and anything beyond reads as allowed.
int GetPermission(const MasterRecord& record, int operation) {
  if (operation < 0 || operation >= 16) return 0;
  return static_cast<int>((record.permissionBits >> (2 * operation)) & 3u);
}

void SetPermission(MasterRecord& record, int operation, int value) {
  if (operation < 0 || operation >= 16) return;
  const unsigned shift = 2u * static_cast<unsigned>(operation);
  record.permissionBits &= ~(3u << shift);
  record.permissionBits |= (static_cast<uint32_t>(value) & 3u) << shift;
}

int GetExportPermission(const MasterRecord& record) {
  const int value = GetPermission(record, 0);
  return value >= 2 ? -1 : value;
}

bool AnyUsedFieldFrom(const MasterRecord& record, int slot) {
  for (int i = slot < 0 ? 0 : slot; i < kFieldSlots; ++i) {
    if (record.fields[i].type != kEmptySlot) return true;
  }
  return false;
}

bool IsFlaggedSubKindField(const MasterRecord& record, int slot) {
  if (slot < 0 || slot >= kFieldSlots) return false;
  const FieldDefinition& field = record.fields[slot];
  return field.type == kSubKindText && field.attributeBytes[2] != 0;
}

bool AnyFlaggedSubKindField(const MasterRecord& record) {
  for (int i = 0; i < kFieldSlots; ++i) {
    if (IsFlaggedSubKindField(record, i)) return true;
  }
  return false;
}

}  // namespace qv
