// COMMAND:TOCSV, a database to CSV text, and COMMAND:TOJSON and
// COMMAND:TOSQLITE, the same records as JSON Lines and as a SQLite file.
#pragma once

#include "convert/console.h"
#include "cli/options.h"

namespace qv {

// Checks the options, runs the export and prints its outcome. Returns the
// process exit status: 0 on success, 1 when the export failed or was
// cancelled.
int ConvertToCsv(const ConversionOptions& options, Console& console);

// The same for the typed outputs, written to `options.csvFile`: the same
// checks and messages, the popup file not written.
int ConvertToJson(const ConversionOptions& options, Console& console);
int ConvertToSqlite(const ConversionOptions& options, Console& console);

}  // namespace qv
