// The help screen for "--help" and "-h": the usage screen and every option.
#pragma once

#include <string>

#include "convert/console.h"

namespace qv {

std::string HelpText();
void ShowHelp(Console& console);

}  // namespace qv
