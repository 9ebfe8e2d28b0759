// Writing values into CSV text.
#include "csv/csv_quote.h"

#include <cstring>

namespace qv {

CsvQuoter::CsvQuoter(char separator, bool placeQuotes)
    : placeQuotes_(placeQuotes), specials_(std::array<char, 4>{'"', '\r', '\n', separator}) {
  for (const char special : {'"', '\r', '\n', separator}) {
    special_[static_cast<unsigned char>(special)] = true;
  }
}

void CsvQuoter::Append(std::string_view value, std::string& out) const {
  const size_t start = out.size();
  out.resize(start + MostBytes(value.size()));
  const char* const end = Write(value, out.data() + start);
  out.resize(static_cast<size_t>(end - out.data()));
}

// A CR or LF forces quotes too, so that a value with a line break comes back
// from the reader as one field instead of ending the CSV line.
char* CsvQuoter::Write(std::string_view value, char* out) const {
  const size_t size = value.size();
  const char* const text = value.data();
  if (!placeQuotes_) {
    // Most values are short and need no quotes: copied as they are checked.
    if (size < 8) {
      bool any = false;
      for (size_t i = 0; i < size; ++i) {
        out[i] = text[i];
        any |= special_[static_cast<unsigned char>(text[i])];
      }
      if (!any) return out + size;
    } else if (size <= kShortValue && specials_.CopyIfNone(text, size, out)) {
      return out + size;
    }
  }
  const size_t first = specials_.Find(text, 0, size);
  if (first == size && !placeQuotes_) {
    std::memcpy(out, text, size);
    return out + size;
  }
  *out++ = '"';
  // No quote stands before the first special byte.
  size_t from = 0;
  for (size_t at = first; at < size;) {
    const void* quote = std::memchr(text + at, '"', size - at);
    if (quote == nullptr) break;
    const size_t next = static_cast<size_t>(static_cast<const char*>(quote) - text) + 1;
    // The run up to and including the quote, then the quote once more.
    std::memcpy(out, text + from, next - from);
    out += next - from;
    *out++ = '"';
    from = at = next;
  }
  if (size > from) std::memcpy(out, text + from, size - from);
  out += size - from;
  *out++ = '"';
  return out;
}

void QuoteCsvValue(std::string_view value, char separator, bool placeQuotes, std::string& out) {
  CsvQuoter(separator, placeQuotes).Append(value, out);
}

}  // namespace qv
