// Folder mode: lists the files below the input folder, plans each one's
// output name, then reads, identifies and converts (or describes) each file
// once on the ordered parallel runner, and sums up what became of them.
#include "cli/folder.h"

#include <algorithm>
#include <set>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/export.h"
#include "cli/file_io.h"
#include "cli/parallel.h"
#include "cli/platform.h"
#include "convert/export_core.h"
#include "pdb/database.h"
#include "pdb/format.h"
#include "pdb/identify.h"
#include "pdb/master_record.h"

namespace qv {
namespace {

// A file and what became of it, or why.
struct Entry {
  std::string path;  // as the messages show it: the input folder joined with the file
  std::string why;
};

// The two folders of a conversion.
struct FolderPair {
  std::string in;
  std::string out;
  bool outBelowIn = false;  // the output folder lies inside the input folder
};

// What one file of a conversion needs and what became of it. Each job
// writes only its own.
struct FileJob {
  std::string input;   // the path opened
  StoredFileId id;     // the file the listing found there
  std::string output;  // the path written
  std::string why;     // after the run, when skipped: what the file is
  enum { kFailed, kConverted, kSkipped } outcome = kFailed;
};

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// `relative` split before the extension of its last part (from its last
// dot, unless the name starts there): "a/b.pdb" gives "a/b" and ".pdb".
std::pair<std::string, std::string> SplitExtension(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = relative.rfind('.');
  if (dot == std::string::npos || dot <= start) return {relative, ""};
  return {relative.substr(0, dot), relative.substr(dot)};
}

// The output name of each of `files` (sorted): its name with `extension`
// instead of its own. Names that are the same ignoring ASCII letter case
// (as some systems do) would replace each other, so the first of them in
// path order keeps it and each later one is numbered, "Sales.PDB" and
// "Sales.pdb" giving "Sales.csv" and "Sales-2.csv", with the first number
// that no other output takes.
std::vector<std::string> PlanOutputNames(const std::vector<std::string>& files,
                                         const char* extension) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const std::string& file : files) {
    names.push_back(SplitExtension(file).first + extension);
    taken.insert(FoldCase(names.back()));
  }
  std::set<std::string> given;
  for (size_t i = 0; i < files.size(); ++i) {
    if (given.insert(FoldCase(names[i])).second) continue;
    const std::string stem = SplitExtension(files[i]).first;
    for (int number = 2;; ++number) {
      std::string name = Format("%s-%d%s", stem.c_str(), number, extension);
      if (taken.insert(FoldCase(name)).second) {
        names[i] = std::move(name);
        break;
      }
    }
  }
  return names;
}

// The first line of a message, for the summary.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// What the folder run prints at the end: the counts, then each file left out
// and why (not when quiet), then each failure and why.
void PrintSummary(size_t converted, std::vector<Entry> skipped, std::vector<Entry> failed,
                  Console& console) {
  const auto byPath = [](const Entry& a, const Entry& b) { return a.path < b.path; };
  std::sort(skipped.begin(), skipped.end(), byPath);
  std::sort(failed.begin(), failed.end(), byPath);
  if (!console.quiet()) {
    console.Write(Format("\nSummary: %zu converted, %zu skipped, %zu failed.\n", converted,
                         skipped.size(), failed.size()));
    if (!skipped.empty()) console.Write("Skipped:\n");
    for (const Entry& entry : skipped) {
      console.Write(Format("  %s: %s\n", entry.path.c_str(), entry.why.c_str()));
    }
  }
  if (!failed.empty()) console.Write("Failed:\n");
  for (const Entry& entry : failed) {
    console.Write(Format("  %s: %s\n", entry.path.c_str(), entry.why.c_str()));
  }
}

// The folder that `path` names a file in: "a/b.csv" gives "a", "/b.csv" "/".
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether writing `output` could replace a file of the input folder: it, or
// its nearest folder that exists, leads there through any link (the input
// folder below the output folder, a link in the output folder), other than
// into the output folder inside it, whose files are never inputs.
bool LandsInInput(const FolderPair& folders, const std::string& output) {
  std::string target = output;
  while (GetPathKind(target) == PathKind::kMissing && FolderOf(target) != target) {
    target = FolderOf(target);
  }
  return PathBelow(folders.in, target) &&
         !(folders.outBelowIn && PathBelow(folders.out, target));
}

// Converts one file: reads it once, identifies it and exports the same
// bytes. Success unless it failed, and then why.
Status ConvertOne(FileJob& job, const FolderPair& folders, ConversionOptions options,
                  ExportFormat format, Console& console) {
  const Result<std::string> bytes = ReadListedFile(job.input, job.id);
  if (!bytes) return bytes.failure();
  const FileIdentity identity = IdentifyFile(AsBytes(*bytes));
  if (identity.kind == FileKind::kDamagedQuorvexDatabase) return Failure{DescribeFile(identity)};
  if (identity.kind != FileKind::kQuorvexDatabase) {
    job.outcome = FileJob::kSkipped;
    job.why = DescribeFile(identity);
    return {};
  }
  if (!console.quiet()) {
    console.Write(Format("Converting %s to %s...\n", job.input.c_str(), job.output.c_str()));
  }
  if (LandsInInput(folders, job.output)) {
    return Failure{Format("its output %s would be inside the folder being converted",
                          job.output.c_str())};
  }
  if (const Status made = MakeFolders(FolderOf(job.output)); !made) {
    return Failure{Format("cannot create the folder of %s: %s", job.output.c_str(),
                          made.message().c_str())};
  }
  options.pdbFile = job.input;
  options.csvFile = job.output;
  if (!ExportBytesToFile(AsBytes(*bytes), options, format, console)) {
    return Failure{FirstLine(console.firstError())};
  }
  job.outcome = FileJob::kConverted;
  return {};
}

// One line saying what the file is; for a Quorvex database, its name, data
// rows and fields. Fails, saying why, when the file could not be read.
Status DescribeOne(const std::string& path, const StoredFileId& id, Console& console) {
  const Result<std::string> bytes = ReadListedFile(path, id);
  if (!bytes) {
    console.Write(Format("%s: %s\n", path.c_str(), bytes.message().c_str()));
    return bytes.failure();
  }
  const ByteView file = AsBytes(*bytes);
  const FileIdentity identity = IdentifyFile(file);
  std::string line = DescribeFile(identity);
  const Result<DatabaseHeader> header =
      identity.kind == FileKind::kQuorvexDatabase ? ReadDatabaseHeader(file)
                                                   : Result<DatabaseHeader>(Failure{""});
  const Result<MasterRecord> master =
      header ? ReadMasterRecord(file, *header) : Result<MasterRecord>(Failure{""});
  if (master) {
    const unsigned rows = header->recordCount > kFirstDataRecord
                              ? header->recordCount - static_cast<unsigned>(kFirstDataRecord)
                              : 0;
    const size_t fields = GetVisibleSlots(*master).size();
    line = Format("a Quorvex database \"%s\": %u data row%s, %zu field%s",
                  EscapeForDisplay(identity.name).c_str(), rows, rows == 1 ? "" : "s", fields,
                  fields == 1 ? "" : "s");
  }
  console.Write(Format("%s: %s\n", path.c_str(), line.c_str()));
  return {};
}

// Success, or the refusal of an option that does not go with a folder.
Status RefuseFolderOptions(const ParsedCommandLine& parsed) {
  const ConversionOptions& options = parsed.options;
  if (parsed.command == Command::kInfo) {
    if (options.schemaFile.empty()) return {};
    return Failure{"OUTFILE: COMMAND:INFO on a folder prints one line per file and writes no "
                   "file; leave out OUTFILE"};
  }
  if (IsStandardStream(options.csvFile)) {
    return Failure{
        "OUTFILE:{-}: a folder converts into a folder of files, not a stream; name a folder"};
  }
  if (!options.popupFile.empty()) {
    return Failure{"POPUPS: each database of a folder has popup lists of its own; convert one "
                   "database to write them"};
  }
  return {};
}

int DescribeFolder(const std::string& folder, unsigned threads, Console& console) {
  const FolderListing listing = ListFilesBelow(folder);
  const std::vector<JobOutcome> outcomes = RunOrdered(
      listing.files.size(), threads,
      [&](size_t i, Console& own) {
        return DescribeOne(JoinPath(folder, listing.files[i]), listing.ids[i], own);
      },
      [&](size_t, const std::string& text) { console.Write(text); });
  bool ok = listing.errors.empty();
  for (const JobOutcome& outcome : outcomes) ok = ok && outcome.ok();
  for (const FolderProblem& link : listing.skippedLinks) {
    console.Write(Format("%s: %s, not followed\n", JoinPath(folder, link.path).c_str(),
                         link.reason.c_str()));
  }
  for (const FolderProblem& error : listing.errors) {
    console.Write(Format("%s: cannot be read: %s\n", JoinPath(folder, error.path).c_str(),
                         error.reason.c_str()));
  }
  return ok ? 0 : 1;
}

// Makes the output folder and decides which listed files are inputs: none of
// those inside the output folder, when it lies in the input folder. Fills
// `jobs`; a failure says why the run cannot start.
Status PlanConversion(const ConversionOptions& options, const char* extension,
                      FolderPair& folders, std::vector<FileJob>& jobs,
                      std::vector<Entry>& failed, std::vector<Entry>& skipped) {
  const std::string& in = options.pdbFile;
  const std::string& out = options.csvFile;
  folders.in = in;
  folders.out = out;
  if (out.empty()) return Failure{"You need to specify an output folder to create!"};
  const PathKind kind = GetPathKind(out);
  if (kind != PathKind::kFolder && kind != PathKind::kMissing) {
    return Failure{Format("File:%s is not a Folder!  Please specify a folder for the outputs.",
                          out.c_str())};
  }
  if (const Status made = MakeFolders(out); !made) {
    return Failure{Format("Cannot create the folder %s: %s", out.c_str(), made.message().c_str())};
  }
  const std::optional<std::string> outInside = PathBelow(in, out);
  if (outInside && outInside->empty()) {
    return Failure{Format("The output folder %s is the input folder %s!", out.c_str(), in.c_str())};
  }
  folders.outBelowIn = outInside.has_value();
  FolderListing listing = ListFilesBelow(in);
  std::vector<std::string> files;
  std::vector<StoredFileId> ids;
  for (size_t i = 0; i < listing.files.size(); ++i) {
    std::string& file = listing.files[i];
    if (outInside && file.compare(0, outInside->size() + 1, *outInside + "/") == 0) continue;
    files.push_back(std::move(file));
    ids.push_back(listing.ids[i]);
  }
  const std::vector<std::string> names = PlanOutputNames(files, extension);
  for (size_t i = 0; i < files.size(); ++i) {
    FileJob job;
    job.input = JoinPath(in, files[i]);
    job.id = ids[i];
    job.output = JoinPath(out, names[i]);
    jobs.push_back(std::move(job));
  }
  for (const FolderProblem& link : listing.skippedLinks) {
    skipped.push_back({JoinPath(in, link.path), Format("%s, not followed", link.reason.c_str())});
  }
  for (const FolderProblem& problem : listing.errors) {
    failed.push_back(
        {JoinPath(in, problem.path), Format("cannot be read: %s", problem.reason.c_str())});
  }
  return {};
}

int ConvertFolder(const ParsedCommandLine& parsed, unsigned threads, Console& console) {
  const char* extension = ".sqlite";
  ExportFormat format = ExportFormat::kSqlite;
  if (parsed.command == Command::kToCsv) {
    extension = ".csv";
    format = ExportFormat::kCsv;
  } else if (parsed.command == Command::kToJson) {
    extension = ".jsonl";
    format = ExportFormat::kJsonLines;
  }
  FolderPair folders;
  std::vector<FileJob> jobs;
  std::vector<Entry> failed;
  std::vector<Entry> skipped;
  const Status planned = PlanConversion(parsed.options, extension, folders, jobs, failed, skipped);
  if (!planned) {
    console.PrintError(planned.message());
    console.PrintMessage("Conversion Cancelled!");
    return 1;
  }
  const std::vector<JobOutcome> outcomes = RunOrdered(
      jobs.size(), threads,
      [&](size_t i, Console& own) {
        own.SetQuiet(console.quiet());
        return ConvertOne(jobs[i], folders, parsed.options, format, own);
      },
      [&](size_t, const std::string& text) { console.Write(text); });
  size_t converted = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const FileJob& job = jobs[i];
    if (!outcomes[i].ok()) {
      failed.push_back({job.input, outcomes[i].message()});
    } else if (job.outcome == FileJob::kSkipped) {
      skipped.push_back({job.input, job.why});
    } else {
      ++converted;
    }
  }
  const bool ok = failed.empty();
  PrintSummary(converted, std::move(skipped), std::move(failed), console);
  return ok ? 0 : 1;
}

}  // namespace

bool IsFolderRun(const ParsedCommandLine& parsed) {
  switch (parsed.command) {
    case Command::kToCsv:
    case Command::kToJson:
    case Command::kToSqlite:
    case Command::kInfo:
      return !IsStandardStream(parsed.options.pdbFile) &&
             GetPathKind(parsed.options.pdbFile) == PathKind::kFolder;
    case Command::kToPdb:
    case Command::kNone:
      break;
  }
  return false;
}

int RunFolder(const ParsedCommandLine& parsed, Console& console) {
  if (const Status accepted = RefuseFolderOptions(parsed); !accepted) {
    console.PrintError(accepted.message());
    return 2;
  }
  // Each output is flushed to the disk before it is put in place, and a
  // thread waiting for that leaves its core idle: four threads per core keep
  // the cores busy (two left a tenth of the time idle; see bench/run).
  const unsigned threads =
      parsed.threads > 0 ? parsed.threads : 4 * ResolveThreadCount(0);
  if (parsed.command == Command::kInfo) {
    return DescribeFolder(parsed.options.pdbFile, threads, console);
  }
  return ConvertFolder(parsed, threads, console);
}

}  // namespace qv
