#include "cli/app.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "cli/export.h"
#include "cli/file_io.h"
#include "cli/folder.h"
#include "cli/help.h"
#include "cli/import.h"
#include "cli/info.h"
#include "cli/options.h"
#include "cli/parallel.h"
#include "cli/usage.h"

namespace qv {

std::string_view Banner() {
  return "qv " QV_VERSION " - converts Quorvex databases (.PDB) to and from CSV\n"
         "Help: qv --help or man qv\n"
         "\n";
}

namespace {

// Runs the conversion the command names, on one file or on a folder, and
// returns its exit status. Running out of memory anywhere in it (an input
// too large for the memory the system grants) ends it like any other failed
// conversion, with a message and status 1; as outputs are written once
// complete, none is half written.
int RunConversion(const ParsedCommandLine& parsed, Console& console) {
  // A single database's rows are rendered on every core unless THREADS:
  // says otherwise.
  ConversionOptions options = parsed.options;
  options.threads = ResolveThreadCount(parsed.threads);
  try {
    if (IsFolderRun(parsed)) return RunFolder(parsed, console);
    switch (parsed.command) {
      case Command::kToPdb: return ConvertToPdb(options, console) == 0 ? 0 : 1;
      case Command::kToCsv: return ConvertToCsv(options, console) == 0 ? 0 : 1;
      case Command::kInfo: return DescribeDatabase(options, console) == 0 ? 0 : 1;
      case Command::kToJson: return ConvertToJson(options, console) == 0 ? 0 : 1;
      case Command::kToSqlite: return ConvertToSqlite(options, console) == 0 ? 0 : 1;
      case Command::kNone: break;
    }
    return 2;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {  // a size that no allocation can reach
  }
  // Only running out of memory gets here.
  console.PrintError("Out of memory: the conversion needs more memory than the system grants!");
  console.PrintMessage("ERROR:In Conversion!");
  return 1;
}

// The file the command writes as its output, "-" for standard output.
const std::string& OutputOf(const ParsedCommandLine& parsed) {
  switch (parsed.command) {
    case Command::kToCsv:
    case Command::kToJson:
    case Command::kToSqlite: return parsed.options.csvFile;
    case Command::kInfo: return parsed.options.schemaFile;
    case Command::kToPdb:
    case Command::kNone: break;
  }
  return parsed.options.pdbFile;
}

}  // namespace

int RunApp(const std::vector<std::string>& args, Console& console) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (parsed.showVersion && !parsed.showHelp) {
    console.Write("qv " QV_VERSION "\n");
    return 0;
  }
  // An output on standard output stays clean: every message goes to
  // standard error instead.
  if (parsed.command != Command::kNone && IsStandardStream(OutputOf(parsed))) {
    console.Redirect(stderr);
  }
  console.SetQuiet(parsed.quiet);
  if (!parsed.quiet || parsed.showHelp || parsed.showUsage) console.Write(Banner());
  if (parsed.showHelp) {
    ShowHelp(console);
    return 0;
  }
  if (parsed.showUsage) {
    ShowUsage(console);
    return 0;
  }
  if (!parsed.accepted) {
    console.PrintError(parsed.accepted.message());
    return 2;
  }
  if (parsed.command != Command::kNone) {
    return RunConversion(parsed, console);
  }
  console.PrintMessage("No Actions to Perform");
  ShowUsage(console);
  return 2;
}

int RunApp(const std::vector<std::string>& args) {
  Console console(stdout);
  const int status = RunApp(args, console);
  (void)std::fflush(stdout);
  return status;
}

}  // namespace qv
