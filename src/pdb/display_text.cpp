// Escaping text from a file for display.
#include "pdb/display_text.h"

namespace qv {

std::string EscapeForDisplay(std::string_view bytes, DisplayEscape escape) {
  static constexpr char kHex[] = "0123456789abcdef";
  const bool toAscii = escape == DisplayEscape::kToAscii;
  std::string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (toAscii && (c == '\\' || c == '"')) {
      out.push_back('\\');
      out.push_back(byte);
    } else if (c >= 0x20 && c != 0x7F && (c < 0x80 || !toAscii)) {
      out.push_back(byte);
    } else {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

}  // namespace qv
