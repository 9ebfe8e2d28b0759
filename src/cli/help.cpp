#include "cli/help.h"

#include "cli/usage.h"

namespace qv {
namespace {

// The usage screen keeps its historical wording and leaves out the options
// added since; this part lists all of them, so a user never needs the
// manual page to learn what exists.
constexpr std::string_view kMoreHelp =
    "\n"
    "Every option:\n"
    "   COMMAND:TOCSV       -> Convert the .PDB file INFILE to the .CSV file OUTFILE.\n"
    "   COMMAND:TOPDB       -> Convert the .CSV file INFILE to the .PDB file OUTFILE\n"
    "                          (DBNAME is required).\n"
    "   COMMAND:INFO        -> Describe the .PDB file INFILE; with OUTFILE, also write\n"
    "                          its field definitions there as a schema file.\n"
    "   COMMAND:TOJSON      -> Convert the .PDB file INFILE to the JSON Lines file\n"
    "                          OUTFILE: one object per record, typed values, UTF-8.\n"
    "   COMMAND:TOSQLITE    -> Convert the .PDB file INFILE to the SQLite database\n"
    "                          OUTFILE: a table of the records, typed columns, UTF-8,\n"
    "                          and the tables qv_fields, qv_choices and qv_source.\n"
    "                          Neither takes DATEFORMAT, TIMEFORMAT, PLACEQUOTES,\n"
    "                          FIELDNAMES, POPUPS, SEPARATOR or ENCODING: dates are\n"
    "                          YYYY-MM-DD, times HH:MM, no value is null.\n"
    "   INFILE:{file}       -> The input file; {-} reads standard input. A folder:\n"
    "                          TOCSV, TOJSON and TOSQLITE convert every Quorvex\n"
    "                          database below it into the OUTFILE folder, mirroring\n"
    "                          subfolders, and sum up what was converted, skipped\n"
    "                          and failed; INFO says what each file is.\n"
    "   OUTFILE:{file}      -> The output file; {-} writes standard output, and every\n"
    "                          message then goes to standard error.\n"
    "   DBNAME:{name}       -> Import: the database name shown on the handheld\n"
    "                          (at most 31 characters).\n"
    "   USEEXISTING:{file}  -> Import: take the field definitions, settings and popup\n"
    "                          lists from this .PDB file.\n"
    "   SCHEMA:{file}       -> Import: take the field definitions from this schema\n"
    "                          file (as COMMAND:INFO writes it).\n"
    "   PASSWORD:{text}     -> Export: the password of a protected .PDB file.\n"
    "   POPUPS:{file}       -> Export: also write the popup choices of all 30 field\n"
    "                          slots to this file, one line per slot.\n"
    "   DATEFORMAT:{n}      -> Date format 0 to 6, as listed above; others are refused.\n"
    "                          The import also reads YYYY-MM-DD in every format, and\n"
    "                          two-digit years 00-31 as 2000-2031, 32-99 as 1932-1999.\n"
    "   TIMEFORMAT:{n}      -> Time format 0 to 4, as listed above; others are refused.\n"
    "   FIELDNAMES          -> Field names as the first line of the .CSV file.\n"
    "   PLACEQUOTES         -> Export: quotes around every value and field name.\n"
    "   OVERWRITE           -> Replace an output file that exists already.\n"
    "   EXTRADIAG           -> Print a line for every record read and written.\n"
    "   STRICT              -> Import: fail, writing nothing, when a value cannot be\n"
    "                          stored as written (instead of storing it with a warning).\n"
    "   QUIET               -> Print only warnings and errors: no banner, no progress.\n"
    "   THREADS:{n}         -> A folder: convert its files on n threads (1 to 256);\n"
    "                          by default four per core. One database to CSV or JSON,\n"
    "                          or one CSV file to a database: render its rows (make its\n"
    "                          records) on up to n threads; by default one per core.\n"
    "   ENCODING:{UTF-8}    -> The .CSV file, the popup file and the field names are\n"
    "                          UTF-8; the .PDB file keeps the handheld's character set.\n"
    "                          Every byte survives the way out and back.\n"
    "   ENCODING:{UTF-8-BOM} -> As UTF-8; the export also writes a byte-order mark\n"
    "                          first. The import skips one whenever ENCODING is given.\n"
    "   SEPARATOR:{c}       -> The character between values instead of the comma:\n"
    "                          one byte (not a double quote or a line end; with\n"
    "                          ENCODING, an ASCII character), or COMMA, SEMICOLON\n"
    "                          or TAB: 'SEPARATOR:{;}', 'SEPARATOR:{TAB}' ...\n"
    "   /? or /HELP         -> The usage screen only.\n"
    "   --help or -h        -> This screen.\n"
    "   --version           -> The version of qv.\n"
    "\n"
    "A keyword counts anywhere in an argument before its first {, ignoring letter\n"
    "case. Values go between braces and are data: a keyword, /?, -h or --help\n"
    "inside them, even where the shell split a value at blanks, is part of the\n"
    "value. The command may stand anywhere. Quote a value in the shell when it\n"
    "holds blanks, a comma or a semicolon, as in 'SEPARATOR:{,}' or\n"
    "'INFILE:{my file.pdb}'.\n"
    "\n"
    "Exit status:\n"
    "   0 -> The conversion succeeded, or a help screen or the version was shown.\n"
    "   1 -> A conversion was attempted and failed or was cancelled; for a folder,\n"
    "        a file of it failed.\n"
    "   2 -> No command was given, or an option value was refused.\n"
    "\n"
    "Environment:\n"
    "   SOURCE_DATE_EPOCH   -> Import: date the new database at this many seconds\n"
    "                          since 1970-01-01 instead of now (reproducible output).\n";

}  // namespace

std::string HelpText() {
  std::string text = UsageText();
  text.append(kMoreHelp);
  return text;
}

void ShowHelp(Console& console) { console.Write(HelpText()); }

}  // namespace qv
