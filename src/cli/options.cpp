#include "cli/options.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/console.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

enum class Keyword {
  kToPdb,
  kHelp,
  kToCsv,
  kPlaceQuotes,
  kFieldNames,
  kExtraDiag,
  kOverwrite,
  kPassword,
  kTimeFormat,
  kDateFormat,
  kInFile,
  kPopups,
  kOutFile,
  kDbName,
  kUseExisting,
  kInfo,
  kSchema,
  kEncoding,
  kSeparator,
  kToJson,
  kToSqlite,
  kStrict,
  kQuiet,
  kThreads,
};

struct KeywordEntry {
  std::string_view text;
  Keyword keyword;
};

// Tested in this order, first match wins. A keyword may sit anywhere in the
// part of an argument before its first "{" (so "xCOMMAND:TOCSVx" is the
// TOCSV command); what follows a "{" is a value and never a keyword.
constexpr KeywordEntry kKeywords[] = {
    {"COMMAND:TOPDB", Keyword::kToPdb},     {"/?", Keyword::kHelp},
    {"/HELP", Keyword::kHelp},              {"COMMAND:TOCSV", Keyword::kToCsv},
    {"PLACEQUOTES", Keyword::kPlaceQuotes}, {"FIELDNAMES", Keyword::kFieldNames},
    {"EXTRADIAG", Keyword::kExtraDiag},     {"OVERWRITE", Keyword::kOverwrite},
    {"PASSWORD:", Keyword::kPassword},      {"TIMEFORMAT:", Keyword::kTimeFormat},
    {"DATEFORMAT:", Keyword::kDateFormat},  {"INFILE:", Keyword::kInFile},
    {"POPUPS:", Keyword::kPopups},          {"OUTFILE:", Keyword::kOutFile},
    {"DBNAME:", Keyword::kDbName},          {"USEEXISTING:", Keyword::kUseExisting},
    // Later additions come last, so no argument that meant something before
    // changes meaning.
    {"COMMAND:INFO", Keyword::kInfo},       {"SCHEMA:", Keyword::kSchema},
    {"ENCODING:", Keyword::kEncoding},      {"SEPARATOR:", Keyword::kSeparator},
    {"COMMAND:TOJSON", Keyword::kToJson},   {"COMMAND:TOSQLITE", Keyword::kToSqlite},
    {"STRICT", Keyword::kStrict},
    {"QUIET", Keyword::kQuiet},             {"THREADS:", Keyword::kThreads},
};

// The keyword that the part of `argument` before its first "{" holds, if any.
std::optional<KeywordEntry> MatchKeyword(std::string_view argument) {
  const std::string_view head = argument.substr(0, argument.find('{'));
  for (const KeywordEntry& entry : kKeywords) {
    if (ContainsNoCase(head, entry.text)) return entry;
  }
  return std::nullopt;
}

// Marks the arguments that continue a braced value the shell split at
// blanks: every argument after one whose first "{" has no "}" after it, up
// to and including the next argument that holds a "}". These are data, so
// they are never examined as keywords or as --help, -h or --version.
std::vector<bool> FindValueContinuations(const std::vector<std::string>& args) {
  std::vector<bool> continuation(args.size(), false);
  bool open = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view argument = args[i];
    if (open) {
      continuation[i] = true;
      open = argument.find('}') == std::string_view::npos;
      continue;
    }
    const size_t brace = argument.find('{');
    open = brace != std::string_view::npos && argument.find('}', brace) == std::string_view::npos;
  }
  return continuation;
}

size_t MaxLength(Keyword keyword) {
  switch (keyword) {
    case Keyword::kPassword:
    case Keyword::kDbName:
      return kMaxShortTextLength;
    case Keyword::kTimeFormat:
    case Keyword::kDateFormat:
    case Keyword::kEncoding:
    case Keyword::kSeparator:
    case Keyword::kThreads:
      return kMaxFormatTextLength;
    default:
      return kMaxFileNameLength;
  }
}

std::optional<CsvEncoding> EncodingFromName(std::string_view name) {
  if (EqualsNoCase(name, "UTF-8") || EqualsNoCase(name, "UTF8")) return CsvEncoding::kUtf8;
  if (EqualsNoCase(name, "UTF-8-BOM") || EqualsNoCase(name, "UTF8-BOM")) {
    return CsvEncoding::kUtf8Bom;
  }
  return std::nullopt;
}

// A separator is one byte, or one of the words COMMA, SEMICOLON and TAB
// (which need no quoting in a shell). Bytes that end lines or open quotes
// would make the CSV unreadable.
std::optional<char> SeparatorFromText(std::string_view text) {
  if (EqualsNoCase(text, "TAB")) return '\t';
  if (EqualsNoCase(text, "COMMA")) return ',';
  if (EqualsNoCase(text, "SEMICOLON")) return ';';
  if (text.size() != 1) return std::nullopt;
  const char c = text[0];
  if (c == '"' || c == '\r' || c == '\n' || c == '\0') return std::nullopt;
  return c;
}

// The largest meaningful format number of DATEFORMAT: or TIMEFORMAT:.
int LargestFormat(Keyword keyword) { return keyword == Keyword::kDateFormat ? 6 : 4; }

// Checks the values that must be one of a few forms.
Status RefuseValue(Keyword keyword, std::string_view value) {
  const int length = static_cast<int>(value.size());
  if (keyword == Keyword::kEncoding && !EncodingFromName(value)) {
    return Failure{
        Format("ENCODING:{%.*s} is not known; use ENCODING:{UTF-8} or ENCODING:{UTF-8-BOM}.",
               length, value.data())};
  }
  if (keyword == Keyword::kSeparator && !SeparatorFromText(value)) {
    return Failure{
        Format("SEPARATOR:{%.*s} cannot be used; give COMMA, SEMICOLON, TAB or one byte "
               "other than a double quote or a line end (an ASCII character with ENCODING:).",
               length, value.data())};
  }
  if (keyword == Keyword::kThreads) {
    const int number = ParseDecimal(value);
    if (number < 1 || number > static_cast<int>(kMaxThreads)) {
      return Failure{
          Format("THREADS:{%.*s} is not a number of threads; give a number from 1 to %u.", length,
                 value.data(), kMaxThreads)};
    }
  }
  if (keyword == Keyword::kDateFormat || keyword == Keyword::kTimeFormat) {
    const int number = ParseDecimal(value);
    const int largest = LargestFormat(keyword);
    if (number < 0 || number > largest) {
      const bool date = keyword == Keyword::kDateFormat;
      return Failure{Format("%s{%.*s} is not a %s format; give a number from 0 to %d.",
                            date ? "DATEFORMAT:" : "TIMEFORMAT:", length, value.data(),
                            date ? "date" : "time", largest)};
    }
  }
  return {};
}

// A UTF-8 file holds a character from 0x80 up as several bytes, so only an
// ASCII separator is one byte on both sides of the conversion.
Status RefuseSeparatorForEncoding(const ConversionOptions& options) {
  const auto byte = static_cast<unsigned char>(options.separator);
  if (options.encoding == CsvEncoding::kBytes || byte < 0x80) return {};
  return Failure{
      Format("SEPARATOR: the byte 0x%02X cannot be used with ENCODING:; give COMMA, "
             "SEMICOLON, TAB or an ASCII character other than a double quote or a line end.",
             static_cast<unsigned>(byte))};
}

// Only INFILE: and OUTFILE: name standard input and output ("-"); the
// files that come with them are real files.
Status RefuseStandardStream(Command command, const ConversionOptions& options) {
  const auto refuse = [](const char* keyword) {
    return Failure{
        Format("%s{-}: only INFILE: and OUTFILE: take - for standard input or output; "
               "name a file in the current folder ./-",
               keyword)};
  };
  if (options.popupFile == "-") return refuse("POPUPS:");
  if (options.existingFile == "-") return refuse("USEEXISTING:");
  if (command != Command::kInfo && options.schemaFile == "-") return refuse("SCHEMA:");
  // An SQLite database is a file that SQLite's readers seek in, not a stream.
  if (command == Command::kToSqlite && options.csvFile == "-") {
    return Failure{
        "OUTFILE:{-}: COMMAND:TOSQLITE writes a database file, not a stream; name a file"};
  }
  return {};
}

// The values of INFILE: and OUTFILE:, kept until the command is known.
struct FileValues {
  std::string in;
  std::string out;
};

// Stores a bracket value where its keyword says. INFILE: and OUTFILE: wait
// in `files` until every argument has been read.
void StoreValue(Keyword keyword, std::string value, ParsedCommandLine& parsed,
                FileValues& files) {
  ConversionOptions& options = parsed.options;
  switch (keyword) {
    case Keyword::kThreads: parsed.threads = static_cast<unsigned>(ParseDecimal(value)); break;
    case Keyword::kPassword: options.givenPassword = std::move(value); break;
    case Keyword::kTimeFormat: options.timeFormat = ParseDecimal(value); break;
    case Keyword::kDateFormat: options.dateFormat = ParseDecimal(value); break;
    case Keyword::kInFile: files.in = std::move(value); break;
    case Keyword::kPopups: options.popupFile = std::move(value); break;
    case Keyword::kOutFile: files.out = std::move(value); break;
    case Keyword::kDbName: options.databaseName = std::move(value); break;
    case Keyword::kUseExisting: options.existingFile = std::move(value); break;
    case Keyword::kSchema: options.schemaFile = std::move(value); break;
    case Keyword::kEncoding: options.encoding = *EncodingFromName(value); break;
    case Keyword::kSeparator: options.separator = *SeparatorFromText(value); break;
    default: break;
  }
}

// The command, wherever it stood, decides which file INFILE: and OUTFILE:
// name: TOCSV reads the database and writes the CSV (TOJSON and TOSQLITE
// their outputs, kept in the same option); INFO reads the database
// and writes the schema file (SCHEMA: names a file the import reads, so INFO
// never writes there); TOPDB, and no command, read the CSV and write the
// database.
void AssignFileRoles(Command command, FileValues files, ConversionOptions& options) {
  std::string& in = files.in;
  std::string& out = files.out;
  switch (command) {
    case Command::kToCsv:
    case Command::kToJson:
    case Command::kToSqlite:
      options.pdbFile = std::move(in);
      options.csvFile = std::move(out);
      break;
    case Command::kInfo:
      options.pdbFile = std::move(in);
      options.schemaFile = std::move(out);
      break;
    case Command::kToPdb:
    case Command::kNone:
      options.csvFile = std::move(in);
      options.pdbFile = std::move(out);
      break;
  }
}

}  // namespace

size_t GetBracketValue(size_t index, std::string& value, const std::vector<std::string>& args) {
  value.clear();
  bool opened = false;
  for (; index < args.size(); ++index) {
    std::string_view argument = args[index];
    if (!opened) {
      const size_t open = argument.find('{');
      if (open == std::string_view::npos) continue;
      opened = true;
      argument.remove_prefix(open + 1);
    }
    const size_t close = argument.find('}');
    if (close != std::string_view::npos) {
      value.append(argument.substr(0, close));
      return index;
    }
    // The shell split the value at a blank; put one back.
    value.append(argument);
    value.push_back(' ');
  }
  return args.size();
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  ConversionOptions& options = parsed.options;
  const std::vector<bool> continuation = FindValueContinuations(args);
  // The conventional flags count only as whole arguments outside a value,
  // so no file name that merely contains them changes meaning.
  for (size_t i = 1; i < args.size(); ++i) {
    if (continuation[i]) continue;
    if (args[i] == "--help" || args[i] == "-h") parsed.showHelp = true;
    if (args[i] == "--version") parsed.showVersion = true;
  }
  if (parsed.showHelp || parsed.showVersion) return parsed;
  FileValues files;
  for (size_t i = 0; i < args.size(); ++i) {
    // Continuations of a value that no value keyword gathered (one opened
    // by a flag or by an unknown argument) are skipped the same way.
    if (continuation[i]) continue;
    const std::optional<KeywordEntry> match = MatchKeyword(args[i]);
    if (!match) continue;
    switch (match->keyword) {
      case Keyword::kToPdb: parsed.command = Command::kToPdb; break;
      case Keyword::kHelp: parsed.showUsage = true; return parsed;
      case Keyword::kToCsv: parsed.command = Command::kToCsv; break;
      case Keyword::kPlaceQuotes: options.placeQuotes = true; break;
      case Keyword::kFieldNames: options.fieldNames = true; break;
      case Keyword::kExtraDiag: options.extraDiag = true; break;
      case Keyword::kOverwrite: options.overwrite = true; break;
      case Keyword::kStrict: options.strict = true; break;
      case Keyword::kInfo: parsed.command = Command::kInfo; break;
      case Keyword::kToJson: parsed.command = Command::kToJson; break;
      case Keyword::kToSqlite: parsed.command = Command::kToSqlite; break;
      case Keyword::kQuiet: parsed.quiet = true; break;
      default: {
        if (match->keyword == Keyword::kUseExisting) options.useExisting = true;
        std::string value;
        i = GetBracketValue(i, value, args);
        const size_t limit = MaxLength(match->keyword);
        if (value.size() > limit) {
          if (parsed.accepted) {
            parsed.accepted =
                Failure{Format("The value given with %.*s is longer than %zu characters.",
                               static_cast<int>(match->text.size()), match->text.data(), limit)};
          }
          break;
        }
        if (Status refused = RefuseValue(match->keyword, value); !refused) {
          if (parsed.accepted) parsed.accepted = refused;
          break;
        }
        StoreValue(match->keyword, std::move(value), parsed, files);
        break;
      }
    }
  }
  AssignFileRoles(parsed.command, std::move(files), options);
  for (const Status& refused : {RefuseSeparatorForEncoding(options),
                                RefuseStandardStream(parsed.command, options)}) {
    if (parsed.accepted && !refused) parsed.accepted = refused;
  }
  return parsed;
}

}  // namespace qv
