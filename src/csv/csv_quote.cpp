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

bool CsvQuoter::CopyIfPlain(const char* text, size_t size, char* out) const {
  if (size >= 8) return specials_.CopyIfNone(text, size, out);
  if (size >= 4) {
    // Two overlapping four-byte loads hold every byte; each byte is then
    // looked up once.
    uint32_t low;
    uint32_t high;
    std::memcpy(&low, text, 4);
    std::memcpy(&high, text + size - 4, 4);
    bool any = false;
    for (int shift = 0; shift < 32; shift += 8) {
      any |= special_[(low >> shift) & 0xFF] || special_[(high >> shift) & 0xFF];
    }
    if (any) return false;
    std::memcpy(out, &low, 4);
    std::memcpy(out + size - 4, &high, 4);
    return true;
  }
  bool any = false;
  for (size_t i = 0; i < size; ++i) {
    out[i] = text[i];
    any |= special_[static_cast<unsigned char>(text[i])];
  }
  return !any;
}

// A CR or LF forces quotes too, so that a value with a line break comes back
// from the reader as one field instead of ending the CSV line.
char* CsvQuoter::WriteQuoted(std::string_view value, char* out) const {
  const size_t size = value.size();
  const char* const text = value.data();
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
