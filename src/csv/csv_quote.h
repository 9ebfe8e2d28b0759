// Writing values into CSV text.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Appends `value` to `out`, doubling every double quote. The value is put in
// quotes when it holds a quote, the separator, a CR or an LF, or when
// `placeQuotes` is set.
void QuoteCsvValue(std::string_view value, char separator, bool placeQuotes, std::string& out);

}  // namespace qv
