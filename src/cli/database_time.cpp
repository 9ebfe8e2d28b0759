// The time a new database carries.
#include "cli/database_time.h"

#include <limits>
#include <string_view>

#include "pdb/format.h"

namespace qv {

Result<uint32_t> NewDatabaseTime(const char* sourceDateEpoch, int64_t now) {
  constexpr int64_t kLatest = std::numeric_limits<uint32_t>::max() - kUnixEpochSince1904;
  if (sourceDateEpoch == nullptr || *sourceDateEpoch == '\0') {
    return static_cast<uint32_t>(static_cast<uint64_t>(now + kUnixEpochSince1904));
  }
  const std::string_view text(sourceDateEpoch);
  int64_t seconds = 0;
  bool valid = text.size() <= 10;  // more digits are past kLatest anyway
  for (const char c : text) {
    if (c < '0' || c > '9') valid = false;
    if (valid) seconds = seconds * 10 + (c - '0');
  }
  if (!valid || seconds > kLatest) {
    return Failure{Format(
        "SOURCE_DATE_EPOCH must be a whole number of seconds since 1970-01-01, at most %lld!",
        static_cast<long long>(kLatest))};
  }
  return static_cast<uint32_t>(seconds + kUnixEpochSince1904);
}

}  // namespace qv
