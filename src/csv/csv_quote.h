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
  CsvQuoter(char separator, bool placeQuotes)
      : placeQuotes_(placeQuotes), specials_(std::array<char, 4>{'"', '\r', '\n', separator}) {}

  // Appends `value` to `out` exactly as QuoteCsvValue does.
  void Append(std::string_view value, std::string& out) const;

 private:
  bool placeQuotes_;
  ByteFinder<4> specials_;
};

}  // namespace qv
