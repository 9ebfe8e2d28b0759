// COMMAND:TOPDB, CSV text to a database.
#pragma once

#include "convert/console.h"
#include "cli/options.h"

namespace qv {

// Checks the options, runs the import and prints its outcome. Returns the
// process exit status: 0 on success, 1 when the import failed or was
// refused.
int ConvertToPdb(const ConversionOptions& options, Console& console);

}  // namespace qv
