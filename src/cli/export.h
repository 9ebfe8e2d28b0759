// COMMAND:TOCSV, a database to CSV text, and COMMAND:TOJSON and
// COMMAND:TOSQLITE, the same records as JSON Lines and as a SQLite file.
// The steps of the export are the conversion core's (RunExport); this
// driver checks the file names, reads the database and gives the core its
// output files.
#pragma once

#include "convert/console.h"
#include "convert/export_core.h"
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

// The export of `file`, the bytes of `options.pdbFile` read already, into
// `options.csvFile` (and, for CSV, `options.popupFile`) as `format` asks,
// with its messages on `console`: what the commands above do after checking
// the options and reading the input, without their progress messages. For
// callers that read the database themselves (to identify it first) and
// give each file its own console. Success when every step succeeded,
// otherwise the first failure (each was printed as it came); an existing
// output is replaced only with `options.overwrite`.
Status ExportBytesToFile(ByteView file, const ConversionOptions& options, ExportFormat format,
                         Console& console);

}  // namespace qv
