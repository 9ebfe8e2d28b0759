// The WebAssembly binding: the conversions as the command line runs them,
// with the files replaced by bytes handed over by the page.
//
// Each entry point takes
//   - the options as command-line keywords ("FIELDNAMES", "DATEFORMAT:{1}",
//     "SEPARATOR:{;}", "ENCODING:{UTF-8}", "DBNAME:{Orders}", ...), each
//     followed by a NUL, the list ended by an empty keyword (a second NUL);
//     they are read by the command line's own parser, so a refused value
//     gets the command line's message and exit status 2;
//   - the input bytes (and, for the import, the definitions' bytes);
// and returns a QvResult that the caller reads with the qv_result_*
// accessors and releases with qv_result_free. The result holds the output
// bytes, a second output (INFO's schema text, the export's popup file), the
// console messages the command line would print after its banner, and the
// exit status it would give (0, 1 or 2). The input buffers stay the
// caller's. Running out of memory is reported as a failed conversion
// (status 1) instead of stopping the module; only when not even the result
// can be allocated is null returned.
//
// The checks the command line makes on file names (missing, existing,
// overwriting an input) have no counterpart here: the page names no files.
//
// qv_identify, which says what some bytes are, takes no options and fails
// never; its output is described at the function.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The conversion cores, and the command line's option reader and dating of
// new databases, so that the page refuses and dates exactly as qv does.
#include "cli/database_time.h"
#include "cli/options.h"
#include "convert/console.h"
#include "convert/export_core.h"
#include "convert/import_core.h"
#include "convert/info_core.h"
#include "convert/json_export.h"
#include "pdb/database.h"
#include "pdb/identify.h"
#include "pdb/master_record.h"

namespace {

struct Result {
  int status = 1;
  std::string output;
  std::string extra;
  std::string console;
};

// The keywords between `keywords` and the empty one that ends them, with a
// stand-in program name in front (the parser reads argument 0 too).
std::vector<std::string> SplitKeywords(const char* keywords) {
  std::vector<std::string> args{"qv"};
  if (keywords == nullptr) return args;
  for (const char* p = keywords; *p != '\0';) {
    std::string_view word(p);
    args.emplace_back(word);
    p += word.size() + 1;
  }
  return args;
}

// The options, or nothing after the refusal was printed to `console`.
std::optional<qv::ConversionOptions> ParseOptions(const char* keywords, qv::Console& console) {
  const qv::ParsedCommandLine parsed = qv::ParseCommandLine(SplitKeywords(keywords));
  if (!parsed.accepted) {
    console.PrintError(parsed.accepted.message());
    return std::nullopt;
  }
  return parsed.options;
}

qv::ByteView View(const uint8_t* data, size_t size) {
  return qv::ByteView(data, data == nullptr ? 0 : size);
}

// Runs `convert(result, console)`, which returns the exit status, and turns
// running out of memory into a failed conversion with a message. Returns
// null only when the result itself cannot be allocated.
template <typename Convert>
Result* Run(Convert convert) {
  Result* result = new (std::nothrow) Result;
  if (result == nullptr) return nullptr;
  try {
    qv::Console console;
    result->status = convert(*result, console);
    result->console = console.text();
  } catch (const std::bad_alloc&) {
    result->output.clear();
    result->output.shrink_to_fit();
    result->extra.clear();
    result->extra.shrink_to_fit();
    result->status = 1;
    try {
      result->console =
          "ERROR:\nNot enough memory for this conversion.\n\n\nERROR:In Conversion!\n\n\n";
    } catch (const std::bad_alloc&) {
      result->console.clear();
    }
  }
  return result;
}

// The outputs of an export.
enum class ExportFormat { kCsv, kCsvWithPopups, kJsonLines };

// As COMMAND:TOCSV or COMMAND:TOJSON after their checks on file names. A
// database whose rows could not all be read still gives the rows that
// could, with status 1, as the command line leaves them in its output file.
int Export(const char* keywords, qv::ByteView database, ExportFormat format, Result& result,
           qv::Console& console) {
  std::optional<qv::ConversionOptions> options = ParseOptions(keywords, console);
  if (!options) return 2;
  qv::ExportResult exported;
  if (format == ExportFormat::kJsonLines) {
    console.PrintMessage("Converting to JSON Lines...");
    exported = qv::ExportToJsonText(database, *options, console);
  } else {
    // The export renders the popup file only when it is given a name.
    options->popupFile = format == ExportFormat::kCsvWithPopups ? "popups" : "";
    console.PrintMessage("Converting to .CSV...");
    exported = qv::ExportToCsvText(database, *options, console);
  }
  if (exported.loaded) {
    result.output = std::move(exported.csv);
    result.extra = std::move(exported.popups);
  }
  if (!exported.loaded || !exported.ok) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  console.PrintMessage("Conversion Successful!");
  return 0;
}

// As COMMAND:INFO: the description on the console, the schema as the extra
// output.
int Describe(const char* keywords, qv::ByteView database, qv::Console& console, Result& result) {
  std::optional<qv::ConversionOptions> options = ParseOptions(keywords, console);
  if (!options) return 2;
  options->schemaFile = "schema";
  qv::DatabaseDescription description = qv::DescribeDatabaseText(database, *options, console);
  if (!description.loaded) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  console.Write(description.text);
  result.extra = std::move(description.schema);
  return 0;
}

// As COMMAND:TOPDB after its checks on file names. `definitions` holds the
// database named by USEEXISTING: or the schema named by SCHEMA:.
int ImportCsv(const char* keywords, std::string_view csv, std::optional<qv::ByteView> definitions,
              Result& result, qv::Console& console) {
  std::optional<qv::ConversionOptions> options = ParseOptions(keywords, console);
  if (!options) return 2;
  if (qv::Status checked = qv::CheckImportOptions(*options); !checked) {
    console.PrintError(checked.message());
    return 1;
  }
  // The definitions are handed over instead of named.
  if ((options->useExisting || !options->schemaFile.empty()) && !definitions) {
    console.PrintError(
        options->useExisting
            ? "You need to specify a Database (.PDB) file to use for the field information!"
            : "You need to specify a schema file to take the field definitions from!");
    return 1;
  }
  console.PrintMessage("Converting to .PDB...");
  qv::ImportSource source;
  source.csvText = csv;
  source.useExisting = options->useExisting;
  // A new database is dated now, as the command line dates it.
  const qv::Result<uint32_t> time = qv::NewDatabaseTime(nullptr, std::time(nullptr));
  source.databaseTime = time ? *time : 0;
  if (options->useExisting) source.existing = definitions;
  if (!options->schemaFile.empty()) {
    source.schemaText = std::string_view(reinterpret_cast<const char*>(definitions->data()),
                                         definitions->size());
    source.schemaName = options->schemaFile;
  }
  qv::Result<qv::Bytes> database = qv::ImportCsvToDatabase(source, *options, console);
  if (!database) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  result.output.assign(reinterpret_cast<const char*>(database->data()), database->size());
  console.PrintMessage("Conversion Successful!");
  return 0;
}

// The short name of a kind, as the page tests it.
const char* KindName(qv::FileKind kind) {
  switch (kind) {
    case qv::FileKind::kEmpty: return "empty";
    case qv::FileKind::kTooShort: return "too-short";
    case qv::FileKind::kQuorvexDatabase: return "quorvex";
    case qv::FileKind::kDamagedQuorvexDatabase: return "damaged-quorvex";
    case qv::FileKind::kOtherDatabase: return "other-database";
    case qv::FileKind::kResourceDatabase: return "resource-database";
    case qv::FileKind::kNotPalmFile: return "not-palm";
  }
  return "not-palm";
}

const char* HintName(qv::FileHint hint) {
  switch (hint) {
    case qv::FileHint::kNone: return "";
    case qv::FileHint::kDebugSymbols: return "debug-symbols";
    case qv::FileHint::kZipArchive: return "zip";
    case qv::FileHint::kText: return "text";
  }
  return "";
}

// The number of defined fields of a sound Quorvex database, or -1 when its
// field definitions (record 0) cannot be read.
int FieldCount(qv::ByteView bytes) {
  const qv::Result<qv::DatabaseHeader> header = qv::ReadDatabaseHeader(bytes);
  if (!header) return -1;
  const qv::Result<qv::MasterRecord> master = qv::ReadMasterRecord(bytes, *header);
  if (!master) return -1;
  int count = 0;
  for (const qv::FieldDefinition& field : master->fields) {
    if (field.type != qv::kEmptySlot) ++count;
  }
  return count;
}

// What `bytes` are, as the lines described at qv_identify. Status 0.
int Identify(qv::ByteView bytes, Result& result) {
  const qv::FileIdentity identity = qv::IdentifyFile(bytes);
  const bool quorvex = identity.kind == qv::FileKind::kQuorvexDatabase;
  const uint32_t rows = identity.recordCount > qv::kFirstDataRecord
                            ? identity.recordCount - static_cast<uint32_t>(qv::kFirstDataRecord)
                            : 0;
  std::string& out = result.output;
  out += KindName(identity.kind);
  out += '\n';
  out += qv::DescribeFile(identity);
  out += '\n';
  out += HintName(identity.hint);
  out += '\n';
  out += qv::EscapeForDisplay(identity.name);
  out += '\n';
  out += std::to_string(identity.recordCount) + "\n";
  out += std::to_string(rows) + "\n";
  out += std::to_string(quorvex ? FieldCount(bytes) : -1) + "\n";
  return 0;
}

}  // namespace

extern "C" {

// What the file `bytes` (`size` bytes) is, as the command line identifies
// it, in the output as seven lines, each ended by a line feed:
//   kind         empty, too-short, quorvex, damaged-quorvex, other-database,
//                resource-database or not-palm;
//   description  the command line's one-line description (ASCII);
//   hint         text, zip, debug-symbols, or empty: what the first bytes of
//                a file that is no database suggest;
//   name         the database's name, escaped as in the description (empty
//                for the kinds that are no database);
//   records      the header's record (or resource) count;
//   rows         the data rows of a Quorvex database (records past the
//                fixed ones);
//   fields       the defined fields of a sound Quorvex database, -1 for
//                every other kind or when its definitions cannot be read.
// Always status 0 and no console text.
Result* qv_identify(const uint8_t* bytes, size_t size) {
  return Run([&](Result& result, qv::Console&) { return Identify(View(bytes, size), result); });
}


// The database `pdb` (`size` bytes) as CSV text in the output; with
// `popups` non-zero, the popup file as the extra output.
Result* qv_export_csv(const char* keywords, const uint8_t* pdb, size_t size, int popups) {
  return Run([&](Result& result, qv::Console& console) {
    return Export(keywords, View(pdb, size),
                  popups != 0 ? ExportFormat::kCsvWithPopups : ExportFormat::kCsv, result, console);
  });
}

// The database `pdb` (`size` bytes) as JSON Lines text in the output. The
// options that shape CSV text are read but do not apply.
Result* qv_export_jsonl(const char* keywords, const uint8_t* pdb, size_t size) {
  return Run([&](Result& result, qv::Console& console) {
    return Export(keywords, View(pdb, size), ExportFormat::kJsonLines, result, console);
  });
}

// The description of the database `pdb` on the console and its schema file
// as the extra output; no output bytes.
Result* qv_describe(const char* keywords, const uint8_t* pdb, size_t size) {
  return Run([&](Result& result, qv::Console& console) {
    return Describe(keywords, View(pdb, size), console, result);
  });
}

// A new database from the CSV text `csv` as the output. `definitions` (null
// when none is given) is the database of USEEXISTING:{name} or the schema of
// SCHEMA:{name}; the names only appear in messages.
Result* qv_import_csv(const char* keywords, const uint8_t* csv, size_t csvSize,
                      const uint8_t* definitions, size_t definitionsSize) {
  return Run([&](Result& result, qv::Console& console) {
    std::optional<qv::ByteView> defs;
    if (definitions != nullptr) defs = View(definitions, definitionsSize);
    const std::string_view text(reinterpret_cast<const char*>(csv), csv == nullptr ? 0 : csvSize);
    return ImportCsv(keywords, text, defs, result, console);
  });
}

// The exit status the command line would give: 0, 1 or 2.
int qv_result_status(const Result* result) { return result->status; }

// The output bytes; valid until qv_result_free.
const char* qv_result_output(const Result* result) { return result->output.data(); }
size_t qv_result_output_size(const Result* result) { return result->output.size(); }

// The second output (schema text or popup file); valid until qv_result_free.
const char* qv_result_extra(const Result* result) { return result->extra.data(); }
size_t qv_result_extra_size(const Result* result) { return result->extra.size(); }

// The console messages, as bytes (the handheld's, or UTF-8 when the options
// asked for it); valid until qv_result_free.
const char* qv_result_console(const Result* result) { return result->console.data(); }
size_t qv_result_console_size(const Result* result) { return result->console.size(); }

// Releases a result from any entry point; null is ignored.
void qv_result_free(Result* result) { delete result; }

}  // extern "C"
