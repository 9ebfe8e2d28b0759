// A database's records as JSON Lines in memory.
#include "convert/json_export.h"

namespace qv {

ExportResult ExportToJsonText(ByteView file, const ConversionOptions& options, Console& console) {
  return ExportToMemory(file, options, ExportFormat::kJsonLines, console);
}

}  // namespace qv
