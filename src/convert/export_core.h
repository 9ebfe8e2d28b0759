// The export without the disk: database bytes in, CSV text, popup-file text
// and console messages out. The driver (export.cpp) opens and writes the
// files between these steps, so that its messages keep their order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "convert/cells.h"
#include "convert/console.h"
#include "convert/conversion_options.h"
#include "pdb/byte_io.h"
#include "pdb/database.h"
#include "pdb/master_record.h"

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
// export permission and password against `options.givenPassword`. Prints the
// reason and returns false when the export must not go on; for a file that
// is not a sound Quorvex database (a resource file never is) the reason ends
// with IdentityNote.
bool LoadDatabaseForExport(ByteView file, const ConversionOptions& options, ExportDatabase& out,
                           Console& console);

// The shape of a conversion held in memory: a `Result` whose `loaded`
// member tells whether `file` passed LoadDatabaseForExport; when it did,
// `convert(database, result)` fills in the rest.
template <typename Result, typename Convert>
Result ConvertLoadedDatabase(ByteView file, const ConversionOptions& options, Console& console,
                             Convert convert) {
  Result result;
  ExportDatabase database;
  if (!LoadDatabaseForExport(file, options, database, console)) return result;
  result.loaded = true;
  convert(database, result);
  return result;
}

// The field-name line, line feed included: one name per visible column.
void AppendFieldNameLine(const MasterRecord& master, const ConversionOptions& options,
                         std::string& out);

// The popup file: one line per field slot (all 30), each listing every
// choice of that slot's popup list.
std::string RenderPopupFile(const ExportDatabase& database, const ConversionOptions& options);

// The slots that become columns, in column order: those whose type is not 0.
std::vector<int> GetVisibleSlots(const MasterRecord& master);

// Decodes each data record (31 onward) into the cells of `slots` and hands
// the row to `write`, in record order. A record that cannot be read is
// reported and skipped; the result is then false. Prints the EXTRADIAG
// messages of each record when `options.extraDiag` is set.
bool ForEachDataRow(const ExportDatabase& database, std::span<const int> slots,
                    const ConversionOptions& options, Console& console,
                    const std::function<void(CellRow)>& write);

// Appends one line per data record (31 onward) to `csv`. A record that
// cannot be read is reported and skipped; the result is then false.
bool AppendDataRows(const ExportDatabase& database, const ConversionOptions& options,
                    std::string& csv, Console& console);

// The text of the CSV side from handheld bytes: unchanged without an
// encoding, otherwise UTF-8, after a byte-order mark for kUtf8Bom. Applied
// once to each finished text, so the quoting and the separators are laid
// down on bytes and the conversion is a single pass.
std::string EncodeCsvText(std::string text, CsvEncoding encoding);

// The whole export of one database held in memory, for tests and fuzzing:
// `loaded` tells whether the checks passed, `ok` whether every row was
// written. `popups` is filled only when `options.popupFile` is set. Both
// texts are in `options.encoding`.
struct ExportResult {
  bool loaded = false;
  bool ok = false;
  std::string csv;
  std::string popups;
};
ExportResult ExportToCsvText(ByteView file, const ConversionOptions& options, Console& console);

}  // namespace qv
