// Identification of a file from its bytes: the header checks, the record
// list walk and the one-line descriptions.
#include "pdb/identify.h"

#include <algorithm>
#include <array>

#include "pdb/database.h"
#include "pdb/format.h"

namespace qv {
namespace {

constexpr size_t kResourceEntrySize = 10;  // type (4), id (2), offset (4)
constexpr size_t kTextSample = 512;

bool StartsWith(ByteView bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() && AsText(bytes.first(prefix.size())) == prefix;
}

// Bytes a text file holds: printable ASCII, any byte from 0x80 on (UTF-8 or
// an 8-bit character set), tab, line ends and form feed.
bool LooksLikeText(ByteView bytes) {
  const ByteView sample = bytes.first(std::min(bytes.size(), kTextSample));
  return std::all_of(sample.begin(), sample.end(), [](uint8_t c) {
    return (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n' || c == '\r' || c == '\f';
  });
}

FileHint HintFromFirstBytes(ByteView bytes) {
  using namespace std::string_view_literals;
  if (StartsWith(bytes, "Microsoft C/C++ MSF 7.00\r\n\x1a"sv) ||
      StartsWith(bytes, "Microsoft C/C++ program database 2.00\r\n\x1a"sv)) {
    return FileHint::kDebugSymbols;
  }
  // Local file header, end of an empty archive, spanned archive marker.
  if (StartsWith(bytes, "PK\x03\x04"sv) || StartsWith(bytes, "PK\x05\x06"sv) ||
      StartsWith(bytes, "PK\x07\x08"sv)) {
    return FileHint::kZipArchive;
  }
  if (LooksLikeText(bytes)) return FileHint::kText;
  return FileHint::kNone;
}

// Sets the fault fields of `id` for the first fault of its list of
// `id.recordCount` entries of `entrySize` bytes, whose offset lies
// `offsetAt` bytes into each entry. Leaves kNone when every entry lies in
// the file and the offsets never decrease.
void CheckList(ByteView file, size_t entrySize, size_t offsetAt, FileIdentity& id) {
  const auto fail = [&id](ListFault fault, uint32_t index, uint64_t offset, uint64_t limit) {
    id.fault = fault;
    id.faultIndex = index;
    id.faultOffset = offset;
    id.faultLimit = limit;
  };
  const uint64_t listEnd = kHeaderSize + uint64_t{entrySize} * id.recordCount;
  if (listEnd > file.size()) {
    return fail(ListFault::kListPastEnd,
                static_cast<uint32_t>((file.size() - kHeaderSize) / entrySize), listEnd,
                file.size());
  }
  uint64_t previous = 0;
  ByteReader in(file, kHeaderSize);
  for (uint32_t i = 0; i < id.recordCount; ++i) {
    in.Skip(offsetAt);
    const uint64_t offset = in.ReadU32BE();
    in.Skip(entrySize - offsetAt - 4);
    if (!in.ok()) return fail(ListFault::kListPastEnd, i, listEnd, file.size());
    if (offset > file.size()) return fail(ListFault::kOffsetPastEnd, i, offset, file.size());
    if (offset < previous) return fail(ListFault::kOffsetBeforePrevious, i, offset, previous);
    previous = offset;
  }
}

// A header another application could have written: a name of at least one
// byte ended by a NUL, and type and creator codes without zero bytes.
bool PlausibleHeader(const DatabaseHeader& header) {
  const auto end = std::find(header.name.begin(), header.name.end(), '\0');
  if (end == header.name.begin() || end == header.name.end()) return false;
  for (uint32_t code : {header.typeCode, header.creatorCode}) {
    for (int shift = 0; shift < 32; shift += 8) {
      if (((code >> shift) & 0xFF) == 0) return false;
    }
  }
  return true;
}

// "1 byte", "2 bytes": a count and its noun.
std::string Counted(uint64_t count, const char* singular) {
  return Format("%llu %s%s", static_cast<unsigned long long>(count), singular,
                count == 1 ? "" : "s");
}

std::string HintText(FileHint hint) {
  switch (hint) {
    case FileHint::kDebugSymbols:
      return "it looks like a Microsoft debug-symbols file";
    case FileHint::kZipArchive:
      return "it looks like a ZIP archive";
    case FileHint::kText:
      return "it looks like text";
    case FileHint::kNone:
      break;
  }
  return {};
}

// What is wrong with the list, naming its entries `entry` ("record" or
// "resource"); empty without a fault.
std::string FaultText(const FileIdentity& id, const char* entry) {
  const auto offset = static_cast<unsigned long long>(id.faultOffset);
  switch (id.fault) {
    case ListFault::kNoRecords:
      return "it holds no records, not even the field definitions";
    case ListFault::kListPastEnd:
      return Format("the list of %u %s ends at offset %llu, past the end of the file (%s)",
                    unsigned{id.recordCount}, id.recordCount == 1 ? "entry" : "entries", offset,
                    Counted(id.faultLimit, "byte").c_str());
    case ListFault::kOffsetPastEnd:
      return Format("%s %u starts at offset %llu, past the end of the file (%s)", entry,
                    id.faultIndex, offset, Counted(id.faultLimit, "byte").c_str());
    case ListFault::kOffsetBeforePrevious:
      return Format("%s %u starts at offset %llu, before %s %u (offset %llu)", entry,
                    id.faultIndex, offset, entry, id.faultIndex - 1,
                    static_cast<unsigned long long>(id.faultLimit));
    case ListFault::kNone:
      break;
  }
  return {};
}

std::string Quoted(std::string_view name) {
  return Format("\"%s\"", EscapeForDisplay(name).c_str());
}

std::string Codes(const FileIdentity& id) {
  return Format("type %s, creator %s", FourCharCode(id.typeCode).c_str(),
                FourCharCode(id.creatorCode).c_str());
}

}  // namespace

FileIdentity IdentifyFile(ByteView bytes) {
  FileIdentity id;
  id.size = bytes.size();
  if (bytes.empty()) return id;
  const FileHint hint = HintFromFirstBytes(bytes);
  const Result<DatabaseHeader> read = ReadAnyDatabaseHeader(bytes);
  if (!read) {
    id.kind = FileKind::kTooShort;
    id.hint = hint;
    return id;
  }
  const DatabaseHeader& header = *read;

  id.name.assign(header.name.begin(), std::find(header.name.begin(), header.name.end(), '\0'));
  id.attributes = header.attributes;
  id.typeCode = header.typeCode;
  id.creatorCode = header.creatorCode;
  id.recordCount = header.recordCount;
  const bool resource = (header.attributes & kResourceAttribute) != 0;
  const size_t entrySize = resource ? kResourceEntrySize : kRecordEntrySize;
  const size_t offsetAt = resource ? 6 : 0;

  if (header.creatorCode == kPmDB) {
    CheckList(bytes, entrySize, offsetAt, id);
    if (resource) {
      id.kind = FileKind::kResourceDatabase;
      return id;
    }
    // Without record 0 there are no field definitions to convert with.
    if (id.fault == ListFault::kNone && id.recordCount == 0) id.fault = ListFault::kNoRecords;
    id.kind = id.fault == ListFault::kNone ? FileKind::kQuorvexDatabase
                                           : FileKind::kDamagedQuorvexDatabase;
    return id;
  }

  if (hint != FileHint::kDebugSymbols && hint != FileHint::kZipArchive &&
      PlausibleHeader(header)) {
    CheckList(bytes, entrySize, offsetAt, id);
    if (id.fault != ListFault::kListPastEnd) {
      id.kind = resource ? FileKind::kResourceDatabase : FileKind::kOtherDatabase;
      return id;
    }
  }
  FileIdentity other;
  other.kind = FileKind::kNotPalmFile;
  other.size = bytes.size();
  other.hint = hint;
  return other;
}

std::string DescribeFile(const FileIdentity& id) {
  switch (id.kind) {
    case FileKind::kEmpty:
      return "an empty file";
    case FileKind::kTooShort:
      return Format("a file of %s, shorter than a database header (%zu bytes)%s%s",
                    Counted(id.size, "byte").c_str(), kHeaderSize,
                    id.hint != FileHint::kNone ? "; " : "", HintText(id.hint).c_str());
    case FileKind::kQuorvexDatabase:
      return Format("a Quorvex database %s with %s", Quoted(id.name).c_str(),
                    Counted(id.recordCount, "record").c_str());
    case FileKind::kDamagedQuorvexDatabase:
      return Format("a Quorvex database %s with a damaged record list: %s",
                    Quoted(id.name).c_str(), FaultText(id, "record").c_str());
    case FileKind::kOtherDatabase:
      return Format("a Palm database of another application: %s, %s, %s%s%s",
                    Quoted(id.name).c_str(), Codes(id).c_str(),
                    Counted(id.recordCount, "record").c_str(),
                    id.fault != ListFault::kNone ? "; its record list is damaged: " : "",
                    FaultText(id, "record").c_str());
    case FileKind::kResourceDatabase:
      return Format("a Palm resource database or application: %s, %s, %s%s%s",
                    Quoted(id.name).c_str(), Codes(id).c_str(),
                    Counted(id.recordCount, "resource").c_str(),
                    id.fault != ListFault::kNone ? "; its resource list is damaged: " : "",
                    FaultText(id, "resource").c_str());
    case FileKind::kNotPalmFile:
      return Format("not a Palm file%s%s", id.hint != FileHint::kNone ? ": " : "",
                    HintText(id.hint).c_str());
  }
  return {};
}

std::string FourCharCode(uint32_t code) {
  const std::array<char, 4> chars = {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                                     static_cast<char>(code >> 8), static_cast<char>(code)};
  return EscapeForDisplay(std::string_view(chars.data(), chars.size()));
}

}  // namespace qv
