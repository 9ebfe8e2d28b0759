// The thin layer between the conversions and the disk, and the only code
// that calls the operating system's file functions: every input is read
// whole, once; every output is written whole into a private file beside it
// and put in place at the end, or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// True when something (a file, a folder, a device, a pipe, a link) is at
// `path`. Found without opening it, so a pipe never makes it wait.
bool FileExists(const std::string& path);

// True when `path` names a folder (or a link to one).
bool IsFolder(const std::string& path);

// The size of the file in bytes; 0 when it cannot be opened.
uint64_t FileLength(const std::string& path);

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// True when both paths name the same existing file (same device and inode),
// whatever the spelling of the paths.
bool SameFile(const std::string& a, const std::string& b);

// SameFile, or, for paths that do not exist yet, whether both name the same
// place once made absolute and normalised (links in the part that exists are
// followed): "o.csv", "./o.csv", "sub/../o.csv" and the full path agree.
bool SamePlace(const std::string& a, const std::string& b);

// How writing an output ended.
enum class OutputStatus {
  kDone,           // the step succeeded (after Finish: the new contents are in place)
  kAlreadyExists,  // refused: something is at the path and replacing was not allowed
  kFailed,         // an error, described in the `error` text
};

// One output file, written whole or not at all.
//
// Open prepares a private file beside the destination (anonymous where the
// system allows, so that a killed run leaves nothing behind); Finish writes
// the contents, flushes them and puts the file in place. Until Finish
// succeeds, whatever was at the destination is untouched; a destruction
// before that discards the private file.
//
// A symbolic link is followed, so the file it points to is replaced and the
// link stays. An existing destination that is not a regular file or folder
// (a device such as /dev/null, a pipe) is written in place instead. A
// replaced file keeps its permission bits, and its owner where the program
// may set it; a new file gets the permissions the umask allows.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to write `path`. With `replace` false, an existing destination
  // is never replaced, also when it appears while the output is written.
  // kFailed names the file in `error`. Called once per object.
  OutputStatus Open(const std::string& path, bool replace, std::string& error);

  // Writes `contents` and puts the file in place. Only after an Open that
  // gave kDone; called once. kFailed names the file in `error`.
  OutputStatus Finish(std::string_view contents, std::string& error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Open and Finish in one step.
OutputStatus WriteOutputFile(const std::string& path, std::string_view contents, bool replace,
                             std::string& error);

}  // namespace qv
