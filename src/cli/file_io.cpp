// The file layer's decisions, the same on every system: how inputs are
// read and limited, when two paths are one file, and when an output is
// refused, replaced or written in place. The system calls themselves are in
// the platform layer (platform.h).
#include "cli/file_io.h"

#include <cerrno>
#include <utility>

#include "cli/platform.h"
#include "convert/console.h"

namespace qv {
namespace {

std::string Describe(const char* what, const std::string& path, SystemError error) {
  return Format("%s %s failed: %s", what, path.c_str(), ErrorText(error).c_str());
}

}  // namespace

bool FileExists(const std::string& path) {
  return !IsStandardStream(path) && PathExists(path);
}

bool IsFolder(const std::string& path) {
  return !IsStandardStream(path) && GetPathKind(path) == PathKind::kFolder;
}

uint64_t FileLength(const std::string& path) {
  SystemError error = 0;
  const File file = File::OpenForReading(path, error);
  return file.IsOpen() ? file.RegularFileSize().value_or(0) : 0;
}

namespace {

// The rest of the open `file` at `path`, as ReadWholeFile reads it.
Result<std::optional<std::string>> ReadAll(File& file, const std::string& path, uint64_t limit) {
  SystemError error = 0;
  std::string contents;
  if (const std::optional<uint64_t> size = file.RegularFileSize()) {
    if (*size > limit) return Failure{TooLargeMessage(path)};
    contents.reserve(static_cast<size_t>(*size));
  }
  char buffer[65536];
  for (;;) {
    const int64_t got = file.Read(buffer, sizeof buffer, error);
    if (got == 0) break;
    if (got < 0) return std::optional<std::string>();
    contents.append(buffer, static_cast<size_t>(got));
    // At most one buffer beyond the limit is ever held, also for a file
    // that grows while it is read.
    if (contents.size() > limit) return Failure{TooLargeMessage(path)};
  }
  return std::optional<std::string>(std::move(contents));
}

}  // namespace

Result<std::optional<std::string>> ReadWholeFile(const std::string& path, uint64_t limit) {
  SystemError error = 0;
  File file = IsStandardStream(path) ? File::StandardInput() : File::OpenForReading(path, error);
  if (!file.IsOpen()) return std::optional<std::string>();
  return ReadAll(file, path, limit);
}

Result<std::string> ReadListedFile(const std::string& path, const StoredFileId& listed) {
  SystemError error = 0;
  bool replaced = false;
  File file = File::OpenListed(path, listed, replaced, error);
  Result<std::optional<std::string>> read = std::optional<std::string>();
  if (file.IsOpen()) read = ReadAll(file, path, kLargestInput);
  if (!read) return read.failure();
  if (!*read) {
    return Failure{replaced ? "replaced by something else since the folder was listed; not read"
                            : "cannot be read (gone, or no permission)"};
  }
  return std::move(**read);
}

Result<std::optional<InputBytes>> ReadInput(const std::string& path, uint64_t limit,
                                            bool whole) {
  std::optional<InputBytes> input(std::in_place);
  if (!IsStandardStream(path)) {
    switch (input->mapped_.Map(path, limit, whole)) {
      case MappedFile::Result::kMapped:
        return input;
      case MappedFile::Result::kTooLarge:
        return Failure{TooLargeMessage(path)};
      case MappedFile::Result::kNotMapped:
        break;
    }
  }
  Result<std::optional<std::string>> read = ReadWholeFile(path, limit);
  if (!read) return read.failure();
  if (!*read) return std::optional<InputBytes>();
  input->read_ = std::move(**read);
  return input;
}

std::string TooLargeMessage(const std::string& path) {
  return Format("The file %s is larger than 4 GiB, more than a database can describe!",
                path.c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
  if (IsStandardStream(a) || IsStandardStream(b)) return false;
  const std::optional<StoredFileId> first = IdentityOf(a);
  const std::optional<StoredFileId> second = first ? IdentityOf(b) : std::nullopt;
  return first && second && *first == *second;
}

bool SamePlace(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty() || IsStandardStream(a) || IsStandardStream(b)) return false;
  return SameFile(a, b) || SameNormalisedPath(a, b);
}

struct OutputFile::State {
  std::string path;     // as given, for messages
  std::string target;   // where the file goes: `path`, or a link's target
  std::string alreadyExists;  // the refusal of a destination that may not be replaced
  Status written;       // the first failure of a write; the output is lost then
  bool replace = false;
  File inPlace;         // standard output, a device or a pipe, written directly
  PendingFile pending;  // otherwise: the private file put in place at the end

  Failure Fail(const char* what, SystemError error) const {
    return Failure{Describe(what, path, error)};
  }

  Failure Exists() const { return Failure{alreadyExists}; }

  // Appends `contents` to whichever file is being written.
  Status Write(std::string_view contents) {
    SystemError error = 0;
    const bool done = inPlace.IsOpen() ? inPlace.WriteAll(contents.data(), contents.size(), error)
                                       : pending.Write(contents.data(), contents.size(), error);
    if (done) return {};
    return Fail("Writing", error);
  }
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

Status OutputFile::Open(const std::string& path, bool replace, std::string alreadyExists,
                        std::optional<std::string> cannotOpen) {
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.path = path;
  s.replace = replace;
  s.alreadyExists = std::move(alreadyExists);
  // A failure to open, in the caller's words when it has them.
  const auto failed = [&](const char* what, SystemError error) {
    return cannotOpen ? Failure{std::move(*cannotOpen)} : s.Fail(what, error);
  };
  SystemError failure = 0;
  if (IsStandardStream(path)) {
    s.inPlace = File::StandardOutput(failure);
    if (s.inPlace.IsOpen()) return {};
    return failed("Writing", failure);
  }
  s.target = ResolveLink(path);
  switch (GetPathKind(s.target)) {
    case PathKind::kFolder:
      return failed("Creating", EISDIR);
    case PathKind::kFile:
      if (!replace) return s.Exists();
      break;
    case PathKind::kOther:
      if (!replace) return s.Exists();
      s.inPlace = File::OpenInPlace(s.target, failure);
      if (s.inPlace.IsOpen()) return {};
      return failed("Creating", failure);
    case PathKind::kMissing:
      if (!replace && PathExists(s.target)) return s.Exists();  // a link to nothing
      break;
  }
  if (!s.pending.Create(FolderOf(s.target), failure)) {
    return failed("Creating a temporary file for", failure);
  }
  return {};
}

namespace {

// Whether an output may take more bytes: `open` says it has a file for them,
// and a failure before ends it. Otherwise fails with `notOpen` or with that
// failure.
template <typename State>
Status MayWrite(const State* state, bool open, const char* notOpen) {
  if (!open) return Failure{notOpen};
  return state->written;
}

}  // namespace

Status OutputFile::Write(std::string_view chunk) {
  const bool open = state_ && (state_->inPlace.IsOpen() || state_->pending.IsOpen());
  if (Status may = MayWrite(state_.get(), open, "No output file is open"); !may) return may;
  State& s = *state_;
  s.written = s.Write(chunk);
  return s.written;
}

bool OutputFile::CanWriteAt() const { return state_ && state_->pending.IsOpen(); }

Status OutputFile::WriteAt(uint64_t offset, std::string_view chunk) {
  if (Status may = MayWrite(state_.get(), CanWriteAt(), "No private output file is open"); !may) {
    return may;
  }
  State& s = *state_;
  SystemError failure = 0;
  if (s.pending.WriteAt(offset, chunk.data(), chunk.size(), failure)) return {};
  s.written = s.Fail("Writing", failure);
  return s.written;
}

Status OutputFile::Finish(std::string_view contents) {
  if (Status written = Write(contents); !written) return written;
  State& s = *state_;
  SystemError failure = 0;
  if (s.inPlace.IsOpen()) {
    // Delayed write errors (a full disk, a network file system) show up here.
    if (s.inPlace.Close(failure)) return {};
    return s.Fail("Writing", failure);
  }
  if (s.pending.Commit(s.target, s.replace, failure)) return {};
  if (failure == EEXIST) return s.Exists();
  return s.Fail("Writing", failure);
}

Status WriteOutputFile(const std::string& path, std::string_view contents, bool replace,
                       std::string alreadyExists) {
  OutputFile file;
  if (Status opened = file.Open(path, replace, std::move(alreadyExists)); !opened) return opened;
  return file.Finish(contents);
}

}  // namespace qv
