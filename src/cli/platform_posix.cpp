// The platform layer on POSIX systems: stat, mkdir, a folder walk over
// directory descriptors that never passes through a symbolic link, and
// outputs written as anonymous files (O_TMPFILE) linked into place, or as
// named private files renamed over their destination, mapped inputs, and
// large blocks of memory on huge pages.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <system_error>
#include <tuple>
#include <utility>

#include "cli/platform.h"
#include "cli/write_behind.h"

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
    std::vector<std::pair<std::string, StoredFileId>> files;
    for (const Candidate& candidate : candidates_) {
      if (listed.insert(candidate.id).second) {
        files.push_back({candidate.path, {static_cast<uint64_t>(candidate.id.first),
                                          static_cast<uint64_t>(candidate.id.second)}});
      }
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [path, id] : files) {
      listing_.files.push_back(std::move(path));
      listing_.ids.push_back(id);
    }
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


// The umask of the process. Linux shows it in /proc, where reading cannot
// disturb it; elsewhere it can only be read by setting it, which is done
// under a lock so that two threads converting at once (the folder mode)
// never take each other's passing zero for the umask and keep it.
mode_t CurrentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, "Umask:", 6) != 0) continue;
      char* end = nullptr;
      mask = static_cast<unsigned>(std::strtoul(line + 6, &end, 8));
      found = end != line + 6;
    }
    (void)std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// The permission bits of a new file.
mode_t CreationMode() { return 0666 & ~CurrentUmask(); }

// Makes a completed rename survive a crash; a failure here cannot undo the
// rename any more, so it is not reported.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Gives the anonymous file open as `fd` the name `name`; fails with EEXIST
// when something already has that name. Through /proc where it is mounted,
// else directly (which needs a privilege).
bool LinkAnonymous(int fd, const std::string& name) {
  char self[64];
  (void)std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != ENOENT) return false;
  return linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

// Gives the written file the permission bits (and, where allowed, the owner)
// of the regular file it replaces, or those of a new file.
bool SetPermissions(int fd, const std::string& target) {
  struct stat old {};
  if (stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) {
    return fchmod(fd, CreationMode()) == 0;
  }
  // Only root may give a file away; a member of the old group may keep it.
  if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  return fchmod(fd, old.st_mode & 0777) == 0;
}

// Moves the named file `from` to `to` unless something is at `to`; fails
// with EEXIST when something is.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  // A C library without renameat2 (the WebAssembly build's, which writes no
  // files) goes straight to the link below, which refuses just as well.
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  // The file system cannot refuse in the rename: a new link refuses too.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP) return false;
  // Nor has it links: the best left is to look first.
  struct stat info {};
  if (lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

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

std::optional<std::string> PathBelow(const std::string& folder, const std::string& path) {
  const std::optional<std::string> root = RealPath(folder);
  const std::optional<std::string> inner = RealPath(path);
  if (!root || !inner) return std::nullopt;
  if (*inner == *root) return "";
  // "/" ends in its separator already; every other resolved path does not.
  const std::string prefix = root->back() == '/' ? *root : *root + '/';
  if (inner->compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  return inner->substr(prefix.size());
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

namespace {

// Another program that shortens a mapped input takes away the pages past
// its new end, and reading one raises SIGBUS. Instead of dying of the
// signal, the program says so and stops with exit status 1; the output in
// progress is never put in place (an anonymous private file vanishes with
// the process; a named one is left as .qv-XXXXXX beside the output).
void OnInputShortened(int /*signal*/) {
  static constexpr char kMessage[] =
      "ERROR: An input file was shortened by another program while it was read!\n"
      "ERROR:In Conversion!\n";
  (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  _exit(1);
}

void HandleShortenedInputs() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_handler = OnInputShortened;
    sigemptyset(&action.sa_mask);
    (void)sigaction(SIGBUS, &action, nullptr);
  });
}

}  // namespace

MappedFile::~MappedFile() { Unmap(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

void MappedFile::Unmap() {
  if (data_ != nullptr) munmap(const_cast<char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

MappedFile::Result MappedFile::Map(const std::string& path, uint64_t limit, bool whole) {
  Unmap();
  // Only a regular file is opened here: opening a pipe would wait for, or
  // take the data of, a writer meant for the reading that follows. Should
  // the path change in between, the non-blocking open still never waits.
  struct stat named {};
  if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return Result::kNotMapped;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Result::kNotMapped;
  struct stat info {};
  Result result = Result::kNotMapped;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    const auto size = static_cast<uint64_t>(info.st_size);
    if (size > limit) {
      result = Result::kTooLarge;
    } else {
      int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
      // All pages at once rather than one fault at a time.
      if (whole) flags |= MAP_POPULATE;
#endif
      HandleShortenedInputs();
      void* mapped = mmap(nullptr, static_cast<size_t>(size), PROT_READ, flags, fd, 0);
      if (mapped != MAP_FAILED) {
        data_ = static_cast<const char*>(mapped);
        size_ = static_cast<size_t>(size);
        result = Result::kMapped;
      }
    }
  }
  // The mapping stays valid without the descriptor.
  close(fd);
  return result;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareStandardStreams() {}

std::string ErrorText(SystemError error) { return Reason(error); }

bool PathExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 || lstat(path.c_str(), &info) == 0;
}

std::optional<StoredFileId> IdentityOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return StoredFileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

bool SameNormalisedPath(const std::string& a, const std::string& b) {
  // Absolute first: a relative path whose first part does not exist would
  // otherwise stay relative and never match its absolute spelling.
  namespace fs = std::filesystem;
  std::error_code errorA;
  std::error_code errorB;
  const fs::path pathA = fs::weakly_canonical(fs::absolute(a, errorA), errorA);
  const fs::path pathB = fs::weakly_canonical(fs::absolute(b, errorB), errorB);
  return !errorA && !errorB && pathA == pathB;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ResolveLink(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  return RealPath(path).value_or(path);
}

File File::OpenForReading(const std::string& path, SystemError& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) error = errno;
  return fd < 0 ? File() : File(fd, true);
}

File File::OpenListed(const std::string& path, const StoredFileId& listed, bool& replaced,
                      SystemError& error) {
  replaced = false;
  // O_NONBLOCK: a pipe put in the file's place would wait for a writer.
  // A regular file reads the same with it.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return File();
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    error = errno;
    close(fd);
    return File();
  }
  if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_dev) != listed.volume ||
      static_cast<uint64_t>(st.st_ino) != listed.index) {
    replaced = true;
    close(fd);
    return File();
  }
  return File(fd, true);
}

File File::OpenInPlace(const std::string& path, SystemError& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) error = errno;
  return fd < 0 ? File() : File(fd, true);
}

File File::StandardInput() { return File(STDIN_FILENO, false); }

File File::StandardOutput(SystemError& error) {
  // A copy, so that closing it reports delayed write failures and standard
  // output stays open.
  const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) error = errno;
  return fd < 0 ? File() : File(fd, true);
}

std::optional<uint64_t> File::RegularFileSize() const {
  struct stat info {};
  if (fstat(static_cast<int>(handle_), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

// Changes the file, not the object: not const.
// NOLINTNEXTLINE(readability-make-member-function-const)
int64_t File::Read(char* buffer, size_t size, SystemError& error) {
  for (;;) {
    const ssize_t got = read(static_cast<int>(handle_), buffer, size);
    if (got >= 0) return got;
    if (errno != EINTR) {
      error = errno;
      return -1;
    }
  }
}

namespace {

// Writes all `size` bytes of `data` by as many calls of `step(data, size,
// done)` as it takes (`done`: the bytes written so far), each returning the
// bytes it wrote or -1 with errno set; interrupted calls are made again.
template <typename Step>
bool WriteEvery(const char* data, size_t size, SystemError& error, Step step) {
  for (uint64_t done = 0; size > 0;) {
    const ssize_t written = step(data, size, done);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
    done += static_cast<uint64_t>(written);
  }
  return true;
}

}  // namespace

// Changes the file, not the object: not const.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool File::WriteAll(const char* data, size_t size, SystemError& error) {
  const int fd = static_cast<int>(handle_);
  return WriteEvery(data, size, error, [fd](const char* from, size_t count, uint64_t) {
    return write(fd, from, count);
  });
}

// Changes the file, not the object: not const.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool File::WriteAllAt(uint64_t offset, const char* data, size_t size, SystemError& error) {
  const int fd = static_cast<int>(handle_);
  return WriteEvery(data, size, error, [fd, offset](const char* from, size_t count, uint64_t done) {
    const uint64_t at = offset + done;
    if (at > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
      errno = EFBIG;
      return ssize_t{-1};
    }
    return pwrite(fd, from, count, static_cast<off_t>(at));
  });
}

// Changes the file, not the object: not const.
// NOLINTNEXTLINE(readability-make-member-function-const)
bool File::Sync(SystemError& error) {
  if (fsync(static_cast<int>(handle_)) == 0) return true;
  error = errno;
  return false;
}

bool File::Close(SystemError& error) {
  const intptr_t handle = std::exchange(handle_, kClosed);
  if (handle == kClosed || !owned_) return true;
  if (close(static_cast<int>(handle)) == 0) return true;
  error = errno;
  return false;
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::Discard() {
  behind_.reset();  // before the descriptor it flushes is closed
  SystemError ignored = 0;
  file_.Close(ignored);
  if (!name_.empty()) unlink(name_.c_str());
  name_.clear();
}

bool PendingFile::Create(const std::string& folder, SystemError& error) {
  folder_ = folder;
  // Anonymous where the file system has such files and /proc can name them
  // at the end; the mode is set when the contents are complete.
  int fd = -1;
  if (access("/proc/self/fd", X_OK) == 0) {
    fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  }
  if (fd < 0) {
    std::string name = folder + "/.qv-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      error = errno;
      return false;
    }
    name_ = std::move(name);
  }
  file_ = File(fd, true);
  return true;
}

bool PendingFile::Place(const std::string& target, bool replace, SystemError& error) {
  const int fd = static_cast<int>(file_.handle_);
  if (!FlushAll(error)) return false;
  if (!SetPermissions(fd, target)) {
    error = errno;
    return false;
  }
  if (name_.empty() && !replace) {
    if (!LinkAnonymous(fd, target)) {
      error = errno;
      return false;
    }
  } else {
    if (name_.empty()) {
      // Only a rename can replace a file in one step, and it needs a name.
      for (int attempt = 0;; ++attempt) {
        char name[64];
        (void)std::snprintf(name, sizeof name, "/.qv-%ld-%d", static_cast<long>(getpid()), attempt);
        if (LinkAnonymous(fd, folder_ + name)) {
          name_ = folder_ + name;
          break;
        }
        if (errno != EEXIST || attempt == 100) {
          error = errno;
          return false;
        }
      }
    }
    if (replace ? rename(name_.c_str(), target.c_str()) != 0 : !RenameNoReplace(name_, target)) {
      error = errno;
      return false;
    }
    name_.clear();
  }
  // In place now: nothing can be undone, so closing is not checked.
  SystemError ignored = 0;
  file_.Close(ignored);
  SyncFolder(folder_);
  return true;
}


// Large blocks on huge pages.
//
// A conversion fills a few large blocks once, from start to end: the CSV
// table's field list and arena, the texts of the export's parts, the SQLite
// file. Filled 4 KiB at a time, every page costs the kernel a fault, and in
// a virtual machine the fault costs more than filling the page. A block of
// 2 MiB or more is therefore placed on a 2 MiB boundary, its size rounded up
// to whole 2 MiB, and the system asked to back it with huge pages: one fault
// per 2 MiB. Blocks come from malloc and go back to free as before, so every
// other allocation is unchanged and a refused block still ends in
// std::bad_alloc. Under the address or thread sanitizer their own operator
// new stays, which checks more.
#if defined(MADV_HUGEPAGE) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// malloc, or for a large block a huge-page-aligned one with the advice;
// nullptr when the system refuses.
void* AllocateBlock(size_t size) {
  if (size < kHugePage) return std::malloc(size == 0 ? 1 : size);
  if (size > std::numeric_limits<size_t>::max() - kHugePage) return nullptr;
  const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
  void* block = std::aligned_alloc(kHugePage, rounded);
  // Only advice: without huge pages the block is used as it is.
  if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
  return block;
}

// As the standard operator new: asks the new-handler until a block is had,
// and throws std::bad_alloc when there is none.
void* AllocateOrThrow(size_t size) {
  for (;;) {
    if (void* block = AllocateBlock(size)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

}  // namespace
#endif

}  // namespace qv

#if defined(MADV_HUGEPAGE) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The replaceable allocation functions; the nothrow and aligned forms of
// the standard library call these or malloc and free themselves.
void* operator new(size_t size) { return qv::AllocateOrThrow(size); }
void* operator new[](size_t size) { return qv::AllocateOrThrow(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t /*size*/) noexcept { std::free(block); }
void operator delete[](void* block, size_t /*size*/) noexcept { std::free(block); }
#endif
