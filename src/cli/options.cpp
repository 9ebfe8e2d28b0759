#include "cli/options.h"

#include <optional>
#include <string_view>
#include <utility>

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
  kStrict,
};

struct KeywordEntry {
  std::string_view text;
  Keyword keyword;
};

// Tested in this order, first match wins. The order matters because a
// keyword may sit anywhere inside an argument, even inside a braced value:
// "PASSWORD:{overwrite}" is the OVERWRITE flag, not a password.
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
    {"STRICT", Keyword::kStrict},
};

std::optional<KeywordEntry> MatchKeyword(std::string_view argument) {
  for (const KeywordEntry& entry : kKeywords) {
    if (ContainsNoCase(argument, entry.text)) return entry;
  }
  return std::nullopt;
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

// A separator is one character, or the word TAB. Characters that end lines
// or open quotes would make the CSV unreadable.
std::optional<char> SeparatorFromText(std::string_view text) {
  if (EqualsNoCase(text, "TAB")) return '\t';
  if (text.size() != 1) return std::nullopt;
  const char c = text[0];
  if (c == '"' || c == '\r' || c == '\n' || c == '\0') return std::nullopt;
  return c;
}

// Checks the values that must be one of a few forms; "" when acceptable.
std::string RefuseValue(Keyword keyword, std::string_view value) {
  if (keyword == Keyword::kEncoding && !EncodingFromName(value)) {
    return Format("ENCODING:{%.*s} is not known; use ENCODING:{UTF-8} or ENCODING:{UTF-8-BOM}.",
                  static_cast<int>(value.size()), value.data());
  }
  if (keyword == Keyword::kSeparator && !SeparatorFromText(value)) {
    return Format("SEPARATOR:{%.*s} cannot be used; give one character other than a double "
                  "quote or a line end, or TAB.",
                  static_cast<int>(value.size()), value.data());
  }
  return "";
}

// Stores a bracket value where its keyword says; the command seen so far
// decides which file INFILE: and OUTFILE: name.
void StoreValue(Keyword keyword, std::string value, Command command, ConversionOptions& options) {
  const bool toCsv = command == Command::kToCsv;
  const bool info = command == Command::kInfo;
  switch (keyword) {
    case Keyword::kPassword: options.givenPassword = std::move(value); break;
    case Keyword::kTimeFormat: options.timeFormat = ParseDecimal(value); break;
    case Keyword::kDateFormat: options.dateFormat = ParseDecimal(value); break;
    case Keyword::kInFile:
      (toCsv || info ? options.pdbFile : options.csvFile) = std::move(value);
      break;
    case Keyword::kPopups: options.popupFile = std::move(value); break;
    case Keyword::kOutFile:
      (toCsv ? options.csvFile : info ? options.schemaFile : options.pdbFile) = std::move(value);
      break;
    case Keyword::kDbName: options.databaseName = std::move(value); break;
    case Keyword::kUseExisting: options.existingFile = std::move(value); break;
    case Keyword::kSchema: options.schemaFile = std::move(value); break;
    case Keyword::kEncoding: options.encoding = *EncodingFromName(value); break;
    case Keyword::kSeparator: options.separator = *SeparatorFromText(value); break;
    default: break;
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
  // The conventional flags count only as whole arguments, so no file name
  // that merely contains them changes meaning.
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") parsed.showHelp = true;
    if (args[i] == "--version") parsed.showVersion = true;
  }
  if (parsed.showHelp || parsed.showVersion) return parsed;
  for (size_t i = 0; i < args.size(); ++i) {
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
      default: {
        if (match->keyword == Keyword::kUseExisting) options.useExisting = true;
        std::string value;
        i = GetBracketValue(i, value, args);
        const size_t limit = MaxLength(match->keyword);
        if (value.size() > limit) {
          if (parsed.refusal.empty()) {
            parsed.refusal = Format("The value given with %.*s is longer than %zu characters.",
                                    static_cast<int>(match->text.size()), match->text.data(),
                                    limit);
          }
          break;
        }
        if (std::string refused = RefuseValue(match->keyword, value); !refused.empty()) {
          if (parsed.refusal.empty()) parsed.refusal = std::move(refused);
          break;
        }
        StoreValue(match->keyword, std::move(value), parsed.command, options);
        break;
      }
    }
  }
  return parsed;
}

}  // namespace qv
