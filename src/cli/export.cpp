#include "cli/export.h"

#include <optional>
#include <string>

#include "convert/export_core.h"
#include "convert/json_export.h"
#include "convert/sqlite_export.h"
#include "cli/file_io.h"

namespace qv {
namespace {

// What the export writes, and how its messages name it.
struct ExportOutput {
  enum Kind { kCsv, kJsonLines, kSqlite } kind;
  const char* fileKind;    // in "You need to specify an output (...) file"
  const char* converting;  // the message before the conversion starts
};
constexpr ExportOutput kCsvOutput{ExportOutput::kCsv, ".CSV", "Converting to .CSV..."};
constexpr ExportOutput kJsonOutput{ExportOutput::kJsonLines, "JSON Lines",
                                   "Converting to JSON Lines..."};
constexpr ExportOutput kSqliteOutput{ExportOutput::kSqlite, "SQLite", "Converting to SQLite..."};

// Refuses outputs that would overwrite the database being read, or each
// other, before anything is opened for writing.
// The typed outputs write no popup file.
bool CheckDistinctFiles(const ConversionOptions& options, const ExportOutput& output,
                        Console& console) {
  if (SamePlace(options.csvFile, options.pdbFile)) {
    console.PrintError(Format("The output file %s is the input file %s!", options.csvFile.c_str(),
                              options.pdbFile.c_str()));
    return false;
  }
  if (options.popupFile.empty() || output.kind != ExportOutput::kCsv) return true;
  if (SamePlace(options.popupFile, options.pdbFile)) {
    console.PrintError(Format("The popup file %s is the input file %s!",
                              options.popupFile.c_str(), options.pdbFile.c_str()));
    return false;
  }
  if (SamePlace(options.popupFile, options.csvFile)) {
    console.PrintError(Format("The popup file %s is the output file %s!",
                              options.popupFile.c_str(), options.csvFile.c_str()));
    return false;
  }
  return true;
}

std::string AlreadyExistsMessage(const std::string& path) {
  return Format("File:%s already Exists!  Please specify to overwrite and try again.",
                path.c_str());
}

bool CheckOptions(const ConversionOptions& options, const ExportOutput& output,
                  Console& console) {
  if (options.pdbFile.empty()) {
    console.PrintError("You need to specify an input (.PDB) file to convert!");
    return false;
  }
  if (options.csvFile.empty()) {
    console.PrintError(
        Format("You need to specify an output (%s) file to create!", output.fileKind));
    return false;
  }
  if (IsFolder(options.csvFile)) {
    console.PrintError(OutputIsFolderMessage(options.csvFile));
    return false;
  }
  if (FileExists(options.csvFile) && !options.overwrite) {
    console.PrintError(AlreadyExistsMessage(options.csvFile));
    return false;
  }
  return CheckDistinctFiles(options, output, console);
}

// Writes the popup file, which replaces an existing one without asking. Not
// being able to create it only costs the popup file; a failed write of a
// file that was created fails the export.
bool WritePopupFile(const ExportDatabase& database, const ConversionOptions& options,
                    Console& console) {
  OutputFile file;
  std::string error;
  if (file.Open(options.popupFile, true, error) != OutputStatus::kDone) {
    console.PrintError("Could not open Popup File!!");
    return true;
  }
  const std::string popups = EncodeCsvText(RenderPopupFile(database, options), options.encoding);
  if (file.Finish(popups, error) != OutputStatus::kDone) {
    console.PrintError(error);
    return false;
  }
  return true;
}

// The rows as the typed output asks, into `contents`: false when a record
// could not be read (the others are there) or when SQLite failed (then
// `contents` is empty and nothing may be written).
bool RenderTypedOutput(const ExportDatabase& database, const ConversionOptions& options,
                       const ExportOutput& output, std::string& contents, Console& console) {
  if (output.kind == ExportOutput::kJsonLines) {
    return AppendJsonLines(database, options, contents, console);
  }
  return RenderSqliteDatabase(database, options, options.pdbFile, contents, console);
}

// The export proper: true when every step succeeded. The output is opened at
// the point where its open failure is reported and put in place at the end,
// holding every row that could be read; the popup file is complete before
// the rows are rendered.
bool ExportToFile(const ConversionOptions& options, const ExportOutput& kind, Console& console) {
  bool tooLarge = false;
  const std::optional<InputBytes> file = ReadInput(options.pdbFile, tooLarge);
  if (!file) {
    console.PrintError(tooLarge ? TooLargeMessage(options.pdbFile)
                                : Format("Cannot Open File: %s for reading",
                                         options.pdbFile.c_str()));
    return false;
  }
  ExportDatabase database;
  if (!LoadDatabaseForExport(AsBytes(file->view()), options, database, console)) return false;

  OutputFile output;
  std::string error;
  const OutputStatus opened = output.Open(options.csvFile, options.overwrite, error);
  if (opened == OutputStatus::kAlreadyExists) {
    console.PrintError(AlreadyExistsMessage(options.csvFile));
    return false;
  }
  if (opened != OutputStatus::kDone) {
    console.PrintError(Format("Opening %s for writing!\n", options.csvFile.c_str()));
    return false;
  }
  std::string contents;
  bool ok = true;
  if (kind.kind == ExportOutput::kCsv) {
    if (options.fieldNames) AppendFieldNameLine(database.master, options, contents);
    if (!options.popupFile.empty()) ok = WritePopupFile(database, options, console);
    if (!AppendDataRows(database, options, contents, console)) ok = false;
    contents = EncodeCsvText(std::move(contents), options.encoding);
  } else {
    ok = RenderTypedOutput(database, options, kind, contents, console);
    // A SQLite file that failed is not written at all.
    if (contents.empty() && kind.kind == ExportOutput::kSqlite) return false;
  }
  const OutputStatus written = output.Finish(contents, error);
  if (written == OutputStatus::kAlreadyExists) {
    console.PrintError(AlreadyExistsMessage(options.csvFile));
    ok = false;
  } else if (written != OutputStatus::kDone) {
    console.PrintError(error);
    ok = false;
  }
  return ok;
}

int ConvertDatabase(const ConversionOptions& options, const ExportOutput& output,
                    Console& console) {
  if (!CheckOptions(options, output, console)) {
    console.PrintMessage("Conversion Cancelled!");
    return 1;
  }
  console.PrintProgress(output.converting);
  if (!ExportToFile(options, output, console)) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  console.PrintProgress("Conversion Successful!");
  return 0;
}

}  // namespace

int ConvertToCsv(const ConversionOptions& options, Console& console) {
  return ConvertDatabase(options, kCsvOutput, console);
}

int ConvertToJson(const ConversionOptions& options, Console& console) {
  return ConvertDatabase(options, kJsonOutput, console);
}

int ConvertToSqlite(const ConversionOptions& options, Console& console) {
  return ConvertDatabase(options, kSqliteOutput, console);
}

}  // namespace qv
