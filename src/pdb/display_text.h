// Text taken from a file, made safe to show on a terminal or in a message.
#pragma once

#include <string>
#include <string_view>

namespace qv {

enum class DisplayEscape {
  // Every byte outside printable ASCII as \xNN, and the backslash and double
  // quote escaped with a backslash, so that stored text can never move the
  // cursor, ring the bell or break the quotes around it.
  kToAscii,
  // Only the control characters (bytes 0 to 31 and 127: ESC, CR, BEL...) as
  // \xNN; every other byte is kept, for text shown as the handheld stores it,
  // such as a database or field name.
  kControls,
};

// `bytes` escaped as `escape` says, the hex digits in lower case.
std::string EscapeForDisplay(std::string_view bytes, DisplayEscape escape = DisplayEscape::kToAscii);

}  // namespace qv
