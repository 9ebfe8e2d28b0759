#include "pdb/database.h"

#include <algorithm>
#include <limits>

#include "pdb/format.h"

namespace qv {

namespace {

// Every new database gets the same backup attribute and modification count;
// the name, the times (StampNewDatabase) and the record counts vary from file
// to file.
constexpr uint16_t kBackupAttribute = 8;
constexpr uint32_t kNewModificationCount = 86;
constexpr uint32_t kNewAppInfoOffset = 416;
// The record list is followed by two zero bytes before the app info.
constexpr size_t kListGap = 2;

size_t EntryOffset(uint32_t index) { return kHeaderSize + kRecordEntrySize * size_t{index}; }

}  // namespace

Result<DatabaseHeader> ReadAnyDatabaseHeader(ByteView file) {
  // A file that ends inside the header is not a database.
  if (file.size() < kHeaderSize) return Failure{"the file is shorter than a database header"};
  ByteReader in(file);
  DatabaseHeader read;
  in.Copy(read.name);
  read.attributes = in.ReadU16BE();
  read.version = in.ReadU16BE();
  read.creationTime = in.ReadU32BE();
  read.modificationTime = in.ReadU32BE();
  read.backupTime = in.ReadU32BE();
  read.modificationCount = in.ReadU32BE();
  read.appInfoOffset = in.ReadU32BE();
  read.sortInfoOffset = in.ReadU32BE();
  read.typeCode = in.ReadU32BE();
  read.creatorCode = in.ReadU32BE();
  read.uniqueIdSeed = in.ReadU32BE();
  read.nextRecordList = in.ReadU32BE();
  read.recordCount = in.ReadU16BE();
  if (!in.ok()) return Failure{"the file is shorter than a database header"};
  return read;
}

Result<DatabaseHeader> ReadDatabaseHeader(ByteView file) {
  Result<DatabaseHeader> header = ReadAnyDatabaseHeader(file);
  if (header && header->creatorCode != kPmDB) {
    return Failure{"the creator of the database is not PmDB"};
  }
  return header;
}

bool LooksLikeDatabase(ByteView file) {
  if (file.size() < kHeaderSize) return false;
  ByteReader in(file);
  const ByteView name = in.Take(32);
  in.Seek(60);
  const ByteView codes = in.Take(8);  // type and creator
  return in.ok() && std::find(name.begin(), name.end(), uint8_t{0}) != name.end() &&
         std::all_of(codes.begin(), codes.end(), [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

RecordEntry ReadRecordEntry(ByteReader& in) {
  RecordEntry entry;
  entry.dataOffset = in.ReadU32BE();
  entry.attributes = in.ReadU8();
  in.Copy(entry.uniqueId);
  return entry;
}

Result<ByteView> ReadRecord(ByteView file, uint32_t index, uint32_t recordCount) {
  if (index >= recordCount) return Failure{Format("there is no record %u", index)};
  // Only the data offsets of the entry and the next one are needed (called
  // for every record of an export, so the rest is skipped, not read).
  ByteReader in(file);
  if (!in.Seek(EntryOffset(index))) return Failure{"the record list is cut short"};
  const uint64_t start = in.ReadU32BE();
  in.Skip(kRecordEntrySize - 4);
  // The extent ends where the next record begins; the last record runs to the
  // end of the file.
  uint64_t end = file.size();
  if (index + 1 < recordCount) {
    end = in.ReadU32BE();
    in.Skip(kRecordEntrySize - 4);
  }
  if (!in.ok()) return Failure{"the record list is cut short"};
  if (end < start || end > file.size()) {
    return Failure{Format("record %u lies outside the file", index)};
  }
  return file.subspan(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

void SetHeaderName(DatabaseHeader& header, std::string_view name) {
  header.name.fill('\0');
  const size_t length = std::min(name.size(), header.name.size() - 1);
  std::copy_n(name.begin(), length, header.name.begin());
}

DatabaseHeader SetNewDatabaseHeader(std::string_view name) {
  DatabaseHeader header;
  SetHeaderName(header, name);
  header.attributes = kBackupAttribute;
  header.version = 0;
  header.creationTime = 0;
  header.modificationTime = 0;
  header.backupTime = 0;
  header.modificationCount = kNewModificationCount;
  header.appInfoOffset = kNewAppInfoOffset;
  header.sortInfoOffset = 0;
  header.typeCode = kPmDB;
  header.creatorCode = kPmDB;
  header.uniqueIdSeed = 0;
  header.nextRecordList = 0;
  header.recordCount = 0;
  return header;
}

void StampNewDatabase(DatabaseHeader& header, uint32_t time) {
  header.creationTime = time;
  header.modificationTime = time;
  header.backupTime = 0;
  header.sortInfoOffset = 0;
  header.nextRecordList = 0;
}

void WriteDatabaseHeader(const DatabaseHeader& header, ByteWriter& out) {
  out.WriteBytes(std::span<const char>(header.name));
  out.WriteU16BE(header.attributes);
  out.WriteU16BE(header.version);
  out.WriteU32BE(header.creationTime);
  out.WriteU32BE(header.modificationTime);
  out.WriteU32BE(header.backupTime);
  out.WriteU32BE(header.modificationCount);
  out.WriteU32BE(header.appInfoOffset);
  out.WriteU32BE(header.sortInfoOffset);
  out.WriteU32BE(header.typeCode);
  out.WriteU32BE(header.creatorCode);
  out.WriteU32BE(header.uniqueIdSeed);
  out.WriteU32BE(header.nextRecordList);
  out.WriteU16BE(header.recordCount);
}

void WriteRecordEntry(ByteWriter& out, uint32_t offset) {
  out.WriteU32BE(offset);
  out.WriteZeros(4);  // attributes and unique id
}

size_t RecordsStart(size_t recordCount) {
  return kHeaderSize + kRecordEntrySize * recordCount + kListGap + kAppInfoSize;
}

Result<Bytes> DatabaseFront(DatabaseHeader header, const std::vector<size_t>& starts) {
  if (starts.size() > std::numeric_limits<uint16_t>::max()) {
    return Failure{"more than 65535 records"};
  }
  // Every record must start at an offset that a 32-bit entry can hold.
  if (!starts.empty() && starts.back() > std::numeric_limits<uint32_t>::max()) {
    return Failure{"a record starts beyond what a 32-bit offset reaches"};
  }
  header.recordCount = static_cast<uint16_t>(starts.size());
  header.appInfoOffset =
      static_cast<uint32_t>(kHeaderSize + kRecordEntrySize * starts.size() + kListGap);
  Bytes front;
  front.reserve(RecordsStart(starts.size()));
  ByteWriter out(front);
  WriteDatabaseHeader(header, out);
  for (const size_t start : starts) WriteRecordEntry(out, static_cast<uint32_t>(start));
  out.WriteZeros(kListGap + kAppInfoSize);
  return front;
}

Result<Bytes> AssembleDatabase(DatabaseHeader header, const std::vector<Bytes>& records) {
  DatabaseBuilder builder(header, records.size());
  size_t total = 0;
  for (const Bytes& record : records) total += record.size();
  builder.Reserve(total);
  for (const Bytes& record : records) {
    Bytes& out = builder.StartRecord();
    out.insert(out.end(), record.begin(), record.end());
  }
  return builder.Finish();
}

DatabaseBuilder::DatabaseBuilder(const DatabaseHeader& header, size_t recordCount)
    : header_(header),
      recordCount_(recordCount),
      recordsStart_(RecordsStart(recordCount)) {
  if (recordCount_ > std::numeric_limits<uint16_t>::max()) return;  // Finish refuses it
  starts_.reserve(recordCount_);
  // Header and record list are written by Finish, once the offsets are known.
  file_.assign(recordsStart_, 0);
}

void DatabaseBuilder::Reserve(size_t moreBytes) { file_.reserve(file_.size() + moreBytes); }

Bytes& DatabaseBuilder::StartRecord() {
  starts_.push_back(file_.size());
  return file_;
}

Result<Bytes> DatabaseBuilder::Finish() {
  if (starts_.size() != recordCount_) return Failure{"not as many records as announced"};
  const Result<Bytes> front = DatabaseFront(header_, starts_);
  if (!front) return front.failure();
  std::copy(front->begin(), front->end(), file_.begin());
  return std::move(file_);
}

}  // namespace qv
