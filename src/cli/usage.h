// The usage screen, shown for "/?" and "/HELP" and when no command is given.
#pragma once

#include <string>

#include "convert/console.h"

namespace qv {

std::string UsageText();
void ShowUsage(Console& console);

}  // namespace qv
