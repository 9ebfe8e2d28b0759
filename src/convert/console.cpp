#include "convert/console.h"

#include <utility>

namespace qv {

void Console::Write(std::string_view text) {
  if (out_ != nullptr) {
    (void)std::fwrite(text.data(), 1, text.size(), out_);
  } else {
    text_.append(text);
  }
}

void Console::PrintMessage(std::string_view text) {
  Write(text);
  Write("\n\n\n");
}

void Console::PrintProgress(std::string_view text) {
  if (!quiet_) PrintMessage(text);
}

void Console::PrintError(std::string_view text) {
  if (firstError_.empty()) firstError_ = text;
  Write("ERROR:\n");
  PrintMessage(text);
}

Failure Console::Refuse(std::string message) {
  PrintError(message);
  return Failure{std::move(message)};
}

void Console::Append(const Console& collected) {
  Write(collected.text());
  if (firstError_.empty()) firstError_ = collected.firstError();
}

std::string OutputIsFolderMessage(const std::string& path) {
  return Format("File:%s is a Folder!  Please specify a file name and try again.", path.c_str());
}

}  // namespace qv
