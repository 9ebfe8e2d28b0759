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

// The export's checks, for the schema file that INFO writes; the first that
// fails is refused (Console::Refuse).
Status CheckOptions(const ConversionOptions& options, Console& console) {
  if (options.pdbFile.empty()) {
    return console.Refuse("You need to specify an input (.PDB) file to convert!");
  }
  if (options.schemaFile.empty()) return {};
  if (IsFolder(options.schemaFile))
    return console.Refuse(OutputIsFolderMessage(options.schemaFile));
  if (FileExists(options.schemaFile) && !options.overwrite) {
    return console.Refuse(AlreadyExistsMessage(options.schemaFile));
  }
  if (SamePlace(options.schemaFile, options.pdbFile)) {
    return console.Refuse(Format("The output file %s is the input file %s!",
                                 options.schemaFile.c_str(), options.pdbFile.c_str()));
  }
  return {};
}

// Reads the database, prints its description and writes the schema file;
// every refusal is printed.
Status Describe(const ConversionOptions& options, Console& console) {
  const Result<std::optional<std::string>> file = ReadWholeFile(options.pdbFile);
  if (!file) return console.Refuse(file.message());
  if (!*file) {
    return console.Refuse(Format("Cannot Open File: %s for reading", options.pdbFile.c_str()));
  }
  const DatabaseDescription description = DescribeDatabaseText(AsBytes(**file), options, console);
  if (!description.loaded) return description.loaded;
  console.Write(description.text);
  if (options.schemaFile.empty()) return {};
  const Status written = WriteOutputFile(options.schemaFile, description.schema, options.overwrite,
                                         AlreadyExistsMessage(options.schemaFile));
  if (written) return {};
  return console.Refuse(written.message());
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
