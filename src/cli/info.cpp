#include "cli/info.h"

namespace qv {

// Placeholder until the description lands.
int DescribeDatabase(const ConversionOptions&, Console& console) {
  console.PrintError("COMMAND:INFO is not available in this build yet.");
  return 1;
}

}  // namespace qv
