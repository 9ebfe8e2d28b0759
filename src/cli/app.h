// The program: banner, option parsing, dispatch to one conversion, exit status.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/console.h"

namespace qv {

// The two lines and the empty line that open every run.
std::string_view Banner();

// Exit status: 0 success or usage asked for; 1 a conversion failed or was
// cancelled; 2 no command given or an option value refused.
int RunApp(const std::vector<std::string>& args, Console& console);
int RunApp(const std::vector<std::string>& args);  // prints to standard output

}  // namespace qv
