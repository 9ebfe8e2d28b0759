// Folder mode: an INFILE that is a folder. TOCSV, TOJSON and TOSQLITE
// convert every Quorvex database below it (chosen by content) into the
// OUTFILE folder, mirroring subfolders, on several threads, and end with a
// summary; INFO prints one line per file saying what it is.
#pragma once

#include "cli/options.h"
#include "convert/console.h"

namespace qv {

// True when `parsed` runs a command that takes a folder (TOCSV, TOJSON,
// TOSQLITE, INFO) and its input names a folder (or a link to one).
bool IsFolderRun(const ParsedCommandLine& parsed);

// Runs the command of `parsed` over the folder `parsed.options.pdbFile` on
// `parsed.threads` threads (0: two per core), printing each file's messages
// whole and in path order, then the summary. Returns the exit status: 0 when
// no file failed, 1 when one did or the run could not start, 2 when an
// option does not go with a folder.
int RunFolder(const ParsedCommandLine& parsed, Console& console);

}  // namespace qv
