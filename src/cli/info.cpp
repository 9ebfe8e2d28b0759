#include "cli/info.h"

#include <optional>
#include <string>

#include "cli/file_io.h"
#include "convert/info_core.h"

namespace qv {
namespace {

std::string AlreadyExistsMessage(const std::string& path) {
  return Format("File:%s already Exists!  Please specify to overwrite and try again.",
                path.c_str());
}

// The export's checks, for the schema file that INFO writes.
bool CheckOptions(const ConversionOptions& options, Console& console) {
  if (options.pdbFile.empty()) {
    console.PrintError("You need to specify an input (.PDB) file to convert!");
    return false;
  }
  if (options.schemaFile.empty()) return true;
  if (IsFolder(options.schemaFile)) {
    console.PrintError(OutputIsFolderMessage(options.schemaFile));
    return false;
  }
  if (FileExists(options.schemaFile) && !options.overwrite) {
    console.PrintError(AlreadyExistsMessage(options.schemaFile));
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
  const Result<std::optional<std::string>> file = ReadWholeFile(options.pdbFile);
  if (!file) {
    console.PrintError(file.message());
    return false;
  }
  if (!*file) {
    console.PrintError(Format("Cannot Open File: %s for reading", options.pdbFile.c_str()));
    return false;
  }
  const DatabaseDescription description = DescribeDatabaseText(AsBytes(**file), options, console);
  if (!description.loaded) return false;
  console.Write(description.text);
  if (options.schemaFile.empty()) return true;
  const Status written = WriteOutputFile(options.schemaFile, description.schema, options.overwrite,
                                         AlreadyExistsMessage(options.schemaFile));
  if (written) return true;
  console.PrintError(written.message());
  return false;
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
