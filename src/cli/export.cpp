#include "cli/export.h"

namespace qv {

// Placeholder until the export lands.
int ConvertToCsv(const ConversionOptions&, Console& console) {
  console.PrintError("COMMAND:TOCSV is not available in this build yet.");
  return 1;
}

}  // namespace qv
