// COMMAND:INFO: describe a database, and optionally write its schema file.
#pragma once

#include "convert/console.h"
#include "cli/options.h"

namespace qv {

// Prints the description of `options.pdbFile`; with `options.schemaFile`,
// also writes its field definitions there. Returns the exit status: 0 on
// success, 1 when the database cannot be described or the file not written.
int DescribeDatabase(const ConversionOptions& options, Console& console);

}  // namespace qv
