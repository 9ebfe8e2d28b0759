// COMMAND:INFO without the disk: database bytes in, the description text and
// the schema file text out.
#pragma once

#include <cstdint>
#include <string>

#include "convert/console.h"
#include "convert/conversion_options.h"
#include "pdb/byte_io.h"
#include "pdb/result.h"

namespace qv {

// A database time (seconds since 1904-01-01 00:00) as "YYYY-MM-DD HH:MM:SS",
// over the whole 32-bit range (up to 2040-02-06 06:28:15).
std::string FormatDatabaseTime(uint32_t seconds);

struct DatabaseDescription {
  Status loaded;        // the checks passed (the texts below are filled), or their refusal
  std::string text;     // the description, for the console
  std::string schema;   // the schema file, only when `options.schemaFile` is set
};

// Loads `file` as the export does (same checks, same messages on the
// console, "PASSWORD:" honoured) and describes it. The schema text is in the
// CSV's character set: converted to UTF-8 (with a byte-order mark for
// UTF-8-BOM) when `options.encoding` asks for it.
DatabaseDescription DescribeDatabaseText(ByteView file, const ConversionOptions& options,
                                         Console& console);

}  // namespace qv
