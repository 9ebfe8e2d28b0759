#include "cli/app.h"

#include <cstdio>

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
  switch (parsed.command) {
    case Command::kToPdb:
      return ConvertToPdb(parsed.options, console) == 0 ? 0 : 1;
    case Command::kToCsv:
      return ConvertToCsv(parsed.options, console) == 0 ? 0 : 1;
    case Command::kInfo:
      return DescribeDatabase(parsed.options, console) == 0 ? 0 : 1;
    case Command::kNone:
      break;
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
