#include "cli/app.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "cli/export.h"
#include "cli/help.h"
#include "cli/import.h"
#include "cli/info.h"
#include "cli/options.h"
#include "cli/usage.h"

namespace qv {

std::string_view Banner() {
  return "qv " QV_VERSION " - converts Quorvex databases (.PDB) to and from CSV\n"
         "Help: qv --help or man qv\n"
         "\n";
}

namespace {

// Runs the conversion `command` names. Running out of memory anywhere in it
// (an input too large for the memory the system grants) ends it like any
// other failed conversion: every output is written only once complete, so
// nothing has been written yet.
int RunConversion(Command command, const ConversionOptions& options, Console& console) {
  bool outOfMemory = false;
  int status = 2;
  try {
    switch (command) {
      case Command::kToPdb: status = ConvertToPdb(options, console); break;
      case Command::kToCsv: status = ConvertToCsv(options, console); break;
      case Command::kInfo: status = DescribeDatabase(options, console); break;
      case Command::kNone: return 2;
    }
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  } catch (const std::length_error&) {  // a size that no allocation can reach
    outOfMemory = true;
  }
  if (outOfMemory) {
    console.PrintError("Out of memory: the conversion needs more memory than the system grants!");
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  return status == 0 ? 0 : 1;
}

}  // namespace

int RunApp(const std::vector<std::string>& args, Console& console) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (parsed.showVersion && !parsed.showHelp) {
    console.Write("qv " QV_VERSION "\n");
    return 0;
  }
  console.Write(Banner());
  if (parsed.showHelp) {
    ShowHelp(console);
    return 0;
  }
  if (parsed.showUsage) {
    ShowUsage(console);
    return 0;
  }
  if (!parsed.refusal.empty()) {
    console.PrintError(parsed.refusal);
    return 2;
  }
  if (parsed.command != Command::kNone) {
    return RunConversion(parsed.command, parsed.options, console);
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
