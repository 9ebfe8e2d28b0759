// COMMAND:TOCSV, a database to CSV text.
#pragma once

#include "convert/console.h"
#include "cli/options.h"

namespace qv {

// Checks the options, runs the export and prints its outcome. Returns the
// process exit status: 0 on success, 1 when the export failed or was
// cancelled.
int ConvertToCsv(const ConversionOptions& options, Console& console);

}  // namespace qv
