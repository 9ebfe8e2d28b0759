// COMMAND:TOJSON without the disk: a database's records as JSON Lines text
// (one object per record, UTF-8, no byte-order mark). The rows are rendered
// by the export sequence (RunExport with ExportFormat::kJsonLines).
#pragma once

#include "convert/console.h"
#include "convert/conversion_options.h"
#include "convert/export_core.h"
#include "pdb/byte_io.h"

namespace qv {

// ExportToMemory as JSON Lines, for tests and fuzzing: the same checks and
// messages as ExportToCsvText; `csv` holds the JSON Lines text.
ExportResult ExportToJsonText(ByteView file, const ConversionOptions& options, Console& console);

}  // namespace qv
