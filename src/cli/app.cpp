#include "cli/app.h"

namespace qv {

int RunApp(const std::vector<std::string>&, Console& console) {
  console.PrintMessage("No Actions to Perform");
  return 2;
}

int RunApp(const std::vector<std::string>& args) {
  Console console(stdout);
  return RunApp(args, console);
}

}  // namespace qv
