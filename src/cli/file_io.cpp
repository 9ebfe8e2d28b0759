// The POSIX side of the file layer: reading inputs, comparing paths, and
// writing outputs through a private file that is linked or renamed into
// place.
#include "cli/file_io.h"

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "convert/console.h"

namespace qv {
namespace {

std::string Describe(const char* what, const std::string& path, int error) {
  return Format("%s %s failed: %s", what, path.c_str(), std::strerror(error));
}

// Writes everything, retrying short writes and interrupted calls.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

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

// The name the new file must finally have: a link's target, so that
// replacing it keeps the link.
std::string ResolveTarget(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

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

bool FileExists(const std::string& path) {
  if (IsStandardStream(path)) return false;
  struct stat info {};
  return stat(path.c_str(), &info) == 0 || lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  if (IsStandardStream(path)) return false;
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

uint64_t FileLength(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat info {};
  const bool known = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  return known ? static_cast<uint64_t>(info.st_size) : 0;
}

std::optional<std::string> ReadWholeFile(const std::string& path, bool& tooLarge,
                                         uint64_t limit) {
  tooLarge = false;
  const bool standardInput = IsStandardStream(path);
  const int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Closes the file on every way out, a failed allocation included;
  // standard input stays open.
  struct Closer {
    int fd;
    ~Closer() {
      if (fd != STDIN_FILENO) close(fd);
    }
  } closer{standardInput ? STDIN_FILENO : fd};
  std::string contents;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (static_cast<uint64_t>(info.st_size) > limit) {
      tooLarge = true;
      return std::nullopt;
    }
    contents.reserve(static_cast<size_t>(info.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    contents.append(buffer, static_cast<size_t>(got));
    // At most one buffer beyond the limit is ever held, also for a file
    // that grows while it is read.
    if (contents.size() > limit) {
      tooLarge = true;
      return std::nullopt;
    }
  }
  return contents;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  bool tooLarge = false;
  return ReadWholeFile(path, tooLarge);
}

std::optional<InputBytes> ReadInput(const std::string& path, bool& tooLarge, uint64_t limit,
                                    bool whole) {
  tooLarge = false;
  InputBytes input;
  if (!IsStandardStream(path)) {
    switch (input.mapped_.Map(path, limit, whole)) {
      case MappedFile::Result::kMapped:
        return input;
      case MappedFile::Result::kTooLarge:
        tooLarge = true;
        return std::nullopt;
      case MappedFile::Result::kNotMapped:
        break;
    }
  }
  std::optional<std::string> read = ReadWholeFile(path, tooLarge, limit);
  if (!read) return std::nullopt;
  input.read_ = std::move(*read);
  return input;
}

std::string TooLargeMessage(const std::string& path) {
  return Format("The file %s is larger than 4 GiB, more than a database can describe!",
                path.c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
  if (IsStandardStream(a) || IsStandardStream(b)) return false;
  struct stat first {};
  struct stat second {};
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool SamePlace(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty() || IsStandardStream(a) || IsStandardStream(b)) return false;
  if (SameFile(a, b)) return true;
  // Absolute first: a relative path whose first part does not exist would
  // otherwise stay relative and never match its absolute spelling.
  namespace fs = std::filesystem;
  std::error_code errorA;
  std::error_code errorB;
  const fs::path pathA = fs::weakly_canonical(fs::absolute(a, errorA), errorA);
  const fs::path pathB = fs::weakly_canonical(fs::absolute(b, errorB), errorB);
  return !errorA && !errorB && pathA == pathB;
}

struct OutputFile::State {
  std::string path;       // as given, for messages
  std::string target;     // where the file goes: `path`, or a link's target
  std::string folder;     // the target's folder
  std::string temporary;  // the private file's name while it has one
  std::string failure;     // why a Write failed; the output is lost then
  int fd = -1;
  bool replace = false;
  bool inPlace = false;   // a device or pipe, written directly

  ~State() {
    if (fd >= 0) close(fd);
    if (!temporary.empty()) unlink(temporary.c_str());
  }

  OutputStatus Fail(const char* what, int error, std::string& message) const {
    message = Describe(what, path, error);
    return OutputStatus::kFailed;
  }

  // Puts the written file at `target`, as the last step.
  OutputStatus Place(std::string& message) {
    if (temporary.empty() && !replace) {
      if (LinkAnonymous(fd, target)) return OutputStatus::kDone;
      if (errno == EEXIST) return OutputStatus::kAlreadyExists;
      return Fail("Writing", errno, message);
    }
    if (temporary.empty()) {
      // Only a rename can replace a file in one step, and it needs a name.
      for (int attempt = 0;; ++attempt) {
        const std::string name =
            Format("%s/.qv-%ld-%d", folder.c_str(), static_cast<long>(getpid()), attempt);
        if (LinkAnonymous(fd, name)) {
          temporary = name;
          break;
        }
        if (errno != EEXIST || attempt == 100) return Fail("Writing", errno, message);
      }
    }
    if (replace ? rename(temporary.c_str(), target.c_str()) == 0
                : RenameNoReplace(temporary, target)) {
      temporary.clear();
      return OutputStatus::kDone;
    }
    if (errno == EEXIST) return OutputStatus::kAlreadyExists;
    return Fail("Writing", errno, message);
  }
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

OutputStatus OutputFile::Open(const std::string& path, bool replace, std::string& error) {
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.path = path;
  s.replace = replace;
  if (IsStandardStream(path)) {
    // A copy, so that finishing closes it and standard output stays open.
    s.inPlace = true;
    s.fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    return s.fd >= 0 ? OutputStatus::kDone : s.Fail("Writing", errno, error);
  }
  s.target = ResolveTarget(path);
  struct stat info {};
  if (stat(s.target.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return s.Fail("Creating", EISDIR, error);
    if (!replace) return OutputStatus::kAlreadyExists;
    if (!S_ISREG(info.st_mode)) {
      s.inPlace = true;
      s.fd = open(s.target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
      return s.fd >= 0 ? OutputStatus::kDone : s.Fail("Creating", errno, error);
    }
  } else if (!replace && lstat(s.target.c_str(), &info) == 0) {
    return OutputStatus::kAlreadyExists;  // a link to nothing
  }
  s.folder = FolderOf(s.target);
  // Anonymous where the file system has such files and /proc can name
  // them at the end; the mode is set when the contents are complete.
  if (access("/proc/self/fd", X_OK) == 0) {
    s.fd = open(s.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  }
  if (s.fd < 0) {
    std::string name = s.folder + "/.qv-XXXXXX";
    s.fd = mkostemp(name.data(), O_CLOEXEC);
    if (s.fd < 0) return s.Fail("Creating a temporary file for", errno, error);
    s.temporary = std::move(name);
  }
  return OutputStatus::kDone;
}

OutputStatus OutputFile::Write(std::string_view chunk, std::string& error) {
  if (!state_ || state_->fd < 0) {
    error = "No output file is open";
    return OutputStatus::kFailed;
  }
  State& s = *state_;
  if (!s.failure.empty()) {
    error = s.failure;
    return OutputStatus::kFailed;
  }
  if (WriteAll(s.fd, chunk.data(), chunk.size())) return OutputStatus::kDone;
  (void)s.Fail("Writing", errno, s.failure);
  error = s.failure;
  return OutputStatus::kFailed;
}

OutputStatus OutputFile::Finish(std::string_view contents, std::string& error) {
  const OutputStatus written = Write(contents, error);
  if (written != OutputStatus::kDone) return written;
  State& s = *state_;
  if (s.inPlace) {
    // Delayed write errors (a full disk, a network file system) show up here.
    const int closed = close(s.fd);
    s.fd = -1;
    return closed == 0 ? OutputStatus::kDone : s.Fail("Writing", errno, error);
  }
  if (fsync(s.fd) != 0 || !SetPermissions(s.fd, s.target)) return s.Fail("Writing", errno, error);
  const OutputStatus placed = s.Place(error);
  if (placed == OutputStatus::kDone) SyncFolder(s.folder);
  return placed;
}

OutputStatus WriteOutputFile(const std::string& path, std::string_view contents, bool replace,
                             std::string& error) {
  OutputFile file;
  const OutputStatus opened = file.Open(path, replace, error);
  return opened == OutputStatus::kDone ? file.Finish(contents, error) : opened;
}

}  // namespace qv
