// The time a new database carries: the clock's, or the one fixed by
// SOURCE_DATE_EPOCH so that the same input gives the same bytes.
#pragma once

#include <cstdint>
#include <string>

#include "pdb/result.h"

namespace qv {

// Seconds from 1904-01-01, where the handheld counts from, to 1970-01-01.
inline constexpr int64_t kUnixEpochSince1904 = 2082844800;

// The creation and modification time, in seconds since 1904-01-01, of a
// database written now: `sourceDateEpoch` (the SOURCE_DATE_EPOCH variable,
// Unix seconds) when it is given and not empty, else `now` (Unix seconds)
// taken modulo 2^32, as the handheld's own clock runs. Refused when the
// variable is not a whole number of seconds from 0 to 2212122495 (the last
// second a 32-bit field holds, in 2040).
Result<uint32_t> NewDatabaseTime(const char* sourceDateEpoch, int64_t now);

}  // namespace qv
