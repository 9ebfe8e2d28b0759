#include "cli/usage.h"

#include <string_view>

namespace qv {
namespace {

// Lines get a line end added; patterns carry their own, and each "%c" pair
// in them is filled with the braces that enclose an option's value.
struct UsageItem {
  bool isPattern;
  std::string_view text;
};

constexpr UsageItem kUsage[] = {
    {false, "Format: qv COMMAND:xxxx [Option1] [Option2] ... [OptionX]\nWhere:"},
    {false, "xxxx = TOCSV     -> Convert .PDB file to .CSV or..."},
    {false, "xxxx = TOPDB     -> Convert .CSV file to .PDB"},
    {false, "/HELP or /?          -> Get's this screen"},
    {false, "   PLACEQUOTES   -> Quotes around each .CSV entry."},
    {false, "   FIELDNAMES    -> Fieldnames as first line of .CSV file."},
    {false, "   OVERWRITE     -> If output file exists, overwrite it."},
    {true, "   TIMEFORMAT:%cx%c  -> x specifies the time format, which can be one of:\n"},
    {false, "    0 - HH:MMam/pm (12 hour),  1 - HH:MM (24 hour)"},
    {false, "    2 - HH.MMam/pm (12 hour),  3 - HH.MM (24 hour), 4 - HH,MM (24 hour)"},
    {true, "   DATEFORMAT:%cx%c  -> x specifies the date format, which can be one of:\n"},
    {false, "    0 - MM/DD/YYYY,  1 - DD/MM/YYYY,  2 - DD.MM.YYYY,  3 - DD-MM-YYYY,"},
    {false, "    4 - YYYY/MM/DD,  5 - YYYY.MM.DD,  6 - YYYY-MM-DD (ISO 8601)"},
    {true, "   INFILE:%cFILENAME%c  -> Specify input file within %c and %c brackets.\n"},
    {true, "   OUTFILE:%cFILENAME%c -> Specify output file within %c and %c brackets.\n"},
    {true,
     "   PASSWORD:%cpassword%c -> Specify password .PDB file has to unlock \nthis for "
     "conversion.\n"},
    {true,
     "   DBNAME:%cDATABASE NAME%c -> Specify name of database as it will be called\n   on the "
     "PalmPilot.\n"},
    {true,
     "   USEEXISTING:%cFILENAME%c -> Use Existing file within %c and %c brackets for\n   field "
     "type information.\n"},
};

void AppendWithBraces(std::string_view pattern, std::string& out) {
  bool opening = true;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "%c") == 0) {
      out.push_back(opening ? '{' : '}');
      opening = !opening;
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
}

}  // namespace

std::string UsageText() {
  std::string out;
  for (const UsageItem& item : kUsage) {
    if (item.isPattern) {
      AppendWithBraces(item.text, out);
    } else {
      out.append(item.text);
      out.push_back('\n');
    }
  }
  return out;
}

void ShowUsage(Console& console) { console.Write(UsageText()); }

}  // namespace qv
