// The file-system calls that differ between operating systems, behind one
// small interface: what a path names, creating folders, and listing the
// files below a folder. Nothing outside the platform files knows which
// system it runs on; platform_posix.cpp implements this interface for POSIX
// systems.
//
// Paths are byte strings as the system takes them. Paths relative to a
// walked folder always use '/' between their parts, on every system.
#pragma once

#include <string>
#include <string_view>
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

}  // namespace qv
