#include "pdb/master_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>

#include "support/db_builder.h"

namespace qv {
namespace {

constexpr size_t kVersionOffset = 1946;
constexpr size_t kLoadedMarkOffset = 1947;
constexpr size_t kColumnOrderOffset = 1948;
constexpr size_t kPermissionOffset = 2038;
constexpr size_t kSubKindFlagOffset = 2150;

size_t FieldOffset(int slot) { return 222 + 56 * static_cast<size_t>(slot); }

Bytes MasterBytes(const MasterRecord& record) {
  Bytes bytes;
  ByteWriter out(bytes);
  WriteMasterRecord(record, out);
  return bytes;
}

MasterRecord DefaultRecord() {
  MasterRecord record;
  SetDefaultMasterRecord(record);
  return record;
}

// A database whose record 0 holds `master` and which has `following` more
// bytes as a second record after it.
Bytes FileWith(const Bytes& master, const Bytes& following = {}) {
  std::vector<Bytes> records{master};
  if (!following.empty()) records.push_back(following);
  Result<Bytes> file = AssembleDatabase(SetNewDatabaseHeader("t"), records);
  return file ? std::move(*file) : Bytes{};
}

// Reads record 0 of `file` into a defaulted record; fails the test on error.
MasterRecord ReadBack(const Bytes& file) {
  const Result<DatabaseHeader> header = ReadDatabaseHeader(file);
  EXPECT_TRUE(header);
  if (!header) return DefaultRecord();
  const Result<MasterRecord> record = ReadMasterRecord(file, *header);
  EXPECT_TRUE(record);
  return record ? *record : DefaultRecord();
}

// Bytes that exercise every field: deterministic noise, then a valid version
// 2 layout where the reader would otherwise repair or upgrade.
Bytes NoisyVersion2() {
  Bytes bytes(kMasterRecordSize);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    bytes[FieldOffset(slot)] = 0;
    bytes[FieldOffset(slot) + 1] = static_cast<uint8_t>(slot % 15);  // never type 15
  }
  bytes[kVersionOffset] = 2;
  for (int p = 0; p < kFieldSlots; ++p) bytes[kColumnOrderOffset + p] = static_cast<uint8_t>(29 - p);
  return bytes;
}

TEST(MasterRecordDefaults, SetEveryFieldAndZeroTheRest) {
  MasterRecord record;
  std::memset(static_cast<void*>(&record), 0xAB, sizeof record);  // leftovers
  SetDefaultMasterRecord(record);
  for (int i = 0; i < kFieldSlots; ++i) {
    const FieldDefinition& field = record.fields[i];
    EXPECT_EQ(FixedText(field.name), "Field " + std::to_string(i + 1));
    EXPECT_EQ(field.type, 0u);
    EXPECT_EQ(field.maxLength, 40u);
    EXPECT_EQ(field.optionWord, 58u);
    EXPECT_EQ(field.attributeBytes, (std::array<uint8_t, 6>{1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(field.extraByte2, 255);
    EXPECT_EQ(record.columnOrder[i], i);
  }
  EXPECT_EQ(record.nextUniqueValue, 1u);
  EXPECT_EQ(record.auxiliaryBlocks[1].secondNumber, 65000);
  EXPECT_EQ(record.formatVersion, 2);
  EXPECT_EQ(record.loadedMark, 0);
  EXPECT_EQ(record.subKindFlag, 0u);

  const Bytes bytes = MasterBytes(record);
  ASSERT_EQ(bytes.size(), kMasterRecordSize);
  EXPECT_EQ(bytes[kVersionOffset], 2);
  // Nothing of the 0xAB fill survives, not even after a text's terminator.
  for (size_t i = 0; i < bytes.size(); ++i) EXPECT_NE(bytes[i], 0xAB) << i;
  EXPECT_EQ(AsText(ByteView(bytes).subspan(FieldOffset(29) + 36, 20)),
            std::string_view("Field 30\0\0\0\0\0\0\0\0\0\0\0\0", 20));
  EXPECT_EQ(Bytes(bytes.begin() + 188, bytes.begin() + 200),
            (Bytes{255, 1, 255, 1, 255, 1, 255, 1, 0, 31, 0, 0}));
}

TEST(MasterRecordRead, DefaultRecordSurvivesAWriteAndRead) {
  const MasterRecord record = DefaultRecord();
  const MasterRecord read = ReadBack(FileWith(MasterBytes(record)));
  Bytes expected = MasterBytes(record);
  expected[kLoadedMarkOffset] = 1;
  EXPECT_EQ(MasterBytes(read), expected);
}

TEST(MasterRecordRead, Version2IsKeptByteForByte) {
  const Bytes stored = NoisyVersion2();
  Bytes expected = stored;
  expected[kLoadedMarkOffset] = 1;
  EXPECT_EQ(MasterBytes(ReadBack(FileWith(stored))), expected);

  // A flagged sub-kind field raises subKindFlag, whatever was stored.
  Bytes flagged = stored;
  flagged[FieldOffset(7) + 1] = kSubKindText;
  flagged[FieldOffset(7) + 8 + 2] = 1;
  flagged[kSubKindFlagOffset] = 0x12;
  flagged[kSubKindFlagOffset + 1] = 0x34;
  const MasterRecord read = ReadBack(FileWith(flagged));
  EXPECT_EQ(read.subKindFlag, 1u);
  EXPECT_EQ(read.fields[7].attributeBytes[2], 1);
}

TEST(MasterRecordRead, Version1IsUpgraded) {
  MasterRecord old = DefaultRecord();
  old.formatVersion = 1;
  old.settingByte3 = 9;
  old.settingByte7 = 9;
  old.settingWord4 = 9;
  old.fields[0].type = kShortText;
  old.fields[0].maxLength = 30;
  old.fields[0].longTextFlag = 1;
  old.fields[1].type = kLongText;
  old.fields[2].type = kPopup;
  old.fields[2].attributeBytes = {0, 1, 5, 0, 7, 0};
  old.fields[2].extraByte1 = 3;
  old.fields[3].type = kSubKindText;
  old.fields[3].attributeBytes = {0, 0, 1, 0, 7, 0};
  Bytes stored = MasterBytes(old);
  stored.resize(kMasterRecordV1Size);

  const MasterRecord read = ReadBack(FileWith(stored));
  EXPECT_EQ(read.formatVersion, 2);
  EXPECT_EQ(read.loadedMark, 1);
  EXPECT_EQ(read.fields[0].maxLength, 4u);
  EXPECT_EQ(read.fields[0].longTextFlag, 0);
  EXPECT_EQ(read.fields[1].longTextFlag, 1);
  EXPECT_EQ(read.fields[2].attributeBytes, (std::array<uint8_t, 6>{1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(read.fields[2].extraByte1, 0);
  // attributeBytes[1] 0 leaves [0]; [4] is cleared only for popups.
  EXPECT_EQ(read.fields[3].attributeBytes, (std::array<uint8_t, 6>{0, 0, 0, 0, 7, 0}));
  EXPECT_EQ(read.settingByte3, 0);
  EXPECT_EQ(read.settingByte7, 0);
  EXPECT_EQ(read.settingWord4, 0u);
  EXPECT_EQ(read.permissionBits, 0u);
  EXPECT_EQ(read.subKindFlag, 0u);
  EXPECT_EQ(read.extraText1, (std::array<char, 40>{}));
  EXPECT_EQ(read.extraText2, (std::array<char, 70>{}));

  SetFixedText(old.password, "secret");
  stored = MasterBytes(old);
  stored.resize(kMasterRecordV1Size);
  const MasterRecord protectedRead = ReadBack(FileWith(stored));
  EXPECT_EQ(protectedRead.permissionBits, 257u);
  EXPECT_EQ(GetExportPermission(protectedRead), 1);
}

TEST(MasterRecordRead, OtherVersionsReadTheTailOnlyWhenAboveOne) {
  // Version 3: the tail is read, then reset by the upgrade.
  Bytes v3 = NoisyVersion2();
  v3[kVersionOffset] = 3;
  v3[202] = 0;  // no password
  const MasterRecord read = ReadBack(FileWith(v3));
  EXPECT_EQ(read.formatVersion, 2);
  EXPECT_EQ(read.permissionBits, 0u);
  EXPECT_EQ(read.extraText1, (std::array<char, 40>{}));
  // Without its tail a version 3 record is cut short.
  Bytes v3Short = v3;
  v3Short.resize(kMasterRecordV1Size);
  const Bytes shortFile = FileWith(v3Short);
  const Result<DatabaseHeader> header = ReadDatabaseHeader(shortFile);
  ASSERT_TRUE(header);
  EXPECT_FALSE(ReadMasterRecord(shortFile, *header));

  // A version byte of 128-255 is negative: no tail, upgraded.
  for (int version : {0x80, 0xFF}) {
    Bytes negative = NoisyVersion2();
    negative[kVersionOffset] = static_cast<uint8_t>(version);
    negative.resize(kMasterRecordV1Size);
    const MasterRecord upgraded = ReadBack(FileWith(negative));
    EXPECT_EQ(upgraded.formatVersion, 2) << version;
    EXPECT_EQ(upgraded.extraText2, (std::array<char, 70>{})) << version;
  }
}

TEST(MasterRecordRead, Version2ShorterThanItsLayoutReadsOnIntoTheNextRecord) {
  Bytes stored = NoisyVersion2();
  const Bytes tail(stored.begin() + kMasterRecordV1Size, stored.end());
  stored.resize(kMasterRecordV1Size);
  const MasterRecord read = ReadBack(FileWith(stored, tail));
  Bytes expected = NoisyVersion2();
  expected[kLoadedMarkOffset] = 1;
  EXPECT_EQ(MasterBytes(read), expected);
}

TEST(MasterRecordRead, FailuresLeaveTheRecordUnchanged) {
  const Bytes full = FileWith(NoisyVersion2());
  const Result<DatabaseHeader> fullHeader = ReadDatabaseHeader(full);
  ASSERT_TRUE(fullHeader);
  const DatabaseHeader& header = *fullHeader;

  auto expectFailure = [&](ByteView file, const DatabaseHeader& h, const char* what) {
    EXPECT_FALSE(ReadMasterRecord(file, h)) << what;
  };
  DatabaseHeader noRecords = header;
  noRecords.recordCount = 0;
  expectFailure(full, noRecords, "no records");
  expectFailure(ByteView(full).first(kHeaderSize + 7), header, "entry cut short");
  expectFailure(ByteView(full).first(full.size() - 1), header, "record cut short");
  expectFailure(ByteView(full).first(kHeaderSize + 8 + 2 + kAppInfoSize), header,
                "record past the end");
  Bytes farOffset = full;
  farOffset[kHeaderSize] = 0x7F;
  expectFailure(farOffset, header, "offset past the end");
}

TEST(MasterRecordRead, ColumnOrderIsRepaired) {
  auto readOrder = [](std::array<uint8_t, kFieldSlots> order) {
    Bytes stored = NoisyVersion2();
    std::copy(order.begin(), order.end(), stored.begin() + kColumnOrderOffset);
    const MasterRecord read = ReadBack(FileWith(stored));
    std::array<int, kFieldSlots> result{};
    std::copy(read.columnOrder.begin(), read.columnOrder.end(), result.begin());
    return result;
  };
  std::array<int, kFieldSlots> identity{};
  std::iota(identity.begin(), identity.end(), 0);
  std::array<uint8_t, kFieldSlots> reversed{};
  for (int p = 0; p < kFieldSlots; ++p) reversed[p] = static_cast<uint8_t>(29 - p);
  std::array<int, kFieldSlots> reversedInts{};
  std::copy(reversed.begin(), reversed.end(), reversedInts.begin());

  EXPECT_EQ(readOrder(reversed), reversedInts);
  // An entry above 29 becomes 0, which here completes the permutation.
  auto high = reversed;
  high[29] = 40;
  EXPECT_EQ(readOrder(high), reversedInts);
  // A repeat, or a negative entry, falls back to the identity.
  auto repeated = reversed;
  repeated[0] = 28;
  EXPECT_EQ(readOrder(repeated), identity);
  auto negative = reversed;
  negative[29] = 200;
  EXPECT_EQ(readOrder(negative), identity);
  // Two entries above 29 both become 0: a repeat.
  auto twoHigh = reversed;
  twoHigh[29] = 30;
  twoHigh[0] = 127;
  EXPECT_EQ(readOrder(twoHigh), identity);
}

TEST(MasterRecordPermissions, TwoBitsPerOperation) {
  MasterRecord record = DefaultRecord();
  SetPermission(record, 4, 1);
  SetPermission(record, 7, 3);
  SetPermission(record, 0, 2);
  EXPECT_EQ(record.permissionBits, 0xC102u);
  EXPECT_EQ(GetPermission(record, 4), 1);
  EXPECT_EQ(GetPermission(record, 7), 3);
  SetPermission(record, 7, 0);  // clears only its own bits
  EXPECT_EQ(record.permissionBits, 0x0102u);
  SetPermission(record, 1, 7);  // only two bits are kept
  EXPECT_EQ(GetPermission(record, 1), 3);
  EXPECT_EQ(GetPermission(record, 0), 2);

  const int expected[4] = {0, 1, -1, -1};
  for (int value = 0; value < 4; ++value) {
    SetPermission(record, 0, value);
    EXPECT_EQ(GetExportPermission(record), expected[value]) << value;
  }
  // Operations outside the 32-bit holder read as allowed and change nothing.
  const uint32_t bits = record.permissionBits;
  SetPermission(record, 16, 3);
  SetPermission(record, -1, 3);
  EXPECT_EQ(record.permissionBits, bits);
  EXPECT_EQ(GetPermission(record, 40), 0);

  // The permission bits are written where a reader finds them.
  const Bytes bytes = MasterBytes(record);
  EXPECT_EQ(bytes[kPermissionOffset], (bits >> 8) & 0xFF);
  EXPECT_EQ(bytes[kPermissionOffset + 1], bits & 0xFF);
}

TEST(MasterRecordFields, UsedAndFlaggedSlotQueries) {
  MasterRecord record = DefaultRecord();
  EXPECT_FALSE(AnyUsedFieldFrom(record, 0));
  record.fields[5].type = kDate;
  EXPECT_TRUE(AnyUsedFieldFrom(record, 0));
  EXPECT_TRUE(AnyUsedFieldFrom(record, 5));
  EXPECT_FALSE(AnyUsedFieldFrom(record, 6));
  EXPECT_FALSE(AnyUsedFieldFrom(record, 30));
  EXPECT_TRUE(AnyUsedFieldFrom(record, -3));

  record.fields[29].type = kSubKindText;
  EXPECT_FALSE(IsFlaggedSubKindField(record, 29));
  EXPECT_FALSE(AnyFlaggedSubKindField(record));
  record.fields[5].attributeBytes[2] = 1;  // flagged, but not a sub-kind field
  EXPECT_FALSE(AnyFlaggedSubKindField(record));
  record.fields[29].attributeBytes[2] = 9;
  EXPECT_TRUE(IsFlaggedSubKindField(record, 29));
  EXPECT_TRUE(AnyFlaggedSubKindField(record));
  EXPECT_FALSE(IsFlaggedSubKindField(record, 30));
  EXPECT_FALSE(IsFlaggedSubKindField(record, -1));
}

}  // namespace
}  // namespace qv
