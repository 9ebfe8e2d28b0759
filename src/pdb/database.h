// The database container: a 78-byte header, a list of 8-byte record entries,
// and the records themselves. All numbers here are big-endian.
//
//   offset  size  field
//        0    32  name (NUL-terminated text)
//       32     2  attributes
//       34     2  version
//       36     4  creationTime       (seconds since 1904-01-01)
//       40     4  modificationTime
//       44     4  backupTime
//       48     4  modificationCount
//       52     4  appInfoOffset
//       56     4  sortInfoOffset
//       60     4  typeCode           "PmDB"
//       64     4  creatorCode        "PmDB" (the only field a reader checks)
//       68     4  uniqueIdSeed
//       72     4  nextRecordList
//       76     2  recordCount
//   78 + 8i       entry i: dataOffset (4), attributes (1), uniqueId (3)
//
// Record i runs from its dataOffset up to the byte before entry i+1's
// dataOffset; the last record runs to the end of the file. Record 0 is the
// MasterRecord, records 1-30 the popup lists of slots 0-29, records 31 on the
// data rows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "pdb/byte_io.h"
#include "pdb/result.h"

namespace qv {

inline constexpr size_t kHeaderSize = 78;
inline constexpr size_t kRecordEntrySize = 8;
inline constexpr uint32_t kPmDB = 0x506D4442;  // "PmDB"
inline constexpr int kFirstDataRecord = 31;     // records 0..30 are fixed
inline constexpr int kMaxDataRows = 65535 - kFirstDataRecord;  // 65504
inline constexpr size_t kAppInfoSize = 40;

struct DatabaseHeader {
  std::array<char, 32> name{};
  uint16_t attributes = 0;
  uint16_t version = 0;
  uint32_t creationTime = 0;
  uint32_t modificationTime = 0;
  uint32_t backupTime = 0;
  uint32_t modificationCount = 0;
  uint32_t appInfoOffset = 0;
  uint32_t sortInfoOffset = 0;
  uint32_t typeCode = 0;
  uint32_t creatorCode = 0;
  uint32_t uniqueIdSeed = 0;
  uint32_t nextRecordList = 0;
  uint16_t recordCount = 0;
};

struct RecordEntry {
  uint32_t dataOffset = 0;
  uint8_t attributes = 0;
  std::array<uint8_t, 3> uniqueId{};
};

// The header at the start of `file`, whatever its creator; refused when the
// file is shorter than a header.
Result<DatabaseHeader> ReadAnyDatabaseHeader(ByteView file);
// The header of a Quorvex database: refused also when its creator is not
// "PmDB".
Result<DatabaseHeader> ReadDatabaseHeader(ByteView file);

// True when `file` starts like a database of any kind rather than text: a
// whole header whose name ends in a NUL within its 32 bytes and whose type
// and creator codes are eight printable ASCII characters. Text (also UTF-16
// text, with a NUL beside every character) hardly ever passes.
bool LooksLikeDatabase(ByteView file);

// Reads the 8-byte entry at the reader's position; a short read fails the
// reader (and yields zeros), so check `in.ok()` afterwards.
RecordEntry ReadRecordEntry(ByteReader& in);

// The bytes of record `index` as a view into `file`, or a failure when the
// index is not below `recordCount`, the entries cannot be read, the extent is
// negative or runs past the end of the file. An empty record is a success.
Result<ByteView> ReadRecord(ByteView file, uint32_t index, uint32_t recordCount);

// The header of a new database: name `name` (cut to 31 bytes, zero padded)
// and the fixed defaults; its times are 0 until StampNewDatabase dates it.
DatabaseHeader SetNewDatabaseHeader(std::string_view name);
// Dates `header` for a database written now: creation and modification time
// `time` (seconds since 1904-01-01), never backed up. It also clears the
// sort-info offset and the next record list, which this program never
// writes: taken over from another database they would point at unrelated
// bytes of the new file. Everything else is kept.
void StampNewDatabase(DatabaseHeader& header, uint32_t time);
// Replaces the name, zero-padding the bytes after the terminator.
void SetHeaderName(DatabaseHeader& header, std::string_view name);

void WriteDatabaseHeader(const DatabaseHeader& header, ByteWriter& out);
void WriteRecordEntry(ByteWriter& out, uint32_t offset);

// Lays out a whole database the way the import writes one: header (with
// recordCount and appInfoOffset filled in), one entry per record, two zero
// bytes, 40 zero bytes of app info, then the records back to back.
// Fails when the records cannot be described: more than 65535 of them, or a
// record starting beyond what a 32-bit offset reaches.
Result<Bytes> AssembleDatabase(DatabaseHeader header, const std::vector<Bytes>& records);

// Where the records begin in a database of `recordCount` records: after the
// header, the record list, two zero bytes and the app info.
size_t RecordsStart(size_t recordCount);

// Everything before the records in that layout, for records starting at the
// file offsets `starts` (the first at RecordsStart(starts.size())): header
// (with recordCount and appInfoOffset filled in), the record list, two zero
// bytes and 40 zero bytes of app info. Fails when the records cannot be
// described: more than 65535 of them, or one starting beyond what a 32-bit
// offset reaches.
Result<Bytes> DatabaseFront(DatabaseHeader header, const std::vector<size_t>& starts);

// The same layout written record by record straight into the final buffer,
// so that a large database is never held twice. The number of records is
// fixed up front (the record list comes before them); each StartRecord
// begins the next one, whose bytes the caller appends to the buffer it
// returns.
class DatabaseBuilder {
 public:
  DatabaseBuilder(const DatabaseHeader& header, size_t recordCount);
  // Room for this many more bytes of records, to spare regrowing the buffer.
  void Reserve(size_t moreBytes);
  Bytes& StartRecord();
  // The whole file. Fails when the records cannot be described (as with
  // AssembleDatabase) or when the number started is not the one announced.
  Result<Bytes> Finish();

 private:
  DatabaseHeader header_;
  size_t recordCount_;
  size_t recordsStart_;
  std::vector<size_t> starts_;
  Bytes file_;
};

}  // namespace qv
