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
#include <cstring>

#include "cli/console.h"

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

mode_t CreationMode() {
  // umask can only be read by setting it; the program has one thread.
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The name the new file must finally have: a link's target, so that
// replacing it keeps the link.
std::string ResolveTarget(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

bool IsExistingNonRegular(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Makes a completed rename survive a crash; a failure here cannot undo the
// rename any more, so it is not reported.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool FileExists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  (void)std::fclose(file);
  return true;
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
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Closes the file on every way out, a failed allocation included.
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
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

std::string TooLargeMessage(const std::string& path) {
  return Format("The file %s is larger than 4 GiB, more than a database can describe!",
                path.c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool SamePlace(const std::string& a, const std::string& b) {
  if (SameFile(a, b)) return true;
  std::error_code errorA;
  std::error_code errorB;
  const std::filesystem::path pathA = std::filesystem::weakly_canonical(a, errorA);
  const std::filesystem::path pathB = std::filesystem::weakly_canonical(b, errorB);
  return !errorA && !errorB && pathA == pathB;
}

bool WriteWholeFile(const std::string& path, std::string_view contents, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = Describe("Creating", path, errno);
    return false;
  }
  if (!WriteAll(fd, contents.data(), contents.size())) {
    error = Describe("Writing", path, errno);
    close(fd);
    return false;
  }
  // Delayed write errors (a full disk, a network file system) show up here.
  if (close(fd) != 0) {
    error = Describe("Writing", path, errno);
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, ByteView contents, std::string& error) {
  const std::string target = ResolveTarget(path);
  if (IsExistingNonRegular(target)) return WriteWholeFile(target, AsText(contents), error);

  const std::string folder = FolderOf(target);
  std::string temporary = folder + "/.qv-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = Describe("Creating a temporary file for", path, errno);
    return false;
  }
  const std::string_view text = AsText(contents);
  bool ok = fchmod(fd, CreationMode()) == 0 && WriteAll(fd, text.data(), text.size()) &&
            fsync(fd) == 0;
  int failure = ok ? 0 : errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    error = Describe("Writing", path, failure);
    return false;
  }
  SyncFolder(folder);
  return true;
}

}  // namespace qv
