// Console messages. They go to standard output, or to standard error when
// an output goes to standard output; tests, fuzz targets and the folder mode
// collect them in memory instead.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "pdb/format.h"
#include "pdb/result.h"

namespace qv {

class Console {
 public:
  // Writes to `out` as it goes, or only collects when `out` is null.
  explicit Console(std::FILE* out = nullptr) : out_(out) {}

  // Sends what follows to `out` instead; a collecting console keeps
  // collecting.
  void Redirect(std::FILE* out) {
    if (out_ != nullptr) out_ = out;
  }
  // When quiet, PrintProgress prints nothing; everything else is printed.
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  bool quiet() const { return quiet_; }

  void Write(std::string_view text);
  // The text, a line end and two empty lines.
  void PrintMessage(std::string_view text);
  // As PrintMessage, for what the program is doing rather than what went
  // wrong: nothing when quiet.
  void PrintProgress(std::string_view text);
  // "ERROR:" on a line of its own, then the text and two empty lines.
  void PrintError(std::string_view text);
  // A step that reports to a console refuses with this: PrintError(message),
  // and the same message as the failure to return, so that its callers only
  // pass the failure on.
  Failure Refuse(std::string message);
  // Prints what the collecting console `collected` gathered, as if it had
  // been printed here, its first error included.
  void Append(const Console& collected);
  const std::string& text() const { return text_; }
  // The text of the first PrintError, empty when there was none.
  const std::string& firstError() const { return firstError_; }

 private:
  std::FILE* out_;
  bool quiet_ = false;
  std::string text_;
  std::string firstError_;
};

// The refusal of an output path that names a folder, the same for every
// command.
std::string OutputIsFolderMessage(const std::string& path);

}  // namespace qv
