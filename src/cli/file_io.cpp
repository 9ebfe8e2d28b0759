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

// The rest of the open `file`, as ReadWholeFile reads it.
std::optional<std::string> ReadAll(File& file, bool& tooLarge, uint64_t limit) {
  SystemError error = 0;
  std::string contents;
  if (const std::optional<uint64_t> size = file.RegularFileSize()) {
    if (*size > limit) {
      tooLarge = true;
      return std::nullopt;
    }
    contents.reserve(static_cast<size_t>(*size));
  }
  char buffer[65536];
  for (;;) {
    const int64_t got = file.Read(buffer, sizeof buffer, error);
    if (got == 0) break;
    if (got < 0) return std::nullopt;
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

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, bool& tooLarge,
                                         uint64_t limit) {
  tooLarge = false;
  SystemError error = 0;
  File file = IsStandardStream(path) ? File::StandardInput() : File::OpenForReading(path, error);
  if (!file.IsOpen()) return std::nullopt;
  return ReadAll(file, tooLarge, limit);
}

std::optional<std::string> ReadListedFile(const std::string& path, const StoredFileId& listed,
                                          bool& tooLarge, bool& replaced) {
  tooLarge = false;
  SystemError error = 0;
  File file = File::OpenListed(path, listed, replaced, error);
  if (!file.IsOpen()) return std::nullopt;
  return ReadAll(file, tooLarge, kLargestInput);
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
  std::string failure;   // why a Write failed; the output is lost then
  bool replace = false;
  File inPlace;         // standard output, a device or a pipe, written directly
  PendingFile pending;  // otherwise: the private file put in place at the end

  OutputStatus Fail(const char* what, SystemError error, std::string& message) const {
    message = Describe(what, path, error);
    return OutputStatus::kFailed;
  }

  // Appends `contents` to whichever file is being written.
  OutputStatus Write(std::string_view contents, std::string& message) {
    SystemError error = 0;
    const bool written = inPlace.IsOpen()
                             ? inPlace.WriteAll(contents.data(), contents.size(), error)
                             : pending.Write(contents.data(), contents.size(), error);
    return written ? OutputStatus::kDone : Fail("Writing", error, message);
  }
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

OutputStatus OutputFile::Open(const std::string& path, bool replace, std::string& error) {
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.path = path;
  s.replace = replace;
  SystemError failure = 0;
  if (IsStandardStream(path)) {
    s.inPlace = File::StandardOutput(failure);
    return s.inPlace.IsOpen() ? OutputStatus::kDone : s.Fail("Writing", failure, error);
  }
  s.target = ResolveLink(path);
  switch (GetPathKind(s.target)) {
    case PathKind::kFolder:
      return s.Fail("Creating", EISDIR, error);
    case PathKind::kFile:
      if (!replace) return OutputStatus::kAlreadyExists;
      break;
    case PathKind::kOther:
      if (!replace) return OutputStatus::kAlreadyExists;
      s.inPlace = File::OpenInPlace(s.target, failure);
      return s.inPlace.IsOpen() ? OutputStatus::kDone : s.Fail("Creating", failure, error);
    case PathKind::kMissing:
      if (!replace && PathExists(s.target)) return OutputStatus::kAlreadyExists;  // a link to nothing
      break;
  }
  if (!s.pending.Create(FolderOf(s.target), failure)) {
    return s.Fail("Creating a temporary file for", failure, error);
  }
  return OutputStatus::kDone;
}

namespace {

// Whether an output may take more bytes: `open` says it has a file for them,
// and a failure before ends it. Otherwise false with `error` set to
// `notOpen` or to that failure.
template <typename State>
bool MayWrite(const State* state, bool open, const char* notOpen, std::string& error) {
  if (!open) {
    error = notOpen;
    return false;
  }
  if (!state->failure.empty()) {
    error = state->failure;
    return false;
  }
  return true;
}

}  // namespace

OutputStatus OutputFile::Write(std::string_view chunk, std::string& error) {
  const bool open = state_ && (state_->inPlace.IsOpen() || state_->pending.IsOpen());
  if (!MayWrite(state_.get(), open, "No output file is open", error)) return OutputStatus::kFailed;
  State& s = *state_;
  if (s.Write(chunk, s.failure) == OutputStatus::kDone) return OutputStatus::kDone;
  error = s.failure;
  return OutputStatus::kFailed;
}

bool OutputFile::CanWriteAt() const { return state_ && state_->pending.IsOpen(); }

OutputStatus OutputFile::WriteAt(uint64_t offset, std::string_view chunk, std::string& error) {
  if (!MayWrite(state_.get(), CanWriteAt(), "No private output file is open", error)) {
    return OutputStatus::kFailed;
  }
  State& s = *state_;
  SystemError failure = 0;
  if (s.pending.WriteAt(offset, chunk.data(), chunk.size(), failure)) return OutputStatus::kDone;
  s.Fail("Writing", failure, s.failure);
  error = s.failure;
  return OutputStatus::kFailed;
}

OutputStatus OutputFile::Finish(std::string_view contents, std::string& error) {
  const OutputStatus written = Write(contents, error);
  if (written != OutputStatus::kDone) return written;
  State& s = *state_;
  SystemError failure = 0;
  if (s.inPlace.IsOpen()) {
    // Delayed write errors (a full disk, a network file system) show up here.
    return s.inPlace.Close(failure) ? OutputStatus::kDone : s.Fail("Writing", failure, error);
  }
  if (s.pending.Commit(s.target, s.replace, failure)) return OutputStatus::kDone;
  if (failure == EEXIST) return OutputStatus::kAlreadyExists;
  return s.Fail("Writing", failure, error);
}

OutputStatus WriteOutputFile(const std::string& path, std::string_view contents, bool replace,
                             std::string& error) {
  OutputFile file;
  const OutputStatus opened = file.Open(path, replace, error);
  return opened == OutputStatus::kDone ? file.Finish(contents, error) : opened;
}

}  // namespace qv
