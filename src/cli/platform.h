// The calls that differ between operating systems, behind one small
// interface: what a path names, creating folders, listing the files below a
// folder, reading and writing files, putting a finished output in place, and
// the command line and standard streams. Nothing outside the platform files
// knows which system it runs on; platform_posix.cpp implements this
// interface for POSIX systems, platform_windows.cpp for Windows, and the
// build compiles exactly one of them.
//
// Paths are UTF-8 byte strings (on Windows converted to UTF-16 for the
// system's wide functions). Paths relative to a walked folder always use '/'
// between their parts, on every system.
//
// How failure is reported here: the calls that stand for a step of the
// program (MakeFolders) give a Status like every other layer. The file
// steps below (File, PendingFile) are the one exception: each is one system
// call, and it gives true or false, or -1 from File::Read, with the
// system's error number in a SystemError. That number is what the file
// layer (file_io.cpp), their only caller, branches on ("already exists" puts
// the caller's own refusal in place of an error) and words into its Status
// messages together with the path and the step, which only it knows; a
// message made here would be thrown away or taken apart again. Outcomes
// that are not failures (MappedFile::Map's too large or not mapped, an
// optional that may be absent) are values, not errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdb/result.h"

namespace qv {

enum class PathKind {
  kMissing,  // nothing there, or it cannot be examined
  kFile,     // a regular file
  kFolder,
  kOther,    // a device, pipe, socket and the like
};

// What `path` names, following symbolic links (a link to a folder is a
// folder; a link leading nowhere is kMissing).
PathKind GetPathKind(const std::string& path);

// `relative` (as listed by ListFilesBelow) inside `folder`, in the form the
// system opens: "out" + "a/b.csv" gives "out/a/b.csv", and a folder that
// already ends in a separator gets no second one. An empty `folder` gives
// `relative` itself.
std::string JoinPath(std::string_view folder, std::string_view relative);

// Creates the folder `path` and every missing folder above it. Success when
// `path` is a folder afterwards (including when it already was); otherwise
// the system's reason, for example "Not a directory" when a part of the path
// is a file.
Status MakeFolders(const std::string& path);

// Where `path` lies in `folder`, links followed in both: "" when both name
// the same folder, the relative path with '/' separators ("a/b") when `path`
// is below `folder`, nothing when it is elsewhere or either cannot be
// resolved (`path` must exist).
std::optional<std::string> PathBelow(const std::string& folder, const std::string& path);

// Something below a walked folder that was left out, and why.
struct FolderProblem {
  std::string path;    // relative to the walked folder; empty for the folder itself
  std::string reason;  // the system's text ("Permission denied") or the program's
};

// Where a file is stored: two paths with the same identity name one file.
struct StoredFileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const StoredFileId&) const = default;
};

struct FolderListing {
  // Every regular file below the folder, as paths relative to it, sorted
  // byte by byte ("a.pdb" < "a/b.pdb" < "b.pdb"); each file once.
  std::vector<std::string> files;
  // The identity each of `files` had when it was listed, for
  // File::OpenListed.
  std::vector<StoredFileId> ids;
  // The folder or subfolders that could not be opened or read, in walk
  // order. The files found elsewhere are listed all the same.
  std::vector<FolderProblem> errors;
  // Symbolic links not followed because they lead out of the folder or
  // nowhere, sorted by path.
  std::vector<FolderProblem> skippedLinks;
};

// Lists the regular files below `folder`, recursively. `folder` itself may
// be a symbolic link; below it:
//   - subfolders are entered only as themselves, never through a symbolic
//     link (a link to a folder inside is redundant, since the folder is
//     walked in its own place, and a link may form a loop), and no folder is
//     walked twice (bind mounts);
//   - a symbolic link to a regular file inside the folder is listed under
//     its own path; a link leading out of the folder, or nowhere, goes to
//     `skippedLinks`;
//   - one file reached under several paths is listed once: under its own
//     path rather than a symbolic link's, and under the first in sorted
//     order of several own paths (hard links) or several links;
//   - devices, pipes and sockets are left out silently.
// A folder that cannot be opened (missing, not a folder, no permission)
// gives no files and one error with an empty path.
FolderListing ListFilesBelow(const std::string& folder);

// A whole regular file mapped read-only into memory, unmapped when
// destroyed. Its pages are the system's cache of the file, so a large input
// is neither copied nor given fresh memory page by page. Move-only.
//
// Another program that shortens the file while it is mapped takes away the
// pages past the new end. On POSIX systems reading one then stops the
// program with a message and exit status 1 (not a crash); Windows refuses
// to shorten a mapped file.
class MappedFile {
 public:
  enum class Result {
    kMapped,
    kTooLarge,   // a regular file of more than the limit's bytes; nothing mapped
    kNotMapped,  // not a regular file, an empty one, or the system would not map it
  };

  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) = delete;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the file at `path` when it is a regular file of 1 to `limit`
  // bytes. kNotMapped leaves the reading to the caller. With `whole`, every
  // page is entered at once (for a reader of every byte); otherwise pages
  // enter, and count towards the memory used, only as they are read.
  Result Map(const std::string& path, uint64_t limit, bool whole);
  // The mapped bytes; empty before a successful Map.
  std::string_view bytes() const { return {data_, size_}; }

 private:
  void Unmap();

  const char* data_ = nullptr;
  size_t size_ = 0;
};

// ---------------------------------------------------------------------------
// The program's start.

// The command line as UTF-8 strings, the program's name first. POSIX systems
// pass `argv` through as it is; Windows takes the UTF-16 command line of the
// process instead, so that file names in any script survive.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Sets standard input, output and error to carry bytes unchanged (no CR
// added before LF, none removed), so that every output is the same bytes on
// every system; a Windows console shows UTF-8 text. Called once, first.
void PrepareStandardStreams();

// ---------------------------------------------------------------------------
// Files, for the file layer (file_io.h).

// A failure's cause: an errno value (EEXIST, ENOENT, ...), which every
// system's failures are translated to where one fits, or a negative value
// for a system error that has none.
using SystemError = int;

// The text that describes `error`, such as "No such file or directory".
std::string ErrorText(SystemError error);

// True when anything is at `path`, a symbolic link leading nowhere included.
// Found without opening it.
bool PathExists(const std::string& path);

// The identity of the file `path` names (following links), or nothing when
// it does not exist or cannot be examined.
std::optional<StoredFileId> IdentityOf(const std::string& path);

// True when `a` and `b` name the same place once made absolute and
// normalised, whether or not anything is there: "o.csv", "./o.csv",
// "sub/../o.csv" and the full path agree; links in the part that exists are
// followed where the system can tell. On Windows '\' and '/' agree and
// letter case does not matter.
bool SameNormalisedPath(const std::string& a, const std::string& b);

// The folder that holds `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

// The path a new output for `path` must be stored at: the target of a
// symbolic link (so that replacing the file keeps the link), else `path`.
std::string ResolveLink(const std::string& path);

// An open file, closed when destroyed. Move-only.
class File {
 public:
  File() = default;
  ~File() {
    SystemError ignored = 0;
    Close(ignored);
  }
  File(File&& other) noexcept
      : handle_(std::exchange(other.handle_, kClosed)), owned_(other.owned_) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      SystemError ignored = 0;
      Close(ignored);
      handle_ = std::exchange(other.handle_, kClosed);
      owned_ = other.owned_;
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // `path` for reading; a closed File with `error` set on failure.
  static File OpenForReading(const std::string& path, SystemError& error);
  // The file that ListFilesBelow listed at `path` with identity `listed`,
  // for reading, and only that file: when the path leads to another file
  // or to something other than a regular file now (replaced meanwhile, or
  // a link or folder on the way changed, perhaps to lead out of the
  // folder), nothing is opened and `replaced` is set. Opening never waits,
  // not even for the writer of a pipe put there.
  static File OpenListed(const std::string& path, const StoredFileId& listed, bool& replaced,
                         SystemError& error);
  // An existing device or pipe at `path`, for writing in place (truncated
  // where that means anything).
  static File OpenInPlace(const std::string& path, SystemError& error);
  // Standard input or output; closing such a File leaves the stream open.
  static File StandardInput();
  static File StandardOutput(SystemError& error);

  bool IsOpen() const { return handle_ != kClosed; }
  // The size in bytes when this is a regular file; nothing for a pipe, a
  // device or a failure.
  std::optional<uint64_t> RegularFileSize() const;
  // Reads up to `size` bytes: how many were read, 0 at the end of the
  // input, or -1 with `error` set.
  int64_t Read(char* buffer, size_t size, SystemError& error);
  // Writes all of `data`; false with `error` set on failure.
  bool WriteAll(const char* data, size_t size, SystemError& error);
  // Writes all of `data` at byte `offset` of a regular file, over what is
  // there or beyond its end, without moving where WriteAll writes next;
  // false with `error` set on failure.
  bool WriteAllAt(uint64_t offset, const char* data, size_t size, SystemError& error);
  // Makes what was written survive a crash.
  bool Sync(SystemError& error);
  // Closes the file; false when the system reports a delayed write failure.
  bool Close(SystemError& error);

 private:
  static constexpr intptr_t kClosed = -1;
  File(intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}
  friend class PendingFile;

  intptr_t handle_ = kClosed;  // a descriptor, or a Windows HANDLE
  bool owned_ = false;         // false for the standard streams
};

class WriteBehind;  // write_behind.h

// A new output being written: a private file in the destination's folder
// (anonymous where the system allows, so that a killed run leaves nothing),
// put at its destination in one step by Commit, or removed when destroyed
// before that.
class PendingFile {
 public:
  PendingFile();
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Makes the private file in `folder`; false with `error` set.
  bool Create(const std::string& folder, SystemError& error);
  // True from a successful Create until a successful Commit.
  bool IsOpen() const { return file_.IsOpen(); }
  // Appends `data`; false with `error` set. Every megabyte appended asks a
  // thread of the file's own to flush what is written so far, so that
  // Commit's flush has little left to wait for (write_behind.h).
  bool Write(const char* data, size_t size, SystemError& error);
  // Writes `data` at byte `offset`, over what Write wrote; later Writes
  // still append. False with `error` set.
  bool WriteAt(uint64_t offset, const char* data, size_t size, SystemError& error) {
    return file_.WriteAllAt(offset, data, size, error);
  }
  // Flushes the contents to the disk, gives the file the permissions of the
  // regular file at `target` (or those of a new file), and puts it at
  // `target`: replacing what is there when `replace` is true; otherwise
  // failing with EEXIST when anything is there, also when it appeared just
  // now. False with `error` set, and the private file removed.
  bool Commit(const std::string& target, bool replace, SystemError& error) {
    if (Place(target, replace, error)) return true;
    Discard();
    return false;
  }

 private:
  // Commit's work, for each system; on failure Commit discards the file.
  bool Place(const std::string& target, bool replace, SystemError& error);
  void Discard();
  // The last flush, then the end of the early flushing; false with `error`
  // set when the last flush or an early one failed.
  bool FlushAll(SystemError& error);

  // How often the written bytes are flushed early: every kWriteBehind.
  static constexpr uint64_t kWriteBehind = uint64_t{1} << 20;

  File file_;
  std::string folder_;
  std::string name_;  // the private file's name while it has one
  uint64_t written_ = 0;    // bytes appended
  uint64_t requested_ = 0;  // of which a flush has been asked for
  std::unique_ptr<WriteBehind> behind_;  // from the first ask on
};

}  // namespace qv
