// The platform layer on POSIX systems: stat, mkdir, and a folder walk over
// directory descriptors that never passes through a symbolic link.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "cli/platform.h"

namespace qv {
namespace {

using FileId = std::pair<dev_t, ino_t>;

// A regular file found by the walk, under its own path or a link's.
struct Candidate {
  bool viaLink = false;
  std::string path;
  FileId id;

  bool operator<(const Candidate& other) const {
    return std::tie(viaLink, path) < std::tie(other.viaLink, other.path);
  }
};

std::string Reason(int error) { return std::strerror(error); }

// The absolute path with every link, "." and ".." resolved, or nothing when
// it leads nowhere.
std::optional<std::string> RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string out(resolved);
  std::free(resolved);  // realpath allocates with malloc
  return out;
}

class FolderWalker {
 public:
  FolderWalker(std::string folder, std::string realRoot)
      : folder_(std::move(folder)), realRoot_(std::move(realRoot)) {}

  // Marks the folder open on `fd` as walked; false when it already was.
  bool Visit(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return true;  // cannot tell; the walk goes on
    return visited_.insert({st.st_dev, st.st_ino}).second;
  }

  // Walks the folder open on `fd` (which this closes), found at `relative`.
  void Walk(int fd, const std::string& relative) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      listing_.errors.push_back({relative, Reason(errno)});
      close(fd);
      return;
    }
    std::vector<std::string> names;
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(dir);
      if (entry == nullptr) {
        if (errno != 0) listing_.errors.push_back({relative, Reason(errno)});
        break;
      }
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    // A fixed order, so that which of two paths to one folder is walked
    // does not depend on the order the system lists them in.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      Entry(dirfd(dir), name, JoinPath(relative, name));
    }
    closedir(dir);
  }

  FolderListing Finish() {
    // Own paths before links, each group in path order; the first path of
    // each file is kept.
    std::sort(candidates_.begin(), candidates_.end());
    std::set<FileId> listed;
    for (const Candidate& candidate : candidates_) {
      if (listed.insert(candidate.id).second) listing_.files.push_back(candidate.path);
    }
    std::sort(listing_.files.begin(), listing_.files.end());
    std::sort(listing_.skippedLinks.begin(), listing_.skippedLinks.end(),
              [](const FolderProblem& a, const FolderProblem& b) { return a.path < b.path; });
    return std::move(listing_);
  }

 private:
  void Entry(int parent, const std::string& name, const std::string& relative) {
    struct stat st {};
    if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      // Gone since the folder was read: nothing to list.
      if (errno != ENOENT) listing_.errors.push_back({relative, Reason(errno)});
      return;
    }
    if (S_ISREG(st.st_mode)) {
      candidates_.push_back({false, relative, {st.st_dev, st.st_ino}});
    } else if (S_ISDIR(st.st_mode)) {
      // O_NOFOLLOW: a folder swapped for a link since fstatat fails here.
      const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) {
        listing_.errors.push_back({relative, Reason(errno)});
      } else if (!Visit(fd)) {
        close(fd);
      } else {
        Walk(fd, relative);
      }
    } else if (S_ISLNK(st.st_mode)) {
      Link(relative);
    }
  }

  // A symbolic link: listed when it leads to a regular file inside the
  // folder. Links to folders are not followed (see ListFilesBelow).
  void Link(const std::string& relative) {
    const std::optional<std::string> target = RealPath(JoinPath(folder_, relative));
    struct stat st {};
    if (!target || stat(target->c_str(), &st) != 0) {
      listing_.skippedLinks.push_back({relative, "symbolic link leading nowhere"});
      return;
    }
    if (!Inside(*target)) {
      listing_.skippedLinks.push_back({relative, "symbolic link leading out of the folder"});
      return;
    }
    if (S_ISREG(st.st_mode)) candidates_.push_back({true, relative, {st.st_dev, st.st_ino}});
  }

  bool Inside(const std::string& path) const {
    if (realRoot_ == "/") return true;
    return path.size() > realRoot_.size() && path.compare(0, realRoot_.size(), realRoot_) == 0 &&
           path[realRoot_.size()] == '/';
  }

  std::string folder_;
  std::string realRoot_;
  std::vector<Candidate> candidates_;
  std::set<FileId> visited_;
  FolderListing listing_;
};

}  // namespace

PathKind GetPathKind(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  return PathKind::kOther;
}

std::string JoinPath(std::string_view folder, std::string_view relative) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path.push_back('/');
  path.append(relative);
  return path;
}

Status MakeFolders(const std::string& path) {
  if (path.empty()) return Failure{Reason(ENOENT)};
  // Each folder from the top down: the path up to each separator, then the
  // whole path. A leading separator and doubled ones name no new folder.
  for (size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    if (path[end - 1] == '/') continue;
    const std::string part = path.substr(0, end);
    if (mkdir(part.c_str(), 0777) == 0) continue;
    const int failure = errno;
    // Already there (perhaps made by another thread just now) is fine when
    // it is a folder.
    if (GetPathKind(part) == PathKind::kFolder) continue;
    return Failure{Reason(failure == EEXIST ? ENOTDIR : failure)};
  }
  return {};
}

FolderListing ListFilesBelow(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const std::optional<std::string> realRoot = fd < 0 ? std::nullopt : RealPath(folder);
  if (!realRoot) {
    const int failure = errno;
    if (fd >= 0) close(fd);
    FolderListing listing;
    listing.errors.push_back({"", Reason(failure)});
    return listing;
  }
  FolderWalker walker(folder, *realRoot);
  walker.Visit(fd);
  walker.Walk(fd, "");
  return walker.Finish();
}

}  // namespace qv
