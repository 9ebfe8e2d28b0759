#include "cli/import.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "cli/database_time.h"
#include "cli/file_io.h"
#include "convert/import_core.h"
#include "fields/text_utils.h"

namespace qv {

namespace {

constexpr const char* kSameAsExisting =
    "The Database (.PDB) file you specified for output cannot be the same file as the .PDB file "
    "you specified for field information. You will need to choose a different output .PDB file!";
constexpr const char* kOutputExists =
    "The Database (.PDB) file you specified for output already exists.  Please specify a "
    "different file, or use the OVERWRITE switch.";

// The checks on the names, in their fixed order; the first that fails is the
// only one reported, its message the refusal.
Status CheckOptions(const ConversionOptions& options) {
  if (options.csvFile.empty()) {
    return Failure{"You need to specify an input (.CSV) file to convert!"};
  }
  if (options.pdbFile.empty()) {
    return Failure{"You need to specify an output (.PDB) file to create!"};
  }
  if (Status checked = CheckImportOptions(options); !checked) return checked;
  if (options.useExisting) {
    if (options.existingFile.empty()) {
      return Failure{
          "You need to specify a Database (.PDB) file to use for the field information!"};
    }
    if (!FileExists(options.existingFile)) {
      return Failure{
          "The Database (.PDB) file you specified to use for the field information does not "
          "exist. You need to choose a valid .PDB file!"};
    }
    if (EqualsNoCase(options.existingFile, options.pdbFile)) return Failure{kSameAsExisting};
  }
  if (IsFolder(options.pdbFile)) return Failure{OutputIsFolderMessage(options.pdbFile)};
  if (FileExists(options.pdbFile) && !options.overwrite) return Failure{kOutputExists};
  // One file named twice under different spellings: the output would destroy
  // an input while it is read, and two inputs in one are a mistake.
  if (options.useExisting && SamePlace(options.existingFile, options.pdbFile)) {
    return Failure{kSameAsExisting};
  }
  if (SamePlace(options.csvFile, options.pdbFile)) {
    return Failure{
        "The Database (.PDB) file you specified for output is the same file as the input "
        "(.CSV) file. You will need to choose a different output .PDB file!"};
  }
  if (SamePlace(options.schemaFile, options.pdbFile)) {
    return Failure{
        "The Database (.PDB) file you specified for output is the same file as the schema "
        "file. You will need to choose a different output .PDB file!"};
  }
  if (options.useExisting && SamePlace(options.existingFile, options.csvFile)) {
    return Failure{
        "The Database (.PDB) file you specified for field information is the same file as the "
        "input (.CSV) file. You will need to choose a different .PDB file!"};
  }
  if (SamePlace(options.schemaFile, options.csvFile)) {
    return Failure{
        "The schema file you specified is the same file as the input (.CSV) file. You will "
        "need to choose a different schema file!"};
  }
  return {};
}

// The output file, opened where the import says. A private file is written
// as the chunks come and its front written last, in its place; standard
// output, a device or a pipe cannot be written back into, so their bytes
// are held until the end.
class FileOutput : public ImportOutput {
 public:
  explicit FileOutput(const ConversionOptions& options) : options_(options) {}

  // A file that appeared meanwhile is refused as one that was there before.
  Status Open() override {
    return output_.Open(options_.pdbFile, options_.overwrite, kOutputExists,
                        Format("Couldn't open %s file for writing", options_.pdbFile.c_str()));
  }

  Status Write(ByteView chunk) override {
    if (!output_.CanWriteAt()) return held_.Write(chunk);
    return output_.Write(AsText(chunk));
  }

  Status Finish(ByteView front) override {
    if (!output_.CanWriteAt()) {
      (void)held_.Finish(front);
      return output_.Finish(AsText(held_.bytes()));
    }
    if (Status written = output_.WriteAt(0, AsText(front)); !written) return written;
    return output_.Finish({});
  }

 private:
  const ConversionOptions& options_;
  OutputFile output_;
  HeldDatabase held_;  // for outputs that cannot be written back into
};

// Reads the inputs and runs the import into the output file; every
// refusal is printed (Console::Refuse).
Status ReadInputsAndImport(const ConversionOptions& options, Console& console) {
  const Result<uint32_t> time =
      NewDatabaseTime(std::getenv("SOURCE_DATE_EPOCH"), std::time(nullptr));
  if (!time) return console.Refuse(time.message());
  const Result<std::optional<InputBytes>> csv = ReadInput(options.csvFile);
  if (!csv) return console.Refuse(csv.message());
  if (!*csv) {
    return console.Refuse(Format("Opening File: %s for Reading\n", options.csvFile.c_str()));
  }
  ImportSource source;
  source.csvText = (*csv)->view();
  source.useExisting = options.useExisting;
  source.databaseTime = *time;
  // Only the header, record list and definition records of the existing
  // database are read. One that cannot be read is refused by the import.
  const Result<std::optional<InputBytes>> existing =
      options.useExisting ? ReadInput(options.existingFile, kLargestInput, false)
                          : std::optional<InputBytes>();
  if (options.useExisting) {
    if (!existing) return console.Refuse(existing.message());
    if (*existing) source.existing = AsBytes((*existing)->view());
  }

  const Result<std::optional<std::string>> schema =
      options.schemaFile.empty() ? std::optional<std::string>() : ReadWholeFile(options.schemaFile);
  if (!options.schemaFile.empty()) {
    if (!schema) return console.Refuse(schema.message());
    if (!*schema) {
      return console.Refuse(Format("Opening File: %s for Reading\n", options.schemaFile.c_str()));
    }
    source.schemaText = **schema;
    source.schemaName = options.schemaFile;
  }

  FileOutput output(options);
  return RunImport(source, options, output, console);
}

}  // namespace

int ConvertToPdb(const ConversionOptions& options, Console& console) {
  if (const Status checked = CheckOptions(options); !checked) {
    console.PrintError(checked.message());
    return 1;
  }
  console.PrintProgress("Converting to .PDB...");
  if (!ReadInputsAndImport(options, console)) {
    console.PrintMessage("ERROR:In Conversion!");
    return 1;
  }
  console.PrintProgress("Conversion Successful!");
  return 0;
}

}  // namespace qv
