#include "cli/export.h"

#include <optional>
#include <string>

#include "cli/export_core.h"
#include "cli/file_io.h"

namespace qv {
namespace {

// Refuses outputs that would overwrite the database being read, or each
// other, before anything is opened for writing.
bool CheckDistinctFiles(const ConversionOptions& options, Console& console) {
  if (SamePlace(options.csvFile, options.pdbFile)) {
    console.PrintError(Format("The output file %s is the input file %s!", options.csvFile.c_str(),
                              options.pdbFile.c_str()));
    return false;
  }
  if (options.popupFile.empty()) return true;
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

bool CheckOptions(const ConversionOptions& options, Console& console) {
  if (options.pdbFile.empty()) {
    console.PrintError("You need to specify an input (.PDB) file to convert!");
    return false;
  }
  if (options.csvFile.empty()) {
    console.PrintError("You need to specify an output (.CSV) file to create!");
    return false;
  }
  if (FileExists(options.csvFile) && !options.overwrite) {
    console.PrintError(
        Format("File:%s already Exists!  Please specify to overwrite and try again.",
               options.csvFile.c_str()));
    return false;
  }
  return CheckDistinctFiles(options, console);
}

// Writes the popup file. Not being able to create it only costs the popup
// file; a failed write of a file that was created fails the export.
bool WritePopupFile(const ExportDatabase& database, const ConversionOptions& options,
                    Console& console) {
  std::string error;
  if (!WriteWholeFile(options.popupFile, "", error)) {
    console.PrintError("Could not open Popup File!!");
    return true;
  }
  const std::string popups = EncodeCsvText(RenderPopupFile(database, options), options.encoding);
  if (!WriteWholeFile(options.popupFile, popups, error)) {
    console.PrintError(error);
    return false;
  }
  return true;
}

// The export proper: true when every step succeeded. The outputs are
// created at the points where their open failures are reported, and the
// assembled text is written at the end.
bool ExportToCsv(const ConversionOptions& options, Console& console) {
  bool tooLarge = false;
  const std::optional<std::string> file = ReadWholeFile(options.pdbFile, tooLarge);
  if (!file) {
    console.PrintError(tooLarge ? TooLargeMessage(options.pdbFile)
                                : Format("Cannot Open File: %s for reading",
                                         options.pdbFile.c_str()));
    return false;
  }
  ExportDatabase database;
  if (!LoadDatabaseForExport(AsBytes(*file), options, database, console)) return false;

  std::string error;
  if (!WriteWholeFile(options.csvFile, "", error)) {
    console.PrintError(Format("Opening %s for writing!\n", options.csvFile.c_str()));
    return false;
  }
  std::string csv;
  if (options.fieldNames) AppendFieldNameLine(database.master, options, csv);
  bool ok = true;
  if (!options.popupFile.empty()) ok = WritePopupFile(database, options, console);
  if (!AppendDataRows(database, options, csv, console)) ok = false;
  if (!WriteWholeFile(options.csvFile, EncodeCsvText(std::move(csv), options.encoding), error)) {
    console.PrintError(error);
    ok = false;
  }
  return ok;
}

}  // namespace

int ConvertToCsv(const ConversionOptions& options, Console& console) {
  if (!CheckOptions(options, console)) {
    console.PrintMessage("Conversion Cancelled!");
    return 1;
  }
  console.PrintMessage("Converting to .CSV...");
  if (!ExportToCsv(options, console)) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  console.PrintMessage("Conversion Successful!");
  return 0;
}

}  // namespace qv
