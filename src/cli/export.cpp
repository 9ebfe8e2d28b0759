// The export's driver: checks the file names, reads the database, and runs
// the export sequence with output files behind its sinks.
#include "cli/export.h"

#include <optional>
#include <string>
#include <string_view>

#include "cli/file_io.h"

namespace qv {
namespace {

// What the export writes, and how its messages name it.
struct ExportOutput {
  ExportFormat format;
  const char* fileKind;    // in "You need to specify an output (...) file"
  const char* converting;  // the message before the conversion starts
};
constexpr ExportOutput kCsvOutput{ExportFormat::kCsv, ".CSV", "Converting to .CSV..."};
constexpr ExportOutput kJsonOutput{ExportFormat::kJsonLines, "JSON Lines",
                                   "Converting to JSON Lines..."};
constexpr ExportOutput kSqliteOutput{ExportFormat::kSqlite, "SQLite", "Converting to SQLite..."};

// Refuses (Console::Refuse) outputs that would overwrite the database being
// read, or each other, before anything is opened for writing.
// The typed outputs write no popup file.
Status CheckDistinctFiles(const ConversionOptions& options, const ExportOutput& output,
                          Console& console) {
  if (SamePlace(options.csvFile, options.pdbFile)) {
    return console.Refuse(Format("The output file %s is the input file %s!",
                                 options.csvFile.c_str(), options.pdbFile.c_str()));
  }
  if (options.popupFile.empty() || output.format != ExportFormat::kCsv) return {};
  if (SamePlace(options.popupFile, options.pdbFile)) {
    return console.Refuse(Format("The popup file %s is the input file %s!",
                                 options.popupFile.c_str(), options.pdbFile.c_str()));
  }
  if (SamePlace(options.popupFile, options.csvFile)) {
    return console.Refuse(Format("The popup file %s is the output file %s!",
                                 options.popupFile.c_str(), options.csvFile.c_str()));
  }
  return {};
}

std::string AlreadyExistsMessage(const std::string& path) {
  return Format("File:%s already Exists!  Please specify to overwrite and try again.",
                path.c_str());
}

// The checks on the options, in their fixed order; the first that fails is
// refused (Console::Refuse).
Status CheckOptions(const ConversionOptions& options, const ExportOutput& output,
                    Console& console) {
  if (options.pdbFile.empty()) {
    return console.Refuse("You need to specify an input (.PDB) file to convert!");
  }
  if (options.csvFile.empty()) {
    return console.Refuse(
        Format("You need to specify an output (%s) file to create!", output.fileKind));
  }
  if (IsFolder(options.csvFile)) return console.Refuse(OutputIsFolderMessage(options.csvFile));
  if (FileExists(options.csvFile) && !options.overwrite) {
    return console.Refuse(AlreadyExistsMessage(options.csvFile));
  }
  return CheckDistinctFiles(options, output, console);
}

// An output file behind an export sink: the chunks go straight into the
// private file, so no more than a chunk of the output is ever held; nothing
// is at its name until Finish succeeds, and an export that ends without
// finishing it leaves whatever was there before.
class FileSink final : public OutputSink {
 public:
  FileSink(const std::string& path, bool replace) : path_(path), replace_(replace) {}

  Status Open() override {
    return file_.Open(path_, replace_, AlreadyExistsMessage(path_),
                      Format("Opening %s for writing!\n", path_.c_str()));
  }

  Status Write(std::string_view chunk) override { return file_.Write(chunk); }

  Status Finish() override { return file_.Finish({}); }

 private:
  const std::string& path_;
  const bool replace_;
  OutputFile file_;
};

// Reads the database and exports it: success when every step succeeded,
// otherwise the first failure (each was printed as it came).
Status ExportToFile(const ConversionOptions& options, ExportFormat format, Console& console) {
  const Result<std::optional<InputBytes>> file = ReadInput(options.pdbFile);
  if (!file) return console.Refuse(file.message());
  if (!*file) {
    return console.Refuse(Format("Cannot Open File: %s for reading", options.pdbFile.c_str()));
  }
  return ExportBytesToFile(AsBytes((*file)->view()), options, format, console);
}

int ConvertDatabase(const ConversionOptions& options, const ExportOutput& output,
                    Console& console) {
  if (!CheckOptions(options, output, console)) {
    console.PrintMessage("Conversion Cancelled!");
    return 1;
  }
  console.PrintProgress(output.converting);
  if (!ExportToFile(options, output.format, console)) {
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

Status ExportBytesToFile(ByteView file, const ConversionOptions& options, ExportFormat format,
                         Console& console) {
  // The popup file replaces an existing one without asking.
  FileSink output(options.csvFile, options.overwrite);
  FileSink popups(options.popupFile, true);
  return RunExport(file, options, format, output, popups, console).ok;
}

}  // namespace qv
