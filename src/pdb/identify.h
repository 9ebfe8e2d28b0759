// Says what a file is from its bytes alone, whatever its name: a Quorvex
// database (sound or with a damaged record list), a Palm database or
// resource file of another application, a file too short to hold a database
// header, an empty file, or something else, with a hint where its first bytes
// give it away. Used where an input turns out not to be a Quorvex database
// and by the folder mode, which converts only the files identified as sound
// Quorvex databases.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pdb/byte_io.h"
#include "pdb/display_text.h"

namespace qv {

enum class FileKind {
  kEmpty,                  // no bytes at all
  kTooShort,               // 1 to 77 bytes, less than a database header
  kQuorvexDatabase,        // creator "PmDB", record list sound (record 0 itself unread)
  kDamagedQuorvexDatabase, // creator "PmDB", but the record list is damaged (see `fault`)
  kOtherDatabase,          // a Palm record database of another application
  kResourceDatabase,       // a Palm resource database or application (resource attribute set)
  kNotPalmFile,            // none of the above (see `hint`)
};

// What the first bytes of a file that is not a database suggest.
enum class FileHint {
  kNone,
  kDebugSymbols,  // a Microsoft debug-symbols file (the other kind of ".pdb")
  kZipArchive,
  kText,          // no control characters other than tab, line ends and form feed
};

// What is wrong with a record list; the first fault found, in entry order.
enum class ListFault {
  kNone,
  kNoRecords,             // a Quorvex database without even record 0 (its field definitions)
  kListPastEnd,           // the entries themselves run past the end of the file
  kOffsetPastEnd,         // an entry's offset lies beyond the end of the file
  kOffsetBeforePrevious,  // an entry's offset lies before the previous entry's
};

struct FileIdentity {
  FileKind kind = FileKind::kEmpty;
  uint64_t size = 0;  // the file's length in bytes

  // The header's fields, set for the three database kinds and for
  // kDamagedQuorvexDatabase. `name` holds the stored bytes up to the first
  // NUL (all 32 when there is none), unescaped.
  std::string name;
  uint16_t attributes = 0;
  uint32_t typeCode = 0;
  uint32_t creatorCode = 0;
  uint16_t recordCount = 0;  // records, or resources for kResourceDatabase

  // The soundness of the record (or resource) list of a database kind.
  // kDamagedQuorvexDatabase always has a fault; kOtherDatabase and
  // kResourceDatabase may have one too (their kind does not change).
  //   kListPastEnd:          faultIndex = first entry that does not fit,
  //                          faultOffset = where the list would end,
  //                          faultLimit = size
  //   kOffsetPastEnd:        faultIndex = entry, faultOffset = its offset,
  //                          faultLimit = size
  //   kOffsetBeforePrevious: faultIndex = entry, faultOffset = its offset,
  //                          faultLimit = the previous entry's offset
  ListFault fault = ListFault::kNone;
  uint32_t faultIndex = 0;
  uint64_t faultOffset = 0;
  uint64_t faultLimit = 0;

  // For kTooShort and kNotPalmFile: what the first bytes suggest.
  FileHint hint = FileHint::kNone;
};

// The resource attribute bit of the header's attributes.
inline constexpr uint16_t kResourceAttribute = 0x0001;

// Identifies `bytes`. Reads only within `bytes` (any length, including
// none) and never fails. In order:
//   - no bytes: kEmpty; fewer than a header: kTooShort (with a hint);
//   - creator "PmDB" (the check the export makes) and the resource bit
//     clear: kQuorvexDatabase when record 0 exists and every entry lies
//     within the file, offsets never decreasing (what reading each record
//     needs); kDamagedQuorvexDatabase otherwise;
//   - first bytes of a debug-symbols file or ZIP archive: kNotPalmFile
//     with that hint;
//   - a plausible header (a non-empty name ended by a NUL within its 32
//     bytes, no zero byte in the type and creator codes) whose list of
//     entries fits in the file: kResourceDatabase when the resource bit is
//     set (10-byte entries), kOtherDatabase otherwise (8-byte entries); a
//     resource file with creator "PmDB", such as the application itself,
//     is a kResourceDatabase;
//   - anything else: kNotPalmFile, hinted kText when its first 512
//     bytes look like text.
FileIdentity IdentifyFile(ByteView bytes);

// One line (no line end) saying what the file is, for messages and the
// folder summary, for example
//   a Quorvex database "Sales" with 45 records
//   a Palm database of another application: "AddressDB", type DATA, creator addr, 120 records
//   not a Palm file: it looks like a ZIP archive
// Pure ASCII: names and codes pass through EscapeForDisplay.
std::string DescribeFile(const FileIdentity& identity);

// A type or creator code as its four characters, escaped as above
// (0x50446D42 gives "PmDB").
std::string FourCharCode(uint32_t code);

}  // namespace qv
