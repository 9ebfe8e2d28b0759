// The export, sequenced once: database bytes in; CSV, JSON Lines or SQLite
// bytes out through an output sink, the popup file through another, and
// console messages. The program's driver (cli/export.cpp) gives it sinks
// over output files; tests, fuzz targets and the browser binding give it
// sinks in memory, so all of them run the same steps in the same order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/cells.h"
#include "convert/console.h"
#include "convert/conversion_options.h"
#include "pdb/byte_io.h"
#include "pdb/database.h"
#include "pdb/master_record.h"
#include "pdb/result.h"

namespace qv {

// A database that passed the checks before anything is written.
struct ExportDatabase {
  ByteView file;
  DatabaseHeader header;
  MasterRecord master;
};

// What the bytes of `file` say it is, as a line (its end included) for the
// refusal of a file that is not a sound Quorvex database: "This is a
// Palm database of another application: ...". Empty for a sound one.
std::string IdentityNote(ByteView file);

// Reads the header and the MasterRecord of `file` and applies the database's
// export permission and password against `options.givenPassword`. When the
// export must not go on, refuses (Console::Refuse) with the reason; for a
// file that is not a sound Quorvex database (a resource file never is) the
// reason ends with IdentityNote.
Result<ExportDatabase> LoadDatabaseForExport(ByteView file, const ConversionOptions& options,
                                             Console& console);

// The slots that become columns, in column order: those whose type is not 0.
std::vector<int> GetVisibleSlots(const MasterRecord& master);

// Decodes each data record (31 onward) into the cells of `slots` and hands
// the row to `write`, in record order. A record that cannot be read is
// refused (Console::Refuse) and skipped; the result is then the first such
// refusal. Prints the EXTRADIAG messages of each record when
// `options.extraDiag` is set.
Status ForEachDataRow(const ExportDatabase& database, std::span<const int> slots,
                    const ConversionOptions& options, Console& console,
                    const std::function<void(CellRow)>& write);

// The text of the CSV side from handheld bytes: unchanged without an
// encoding, otherwise UTF-8, after a byte-order mark for kUtf8Bom. Applied
// to whole texts (the popup file, INFO's schema), after the quoting and the
// separators were laid down on bytes.
std::string EncodeCsvText(std::string text, CsvEncoding encoding);

// What an export writes.
enum class ExportFormat { kCsv, kJsonLines, kSqlite };

// Where an export's bytes go. The export calls Open once; after it
// succeeded, Write any number of times and then Finish, unless a step
// failed (the export then stops calling). An output whose Finish was not
// called, or failed, must be left as if it had never been opened; that is
// the sink's task. A failure's message is printed to the console as it
// stands, so it names the output in the user's words.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual Status Open() = 0;
  virtual Status Write(std::string_view chunk) = 0;
  virtual Status Finish() = 0;
};

// An output collected in memory; it never fails.
class StringSink final : public OutputSink {
 public:
  Status Open() override { return {}; }
  Status Write(std::string_view chunk) override {
    text.append(chunk);
    return {};
  }
  Status Finish() override { return {}; }
  std::string text;
};

// How much rendered text the export gathers before it hands a chunk to the
// output sink: enough that the writes cost little, small enough that the
// memory in use does not grow with the database.
inline constexpr size_t kOutputChunkBytes = size_t{1} << 20;

// How an export ended: `loaded` succeeds when the database passed the
// checks, or is their refusal; `ok` succeeds when moreover every record was
// read and every output written, or is the first failure (the refusal
// included). Every failure was printed to the console as it came.
struct ExportOutcome {
  Status loaded;
  Status ok;
};

// The export of one database, every step in its order:
//  1. load `file` and apply its permission and password (the reasons are
//     printed, nothing is opened when they fail);
//  2. open `output`: this is where its open failure is reported;
//  3. for CSV only, and only when `options.popupFile` is set, write the
//     popup file to `popups` (it replaces an existing file; not being able
//     to open it only costs the popup file, "Could not open Popup File!!",
//     while a failed write fails the export);
//  4. render the rows (and, for CSV, the field-name line first), handing
//     them to `output` in chunks of about `chunkBytes` in
//     `options.encoding` (CSV) or UTF-8 (JSON Lines); SQLite is built
//     whole and written as one chunk, or, when SQLite itself failed, not
//     at all and `output` is left unfinished;
//  5. finish `output`. A record that could not be read is reported and
//     skipped, and the output still holds every other row.
// A failed write stops the writing; its message is printed after the
// rows' messages, as a failure to finish would be.
ExportOutcome RunExport(ByteView file, const ConversionOptions& options, ExportFormat format,
                        OutputSink& output, OutputSink& popups, Console& console,
                        size_t chunkBytes = kOutputChunkBytes);

// The whole export of one database held in memory (RunExport into string
// sinks), for tests, fuzzing and the browser: `loaded` and `ok` as in
// ExportOutcome. `csv` holds the output
// (CSV, JSON Lines or a SQLite file's bytes); `popups` is filled only for
// CSV with `options.popupFile` set. Texts are in `options.encoding`.
struct ExportResult {
  Status loaded;
  Status ok;
  std::string csv;
  std::string popups;
};
ExportResult ExportToMemory(ByteView file, const ConversionOptions& options, ExportFormat format,
                            Console& console);
// ExportToMemory as CSV.
ExportResult ExportToCsvText(ByteView file, const ConversionOptions& options, Console& console);

}  // namespace qv
