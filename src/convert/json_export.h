// COMMAND:TOJSON without the disk: a loaded database's records as JSON Lines
// text (one object per record, UTF-8, no byte-order mark).
#pragma once

#include <string>

#include "convert/console.h"
#include "convert/conversion_options.h"
#include "convert/export_core.h"
#include "pdb/byte_io.h"

namespace qv {

// Appends one JSON object per data record to `out`, keyed by the visible
// fields' names made unique (UniqueColumnNames). A record that cannot be
// read is reported and skipped; the result is then false.
bool AppendJsonLines(const ExportDatabase& database, const ConversionOptions& options,
                     std::string& out, Console& console);

// The whole conversion held in memory, for tests and fuzzing: the same
// checks and messages as ExportToCsvText; `csv` holds the JSON Lines text.
ExportResult ExportToJsonText(ByteView file, const ConversionOptions& options, Console& console);

}  // namespace qv
