// The platform layer on Windows: the wide (UTF-16) functions of the system
// throughout, file identity from the volume serial number and file index,
// outputs written to a private file in the destination's folder and moved
// into place with MoveFileExW, and a folder walk that never passes through a
// symbolic link or junction.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <tuple>
#include <utility>

#include "cli/platform.h"
#include "cli/write_behind.h"
#include "pdb/format.h"

namespace qv {
namespace {

// `text` (UTF-8) as UTF-16; invalid bytes become U+FFFD.
std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), wide);
  return out;
}

// `text` (UTF-16) as UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int narrow = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), narrow, nullptr, nullptr);
  return out;
}

// The errno value for a Windows error code, so that messages read the same
// as on other systems; a negative code for an error without one.
SystemError FromWindows(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return code > static_cast<DWORD>(INT_MAX) ? -INT_MAX : -static_cast<int>(code);
  }
}

SystemError LastError() { return FromWindows(GetLastError()); }

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The volume of the identity given to a file the folder walk could not
// examine, each such file numbered on its own.
constexpr uint64_t kUnknownVolume = UINT64_MAX;

// Opens `path` (following links) only to examine it; folders too.
HANDLE OpenToExamine(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

std::optional<StoredFileId> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    return std::nullopt;
  }
  return StoredFileId{info.dwVolumeSerialNumber,
                      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// The path of the open file or folder with every link and junction
// resolved, in the \\?\C:\... form; empty when the system cannot tell.
std::wstring FinalPath(HANDLE handle) {
  std::wstring out(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD size = GetFinalPathNameByHandleW(handle, out.data(), static_cast<DWORD>(out.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0) return {};
    if (size < out.size()) {
      out.resize(size);
      return out;
    }
    out.resize(size + 1);
  }
  return {};
}

// The absolute form of `path` with '.' and '..' resolved and '\' between
// its parts; empty on failure.
std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring out(size, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), size, out.data(), nullptr);
  if (got == 0 || got >= size) return {};
  out.resize(got);
  std::replace(out.begin(), out.end(), L'/', L'\\');
  while (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return out;
}

// FullPath, with the folder that holds it replaced by its final path when
// that folder exists, so that a junction or a link on the way and the
// folder's own path agree.
std::wstring ComparablePath(const std::string& path) {
  std::wstring full = FullPath(Widen(path));
  const size_t slash = full.rfind(L'\\');
  if (full.empty() || slash == std::wstring::npos || slash + 1 == full.size()) return full;
  const HANDLE folder = OpenToExamine(full.substr(0, slash));
  if (folder == INVALID_HANDLE_VALUE) return full;
  std::wstring final = FinalPath(folder);
  CloseHandle(folder);
  if (final.empty()) return full;
  if (final.back() != L'\\') final += L'\\';
  return final + full.substr(slash + 1);
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The console's output code page before PrepareStandardStreams, put back
// when the program ends.
UINT originalConsoleCodePage = 0;

void RestoreConsoleCodePage() {
  if (originalConsoleCodePage != 0) SetConsoleOutputCP(originalConsoleCodePage);
}

// A regular file found by the walk, under its own path or a link's.
struct Candidate {
  bool viaLink = false;
  std::string path;
  StoredFileId id;

  bool operator<(const Candidate& other) const {
    return std::tie(viaLink, path) < std::tie(other.viaLink, other.path);
  }
};

using IdentityKey = std::pair<uint64_t, uint64_t>;

class FolderWalker {
 public:
  explicit FolderWalker(std::wstring realRoot) : realRoot_(std::move(realRoot)) {}

  // Marks the folder open as `handle` as walked; false when it already was.
  bool Visit(HANDLE handle) {
    const std::optional<StoredFileId> id = IdentityOfHandle(handle);
    if (!id) return true;  // cannot tell; the walk goes on
    return visited_.insert({id->volume, id->index}).second;
  }

  // Walks the folder at `folder`, found at `relative`.
  void Walk(const std::wstring& folder, const std::string& relative) {
    struct Item {
      std::string name;
      std::wstring wide;
      DWORD attributes;
    };
    std::vector<Item> items;
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = folder + (IsSeparator(folder.back()) ? L"*" : L"\\*");
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        listing_.errors.push_back({relative, ErrorText(LastError())});
      }
      return;
    }
    do {
      const std::wstring_view name = data.cFileName;
      if (name != L"." && name != L"..") items.push_back({Narrow(name), std::wstring(name), data.dwFileAttributes});
    } while (FindNextFileW(find, &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
      listing_.errors.push_back({relative, ErrorText(LastError())});
    }
    FindClose(find);
    // A fixed order, so that which of two paths to one folder is walked
    // does not depend on the order the system lists them in.
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.name < b.name; });
    for (const Item& item : items) {
      const std::wstring path = folder + (IsSeparator(folder.back()) ? L"" : L"\\") + item.wide;
      const std::string itemRelative = relative.empty() ? item.name : relative + '/' + item.name;
      if (item.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        Link(path, itemRelative);
      } else if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        const HANDLE handle = OpenToExamine(path);
        if (handle == INVALID_HANDLE_VALUE) {
          listing_.errors.push_back({itemRelative, ErrorText(LastError())});
          continue;
        }
        const bool first = Visit(handle);
        CloseHandle(handle);
        if (first) Walk(path, itemRelative);
      } else {
        candidates_.push_back({false, itemRelative, Identity(path)});
      }
    }
  }

  FolderListing Finish() {
    // Own paths before links, each group in path order; the first path of
    // each file is kept.
    std::sort(candidates_.begin(), candidates_.end());
    std::set<IdentityKey> listed;
    std::vector<std::pair<std::string, StoredFileId>> files;
    for (const Candidate& candidate : candidates_) {
      if (listed.insert({candidate.id.volume, candidate.id.index}).second) {
        files.push_back({candidate.path, candidate.id});
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
  // The identity of a regular file; one that cannot be opened (in use with
  // no sharing) gets one of its own, so that it is listed, and reading it
  // later reports why it cannot be read.
  StoredFileId Identity(const std::wstring& path) {
    const HANDLE handle = OpenToExamine(path);
    std::optional<StoredFileId> id;
    if (handle != INVALID_HANDLE_VALUE) {
      id = IdentityOfHandle(handle);
      CloseHandle(handle);
    }
    return id ? *id : StoredFileId{kUnknownVolume, unknown_++};
  }

  // A symbolic link or junction: listed when it leads to a regular file
  // inside the folder. Links to folders are not followed.
  void Link(const std::wstring& path, const std::string& relative) {
    const HANDLE handle = OpenToExamine(path);
    if (handle == INVALID_HANDLE_VALUE) {
      listing_.skippedLinks.push_back({relative, "symbolic link leading nowhere"});
      return;
    }
    const std::wstring target = FinalPath(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool examined = GetFileInformationByHandle(handle, &info) != 0;
    const std::optional<StoredFileId> id = IdentityOfHandle(handle);
    CloseHandle(handle);
    if (target.empty() || !examined || !id) {
      listing_.skippedLinks.push_back({relative, "symbolic link leading nowhere"});
      return;
    }
    if (!Inside(target)) {
      listing_.skippedLinks.push_back({relative, "symbolic link leading out of the folder"});
      return;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) candidates_.push_back({true, relative, *id});
  }

  bool Inside(const std::wstring& path) const {
    const bool rootEndsInSeparator = IsSeparator(realRoot_.back());
    const size_t prefix = realRoot_.size();
    return path.size() > prefix && EqualIgnoringCase(std::wstring_view(path).substr(0, prefix), realRoot_) &&
           (rootEndsInSeparator || path[prefix] == L'\\');
  }

  std::wstring realRoot_;
  std::vector<Candidate> candidates_;
  std::set<IdentityKey> visited_;
  uint64_t unknown_ = 0;
  FolderListing listing_;
};

}  // namespace

PathKind GetPathKind(const std::string& path) {
  if (path.empty()) return PathKind::kMissing;
  const std::wstring wide = Widen(path);
  const HANDLE handle = OpenToExamine(wide);
  if (handle == INVALID_HANDLE_VALUE) {
    // There but not to be opened now (in use with no sharing): the
    // attributes still tell what it is. A link to nothing is missing.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return PathKind::kMissing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
  }
  PathKind kind = PathKind::kOther;  // a device such as NUL or CON, a pipe
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)) {
    kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
  }
  CloseHandle(handle);
  return kind;
}

std::string JoinPath(std::string_view folder, std::string_view relative) {
  // The folder's own separator: '\' when it uses that, else '/', which the
  // system takes as well.
  const char separator = folder.find('\\') != std::string_view::npos ? '\\' : '/';
  std::string path(folder);
  const bool bareDrive = path.size() == 2 && path[1] == ':';
  if (!path.empty() && path.back() != '/' && path.back() != '\\' && !bareDrive) {
    path.push_back(separator);
  }
  for (const char c : relative) path.push_back(c == '/' ? separator : c);
  return path;
}

Status MakeFolders(const std::string& path) {
  if (path.empty()) return Failure{ErrorText(ENOENT)};
  const std::wstring wide = Widen(path);
  // The root is never made: a drive ("C:"), or a network share or device
  // path ("\\server\share", "\\?\C:"), whose first two parts are the root.
  size_t start = 0;
  if (wide.size() >= 2 && IsSeparator(wide[0]) && IsSeparator(wide[1])) {
    start = 2;
    for (int part = 0; part < 2 && start < wide.size(); ++part) {
      while (start < wide.size() && !IsSeparator(wide[start])) ++start;
      if (part == 0) ++start;
    }
  } else if (wide.size() >= 2 && wide[1] == L':') {
    start = 2;
  }
  // Each folder from the top down: the path up to each separator, then the
  // whole path. Leading and doubled separators name no new folder.
  for (size_t end = start + 1; end <= wide.size(); ++end) {
    if (end < wide.size() && !IsSeparator(wide[end])) continue;
    if (IsSeparator(wide[end - 1])) continue;
    const std::wstring part = wide.substr(0, end);
    if (CreateDirectoryW(part.c_str(), nullptr)) continue;
    const DWORD failure = GetLastError();
    // Already there (perhaps made by another thread just now) is fine when
    // it is a folder.
    if (GetPathKind(Narrow(part)) == PathKind::kFolder) continue;
    return Failure{ErrorText(failure == ERROR_ALREADY_EXISTS ? ENOTDIR : FromWindows(failure))};
  }
  return {};
}

FolderListing ListFilesBelow(const std::string& folder) {
  const HANDLE handle = OpenToExamine(Widen(folder));
  FolderListing failed;
  if (handle == INVALID_HANDLE_VALUE) {
    failed.errors.push_back({"", ErrorText(folder.empty() ? ENOENT : LastError())});
    return failed;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool isFolder = GetFileInformationByHandle(handle, &info) &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  const std::wstring realRoot = isFolder ? FinalPath(handle) : std::wstring();
  if (!isFolder || realRoot.empty()) {
    CloseHandle(handle);
    failed.errors.push_back({"", ErrorText(isFolder ? LastError() : ENOTDIR)});
    return failed;
  }
  // Walked from its final path, which also reaches below the classic
  // 260-character limit of paths.
  FolderWalker walker(realRoot);
  walker.Visit(handle);
  CloseHandle(handle);
  walker.Walk(realRoot, "");
  return walker.Finish();
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

void PrepareStandardStreams() {
  (void)_setmode(_fileno(stdin), _O_BINARY);
  (void)_setmode(_fileno(stdout), _O_BINARY);
  (void)_setmode(_fileno(stderr), _O_BINARY);
  // Messages are UTF-8; a console shows them as such while the program runs.
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
      GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) {
    originalConsoleCodePage = GetConsoleOutputCP();
    if (originalConsoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
      std::atexit(RestoreConsoleCodePage);
    }
  }
}

std::string ErrorText(SystemError error) {
  if (error >= 0) return std::strerror(error);
  wchar_t* text = nullptr;
  const DWORD size = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(-error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = size > 0 ? Narrow(std::wstring_view(text, size)) : std::string();
  if (text != nullptr) LocalFree(text);
  // The system's texts end in a full stop and a line break; messages here
  // carry neither.
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' ||
                          out.back() == ' ')) {
    out.pop_back();
  }
  if (out.empty()) out = Format("Windows error %d", -error);
  return out;
}

bool PathExists(const std::string& path) {
  return !path.empty() && GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> PathBelow(const std::string& folder, const std::string& path) {
  std::wstring resolved[2];
  const std::string* paths[2] = {&folder, &path};
  for (int i = 0; i < 2; ++i) {
    const HANDLE handle = OpenToExamine(Widen(*paths[i]));
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    resolved[i] = FinalPath(handle);
    CloseHandle(handle);
    if (resolved[i].empty()) return std::nullopt;
  }
  std::wstring& root = resolved[0];
  const std::wstring& inner = resolved[1];
  if (EqualIgnoringCase(root, inner)) return "";
  if (root.back() != L'\\') root += L'\\';
  if (inner.size() <= root.size() ||
      !EqualIgnoringCase(std::wstring_view(inner).substr(0, root.size()), root)) {
    return std::nullopt;
  }
  std::string relative = Narrow(std::wstring_view(inner).substr(root.size()));
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return relative;
}

MappedFile::~MappedFile() { Unmap(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

void MappedFile::Unmap() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  data_ = nullptr;
  size_ = 0;
}

// Windows refuses to shorten a file while a view of it is mapped, so the
// mapped bytes stay readable to the end. `whole` makes no difference here.
MappedFile::Result MappedFile::Map(const std::string& path, uint64_t limit, bool /*whole*/) {
  Unmap();
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Result::kNotMapped;
  Result result = Result::kNotMapped;
  LARGE_INTEGER size{};
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    if (static_cast<uint64_t>(size.QuadPart) > limit) {
      result = Result::kTooLarge;
    } else if (static_cast<uint64_t>(size.QuadPart) <= SIZE_MAX) {
      const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
      if (mapping != nullptr) {
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        // The view keeps the mapping alive.
        CloseHandle(mapping);
        if (view != nullptr) {
          data_ = static_cast<const char*>(view);
          size_ = static_cast<size_t>(size.QuadPart);
          result = Result::kMapped;
        }
      }
    }
  }
  CloseHandle(file);
  return result;
}

std::optional<StoredFileId> IdentityOf(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const HANDLE handle = OpenToExamine(Widen(path));
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<StoredFileId> id = IdentityOfHandle(handle);
  CloseHandle(handle);
  return id;
}

bool SameNormalisedPath(const std::string& a, const std::string& b) {
  const std::wstring pathA = ComparablePath(a);
  const std::wstring pathB = ComparablePath(b);
  return !pathA.empty() && !pathB.empty() && EqualIgnoringCase(pathA, pathB);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const bool drive = path.size() >= 2 && path[1] == ':';
  if (slash == std::string::npos) return drive ? path.substr(0, 2) : ".";
  // The root keeps its separator: "\x" in "\", "C:\x" in "C:\".
  if (slash == 0 || (drive && slash == 2)) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string ResolveLink(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return path;
  }
  const HANDLE handle = OpenToExamine(wide);
  if (handle == INVALID_HANDLE_VALUE) return path;
  const std::wstring final = FinalPath(handle);
  CloseHandle(handle);
  return final.empty() ? path : Narrow(final);
}

File File::OpenForReading(const std::string& path, SystemError& error) {
  const HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError();
    return File();
  }
  return File(reinterpret_cast<intptr_t>(handle), true);
}

File File::OpenListed(const std::string& path, const StoredFileId& listed, bool& replaced,
                      SystemError& error) {
  replaced = false;
  File file = OpenForReading(path, error);
  if (!file.IsOpen()) return file;
  const HANDLE handle = reinterpret_cast<HANDLE>(file.handle_);
  BY_HANDLE_FILE_INFORMATION info{};
  const std::optional<StoredFileId> id = IdentityOfHandle(handle);
  // A file the walk could not examine has a made-up identity (see
  // FolderWalker::Identity): only its kind can be checked.
  const bool unknown = listed.volume == kUnknownVolume;
  if (!id || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (!unknown && !(*id == listed))) {
    replaced = true;
    return File();
  }
  return file;
}

File File::OpenInPlace(const std::string& path, SystemError& error) {
  const HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError();
    return File();
  }
  return File(reinterpret_cast<intptr_t>(handle), true);
}

File File::StandardInput() {
  return File(reinterpret_cast<intptr_t>(GetStdHandle(STD_INPUT_HANDLE)), false);
}

File File::StandardOutput(SystemError& error) {
  // Whatever the C library holds for standard output goes first.
  if (std::fflush(stdout) != 0) {
    error = errno;
    return File();
  }
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    error = EBADF;
    return File();
  }
  return File(reinterpret_cast<intptr_t>(handle), false);
}

std::optional<uint64_t> File::RegularFileSize() const {
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}

int64_t File::Read(char* buffer, size_t size, SystemError& error) {
  DWORD got = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  if (ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, wanted, &got, nullptr)) return got;
  // A pipe whose writer has finished ends this way.
  if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
  error = LastError();
  return -1;
}

bool File::WriteAll(const char* data, size_t size, SystemError& error) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), data, chunk, &written, nullptr)) {
      error = LastError();
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool File::WriteAllAt(uint64_t offset, const char* data, size_t size, SystemError& error) {
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER end{};
  // A positioned write on a synchronous handle also moves the file pointer:
  // it is put back where WriteAll left it.
  if (!SetFilePointerEx(handle, LARGE_INTEGER{}, &end, FILE_CURRENT)) {
    error = LastError();
    return false;
  }
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!WriteFile(handle, data, chunk, &written, &at)) {
      error = LastError();
      return false;
    }
    data += written;
    size -= written;
    offset += written;
  }
  if (!SetFilePointerEx(handle, end, nullptr, FILE_BEGIN)) {
    error = LastError();
    return false;
  }
  return true;
}

bool File::Sync(SystemError& error) {
  if (FlushFileBuffers(reinterpret_cast<HANDLE>(handle_))) return true;
  error = LastError();
  return false;
}

bool File::Close(SystemError& error) {
  const intptr_t handle = std::exchange(handle_, kClosed);
  if (handle == kClosed || !owned_) return true;
  if (CloseHandle(reinterpret_cast<HANDLE>(handle))) return true;
  error = LastError();
  return false;
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::Discard() {
  behind_.reset();  // before the handle it flushes is closed
  SystemError ignored = 0;
  file_.Close(ignored);
  if (!name_.empty()) DeleteFileW(Widen(name_).c_str());
  name_.clear();
}

bool PendingFile::Create(const std::string& folder, SystemError& error) {
  // Names unique within the process (a counter shared by the threads) and,
  // through the process id, between processes; CREATE_NEW never takes an
  // existing file, so a clash only costs another try.
  static std::atomic<unsigned> counter{0};
  folder_ = folder;
  for (int attempt = 0;; ++attempt) {
    char name[64];
    (void)std::snprintf(name, sizeof name, ".qv-%lu-%u.tmp",
                        static_cast<unsigned long>(GetCurrentProcessId()), counter++);
    const std::string path = JoinPath(folder, name);
    const HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file_ = File(reinterpret_cast<intptr_t>(handle), true);
      name_ = path;
      return true;
    }
    error = LastError();
    if (error != EEXIST || attempt == 100) return false;
  }
}

bool PendingFile::Place(const std::string& target, bool replace, SystemError& error) {
  // A file is moved closed. The new file has the permissions its folder
  // gives new files.
  if (!FlushAll(error) || !file_.Close(error)) return false;
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  const std::wstring from = Widen(name_);
  const std::wstring to = Widen(target);
  // Another program that has the destination open at this moment (a second
  // run replacing it too, a virus scanner, a search indexer) makes the move
  // fail for a while: it is tried again for about a second.
  for (int attempt = 0; !MoveFileExW(from.c_str(), to.c_str(), flags); ++attempt) {
    const DWORD failure = GetLastError();
    if ((failure != ERROR_ACCESS_DENIED && failure != ERROR_SHARING_VIOLATION) || attempt == 20) {
      error = FromWindows(failure);
      return false;
    }
    Sleep(50);
  }
  name_.clear();
  return true;
}

}  // namespace qv
