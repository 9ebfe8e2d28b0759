#include "cli/import.h"

namespace qv {

// Placeholder until the import lands.
int ConvertToPdb(const ConversionOptions&, Console& console) {
  console.PrintError("COMMAND:TOPDB is not available in this build yet.");
  return 1;
}

}  // namespace qv
