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
  char* Write(std::string_view value, char* out) const;

 private:
  // Values up to this long are checked and copied in one pass (bytes one
  // by one below 8, then two overlapping blocks); longer ones are scanned
  // sixteen bytes at a time first.
  static constexpr size_t kShortValue = 32;

  bool placeQuotes_;
  ByteFinder<4> specials_;
  std::array<bool, 256> special_{};  // the same four bytes, by value
};

}  // namespace qv
