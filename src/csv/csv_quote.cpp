#include "csv/csv_quote.h"

namespace qv {

// A CR or LF forces quotes too, so that a value with a line break comes back
// from the reader as one field instead of ending the CSV line.
void QuoteCsvValue(std::string_view value, char separator, bool placeQuotes, std::string& out) {
  const bool needsQuotes =
      placeQuotes || value.find_first_of(std::string_view{"\"\r\n"}) != std::string_view::npos ||
      value.find(separator) != std::string_view::npos;
  if (!needsQuotes) {
    out.append(value);
    return;
  }
  out.reserve(out.size() + value.size() + 2);
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
