#include "cli/info.h"

#include <optional>
#include <string>

#include "cli/file_io.h"
#include "cli/info_core.h"

namespace qv {
namespace {

bool CheckOptions(const ConversionOptions& options, Console& console) {
  if (options.pdbFile.empty()) {
    console.PrintError("You need to specify an input (.PDB) file to convert!");
    return false;
  }
  if (options.schemaFile.empty()) return true;
  if (FileExists(options.schemaFile) && !options.overwrite) {
    console.PrintError(
        Format("File:%s already Exists!  Please specify to overwrite and try again.",
               options.schemaFile.c_str()));
    return false;
  }
  if (SamePlace(options.schemaFile, options.pdbFile)) {
    console.PrintError(Format("The output file %s is the input file %s!",
                              options.schemaFile.c_str(), options.pdbFile.c_str()));
    return false;
  }
  return true;
}

bool Describe(const ConversionOptions& options, Console& console) {
  bool tooLarge = false;
  const std::optional<std::string> file = ReadWholeFile(options.pdbFile, tooLarge);
  if (!file) {
    console.PrintError(tooLarge ? TooLargeMessage(options.pdbFile)
                                : Format("Cannot Open File: %s for reading",
                                         options.pdbFile.c_str()));
    return false;
  }
  const DatabaseDescription description = DescribeDatabaseText(AsBytes(*file), options, console);
  if (!description.loaded) return false;
  console.Write(description.text);
  if (options.schemaFile.empty()) return true;
  std::string error;
  if (!WriteWholeFile(options.schemaFile, description.schema, error)) {
    console.PrintError(error);
    return false;
  }
  return true;
}

}  // namespace

int DescribeDatabase(const ConversionOptions& options, Console& console) {
  if (!CheckOptions(options, console)) {
    console.PrintMessage("Conversion Cancelled!");
    return 1;
  }
  if (!Describe(options, console)) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  return 0;
}

}  // namespace qv
