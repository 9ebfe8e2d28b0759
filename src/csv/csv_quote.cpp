// Writing values into CSV text.
#include "csv/csv_quote.h"

#include <cstring>

namespace qv {

// A CR or LF forces quotes too, so that a value with a line break comes back
// from the reader as one field instead of ending the CSV line.
void CsvQuoter::Append(std::string_view value, std::string& out) const {
  const size_t size = value.size();
  const size_t first = specials_.Find(value.data(), 0, size);
  if (first == size && !placeQuotes_) {
    out.append(value);
    return;
  }
  out.push_back('"');
  // No quote stands before the first special byte.
  size_t from = 0;
  const char* const text = value.data();
  for (size_t at = first; at < size;) {
    const void* quote = std::memchr(text + at, '"', size - at);
    if (quote == nullptr) break;
    const size_t next = static_cast<size_t>(static_cast<const char*>(quote) - text) + 1;
    // The run up to and including the quote, then the quote once more.
    out.append(value.substr(from, next - from));
    out.push_back('"');
    from = at = next;
  }
  out.append(value.substr(from));
  out.push_back('"');
}

void QuoteCsvValue(std::string_view value, char separator, bool placeQuotes, std::string& out) {
  CsvQuoter(separator, placeQuotes).Append(value, out);
}

}  // namespace qv
