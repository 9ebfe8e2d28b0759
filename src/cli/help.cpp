#include "cli/help.h"

#include "cli/usage.h"

namespace qv {

// Placeholder: the usage screen until the full help text lands.
std::string HelpText() { return UsageText(); }

void ShowHelp(Console& console) { console.Write(HelpText()); }

}  // namespace qv
