// The command line: keyword options, matched anywhere in the part of an
// argument before its first brace, ignoring ASCII case, with values between
// braces that may span arguments and are never read as keywords.
#pragma once

#include <string>
#include <vector>

#include "convert/conversion_options.h"
#include "pdb/result.h"

namespace qv {

// The longest values an option accepts; a longer one is refused, never cut.
inline constexpr size_t kMaxFileNameLength = 1023;
inline constexpr size_t kMaxShortTextLength = 31;  // PASSWORD: and DBNAME:
inline constexpr size_t kMaxFormatTextLength = 255;
// The most threads THREADS: asks for.
inline constexpr unsigned kMaxThreads = 256;

enum class Command { kNone = 0, kToPdb = 1, kToCsv = 2, kInfo = 3, kToJson = 4, kToSqlite = 5 };

struct ParsedCommandLine {
  Command command = Command::kNone;
  bool showUsage = false;      // "/?" or "/HELP" outside a value: usage only
  bool showHelp = false;       // a whole argument "--help" or "-h", not in a value
  bool showVersion = false;    // a whole argument "--version", not in a value
  bool quiet = false;          // QUIET: only warnings and errors
  unsigned threads = 0;        // THREADS:{n}; 0 when not given (one per core)
  Status accepted;             // a failure: the first option value refused
  ConversionOptions options;
};

// Walks every argument (argument 0 included) through the keyword table;
// INFILE: and OUTFILE: are given their files once the command is known,
// wherever it stood.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Gathers the value between "{" and "}" starting at args[index]; returns the
// index of the last argument consumed (args.size() when they ran out).
size_t GetBracketValue(size_t index, std::string& value, const std::vector<std::string>& args);

}  // namespace qv
