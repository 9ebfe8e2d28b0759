// The thin layer between the conversions and the disk: every input is read
// whole, once; every output is written whole into a private file beside it
// and put in place at the end, or not at all. The system's own file
// functions are called through the platform layer (platform.h) only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/platform.h"
#include "pdb/result.h"

namespace qv {

// The file name that stands for standard input (as an input) or standard
// output (as an output): "-". Every function here treats it as such, never
// as a file of that name, which stays reachable as "./-".
inline constexpr std::string_view kStandardStream = "-";
inline bool IsStandardStream(std::string_view path) { return path == kStandardStream; }

// True when something (a file, a folder, a device, a pipe, a link) is at
// `path`. Found without opening it, so a pipe never makes it wait. False for
// the standard stream.
bool FileExists(const std::string& path);

// True when `path` names a folder (or a link to one); false for the
// standard stream.
bool IsFolder(const std::string& path);

// The size of the file in bytes; 0 when it cannot be opened.
uint64_t FileLength(const std::string& path);

// The most bytes any input may hold. A database's offsets are 32-bit, so no
// larger file is one, and no larger CSV text fits the table that indexes it.
inline constexpr uint64_t kLargestInput = uint64_t{1} << 32;

// The whole file (all of standard input for "-"); nothing when it cannot be
// opened or read, which each caller words in its own way; fails with
// TooLargeMessage when it holds more than `limit` bytes. A regular file is
// measured before it is read; anything else (a pipe, a device such as
// /dev/zero) is read only until it has passed the limit, so an endless input
// ends the read instead of exhausting the memory.
Result<std::optional<std::string>> ReadWholeFile(const std::string& path,
                                                 uint64_t limit = kLargestInput);
// The file ListFilesBelow listed at `path` with identity `listed`, read as
// ReadWholeFile reads it; the failure says why not: too large, no longer
// the file listed (see File::OpenListed), or not readable.
Result<std::string> ReadListedFile(const std::string& path, const StoredFileId& listed);

// An input held in memory once: a regular file mapped (see MappedFile for
// what happens when another program shortens it meanwhile), anything else
// (standard input, a pipe, a device, an empty file) read whole.
class InputBytes {
 public:
  std::string_view view() const { return mapped_.bytes().empty() ? read_ : mapped_.bytes(); }

 private:
  friend Result<std::optional<InputBytes>> ReadInput(const std::string& path, uint64_t limit,
                                                     bool whole);
  MappedFile mapped_;
  std::string read_;
};

// The whole input as ReadWholeFile gives it (the same failures, the same
// limit), without copying a regular file. `whole` says that every byte
// will be read; a caller of a few parts (the definitions of a database)
// passes false, so that only the pages it reads take memory.
Result<std::optional<InputBytes>> ReadInput(const std::string& path,
                                            uint64_t limit = kLargestInput, bool whole = true);

// "The file NAME is larger than 4 GiB, ...": the refusal of an input that
// ReadWholeFile found too large.
std::string TooLargeMessage(const std::string& path);

// True when both paths name the same existing file (same device and inode),
// whatever the spelling of the paths. The standard stream is no file.
bool SameFile(const std::string& a, const std::string& b);

// SameFile, or, for paths that do not exist yet, whether both name the same
// place once made absolute and normalised (links in the part that exists are
// followed): "o.csv", "./o.csv", "sub/../o.csv" and the full path agree.
bool SamePlace(const std::string& a, const std::string& b);

// One output file, written whole or not at all.
//
// Open prepares a private file beside the destination (anonymous where the
// system allows, so that a killed run leaves nothing behind); Write adds to
// it as the contents are made; Finish writes the rest, flushes it and puts
// the file in place. Until Finish succeeds, whatever was at the destination
// is untouched; a destruction before that discards the private file.
//
// A symbolic link is followed, so the file it points to is replaced and the
// link stays. An existing destination that is not a regular file or folder
// (a device such as /dev/null, a pipe) is written in place instead. A
// replaced file keeps its permission bits, and its owner where the program
// may set it; a new file gets the permissions the umask allows.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to write `path`; "-" is standard output, written as it stands
  // (whatever `replace` says) and left open. With `replace` false, an existing destination
  // is never replaced, also when it appears while the output is written:
  // that refusal, here or from Finish, fails with `alreadyExists`, the
  // caller's words for it. Any other failure fails with `cannotOpen` when
  // given, else names the file and the system's reason. Called once per
  // object.
  Status Open(const std::string& path, bool replace, std::string alreadyExists,
              std::optional<std::string> cannotOpen = std::nullopt);

  // Appends `chunk` to the private file (or, for a device, pipe or standard
  // output, writes it where it goes). Only after a successful Open and
  // before Finish. A failure names the file; the output is then lost: a
  // later Finish fails the same way and nothing is put in place.
  Status Write(std::string_view chunk);

  // True when the output goes to a private file, whose bytes WriteAt can
  // change; false for standard output, a device or a pipe, which take the
  // bytes as they come. Only after a successful Open.
  bool CanWriteAt() const;

  // Writes `chunk` over the bytes at `offset` that Write already wrote
  // (it may also run past them); later Writes still append. Only when
  // CanWriteAt, before Finish. Fails and loses the output as Write does.
  Status WriteAt(uint64_t offset, std::string_view chunk);

  // Writes `contents` after what Write wrote and puts the file in place.
  // Only after a successful Open; called once. Fails as Open does.
  Status Finish(std::string_view contents);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Open and Finish in one step.
Status WriteOutputFile(const std::string& path, std::string_view contents, bool replace,
                       std::string alreadyExists);

}  // namespace qv
