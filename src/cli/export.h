// COMMAND:TOCSV, a database to CSV text, and COMMAND:TOJSON and
// COMMAND:TOSQLITE, the same records as JSON Lines and as a SQLite file.
#pragma once

#include "convert/console.h"
#include "cli/options.h"
#include "pdb/byte_io.h"

namespace qv {

// Checks the options, runs the export and prints its outcome. Returns the
// process exit status: 0 on success, 1 when the export failed or was
// cancelled.
int ConvertToCsv(const ConversionOptions& options, Console& console);

// The same for the typed outputs, written to `options.csvFile`: the same
// checks and messages, the popup file not written.
int ConvertToJson(const ConversionOptions& options, Console& console);
int ConvertToSqlite(const ConversionOptions& options, Console& console);

enum class ExportFormat { kCsv, kJsonLines, kSqlite };

// The export of `file`, the bytes of `options.pdbFile` read already, into
// `options.csvFile` as `format` asks, with its messages on `console`: what
// the commands above do after checking the options, without their progress
// messages. True when every step succeeded; an existing output is replaced
// only with `options.overwrite`.
bool ExportBytesToFile(ByteView file, const ConversionOptions& options, ExportFormat format,
                       Console& console);

}  // namespace qv
