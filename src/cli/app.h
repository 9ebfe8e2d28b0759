// The program: banner, option parsing, dispatch to one conversion, exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/console.h"

namespace qv {

// Exit status: 0 success or usage asked for; 1 a conversion failed or was
// cancelled; 2 no command given or an option value refused.
int RunApp(const std::vector<std::string>& args, Console& console);
int RunApp(const std::vector<std::string>& args);  // prints to standard output

}  // namespace qv
