// The file-system calls that differ between operating systems, behind one
// small interface: what a path names, creating folders, and listing the
// files below a folder. Nothing outside the platform files knows which
// system it runs on; platform_posix.cpp implements this interface for POSIX
// systems.
//
// Paths are byte strings as the system takes them. Paths relative to a
// walked folder always use '/' between their parts, on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Creates the folder `path` and every missing folder above it. True when
// `path` is a folder afterwards (including when it already was); otherwise
// false with the system's reason in `error`, for example "Not a directory"
// when a part of the path is a file.
bool MakeFolders(const std::string& path, std::string& error);

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

struct FolderListing {
  // Every regular file below the folder, as paths relative to it, sorted
  // byte by byte ("a.pdb" < "a/b.pdb" < "b.pdb"); each file once.
  std::vector<std::string> files;
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
// pages past the new end; reading them then stops the program (SIGBUS), as
// with any mapped input.
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

}  // namespace qv
