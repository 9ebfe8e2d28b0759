#include "csv/csv_quote.h"

#include <array>

#include "csv/byte_scan.h"

namespace qv {

// A CR or LF forces quotes too, so that a value with a line break comes back
// from the reader as one field instead of ending the CSV line.
void QuoteCsvValue(std::string_view value, char separator, bool placeQuotes, std::string& out) {
  const std::array<char, 4> special{'"', '\r', '\n', separator};
  const bool needsQuotes =
      placeQuotes || FindAnyByte(value.data(), 0, value.size(), special) != value.size();
  if (!needsQuotes) {
    out.append(value);
    return;
  }
  out.push_back('"');
  size_t from = 0;
  for (size_t quote = value.find('"'); quote != std::string_view::npos;
       quote = value.find('"', from)) {
    out.append(value.substr(from, quote + 1 - from));
    out.push_back('"');
    from = quote + 1;
  }
  out.append(value.substr(from));
  out.push_back('"');
}

}  // namespace qv
