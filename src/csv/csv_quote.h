// Writing values into CSV text.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "csv/byte_scan.h"

namespace qv {

// Appends `value` to `out`, doubling every double quote. The value is put in
// quotes when it holds a quote, the separator, a CR or an LF, or when
// `placeQuotes` is set.
void QuoteCsvValue(std::string_view value, char separator, bool placeQuotes, std::string& out);

// QuoteCsvValue with the separator and the choice of quotes fixed once, for
// a writer that quotes every field of a file: one scan, sixteen bytes at a
// time where the machine allows, finds the first byte that needs quotes,
// and the runs between quotes are copied whole.
class CsvQuoter {
 public:
  CsvQuoter(char separator, bool placeQuotes);

  // Appends `value` to `out` exactly as QuoteCsvValue does.
  void Append(std::string_view value, std::string& out) const;

  // The most bytes Write may write for a value of `size` bytes: every byte
  // a doubled quote, and the two quotes around.
  static constexpr size_t MostBytes(size_t size) { return 2 * size + 2; }

  // Writes what Append would append at `out`, which has room for
  // MostBytes(value.size()) bytes, and returns the end of what it wrote.
  // The common case, a short value that needs no quotes, is inline.
  char* Write(std::string_view value, char* out) const {
    const size_t size = value.size();
    if (!placeQuotes_ && size <= kShortValue && CopyIfPlain(value.data(), size, out)) {
      return out + size;
    }
    return WriteQuoted(value, out);
  }

 private:
  // Whether the `size` bytes (at most kShortValue) at `text` need no quotes;
  // if so, copies them to `out`.
  bool CopyIfPlain(const char* text, size_t size, char* out) const;
  // Write for the rest: long values and values that may need quotes.
  char* WriteQuoted(std::string_view value, char* out) const;

  // Values up to this long are checked and copied in one pass (byte by
  // byte below 4, in two overlapping loads up to 32); longer ones are
  // scanned sixteen bytes at a time first.
  static constexpr size_t kShortValue = 32;

  bool placeQuotes_;
  ByteFinder<4> specials_;
  std::array<bool, 256> special_{};  // the same four bytes, by value
};

}  // namespace qv
