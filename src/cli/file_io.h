// The thin layer between the conversions and the disk: every input is read
// whole, once; outputs are written whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pdb/byte_io.h"

namespace qv {

// True when `path` can be opened for reading.
bool FileExists(const std::string& path);

// The size of the file in bytes; 0 when it cannot be opened.
uint64_t FileLength(const std::string& path);

// The most bytes any input may hold. A database's offsets are 32-bit, so no
// larger file is one, and no larger CSV text fits the table that indexes it.
inline constexpr uint64_t kLargestInput = uint64_t{1} << 32;

// The whole file, or nothing when it cannot be opened or read, or when it
// holds more than `limit` bytes (then `tooLarge` is set). A regular file is
// measured before it is read; anything else (a pipe, a device such as
// /dev/zero) is read only until it has passed the limit, so an endless input
// ends the read instead of exhausting the memory.
std::optional<std::string> ReadWholeFile(const std::string& path, bool& tooLarge,
                                         uint64_t limit = kLargestInput);
// The same, not telling a file too large from one that cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// "The file NAME is larger than 4 GiB, ...": the refusal of an input that
// ReadWholeFile found too large.
std::string TooLargeMessage(const std::string& path);

// True when both paths name the same existing file (same device and inode),
// whatever the spelling of the paths.
bool SameFile(const std::string& a, const std::string& b);

// SameFile, or, for paths that do not exist yet, whether both name the same
// place (an output about to be created next to its input).
bool SamePlace(const std::string& a, const std::string& b);

// Creates or truncates `path` and writes `contents`. On failure returns false
// with a description (naming the file) in `error`.
bool WriteWholeFile(const std::string& path, std::string_view contents, std::string& error);

// Writes `contents` to a private temporary file in the folder of `path`,
// flushes it, and renames it over `path`. On any failure the temporary file
// is removed, an existing `path` is untouched, and `error` names the file.
// A symbolic link is followed, so the file it points to is replaced and the
// link stays. An existing target that is not a regular file (a device such
// as /dev/null, a pipe) is written in place instead of being replaced.
bool WriteFileAtomically(const std::string& path, ByteView contents, std::string& error);

}  // namespace qv
