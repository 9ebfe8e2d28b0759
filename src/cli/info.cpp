#include "cli/info.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "cli/file_io.h"
#include "cli/info_core.h"

namespace qv {
namespace {

// Same file when both exist and are one inode, or when the output does not
// exist yet but names the same place.
bool SamePlace(const std::string& a, const std::string& b) {
  if (SameFile(a, b)) return true;
  std::error_code errorA;
  std::error_code errorB;
  const std::filesystem::path pathA = std::filesystem::weakly_canonical(a, errorA);
  const std::filesystem::path pathB = std::filesystem::weakly_canonical(b, errorB);
  return !errorA && !errorB && pathA == pathB;
}

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
  const std::optional<std::string> file = ReadWholeFile(options.pdbFile);
  if (!file) {
    console.PrintError(Format("Cannot Open File: %s for reading", options.pdbFile.c_str()));
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
