// The import without the disk: CSV text (and, optionally, the bytes of an
// existing database to take the definitions from) in, database bytes and
// console messages out.
//
// RunImport sequences it for every caller, in two phases with the opening of
// the output between them, so that the messages keep their order:
//   PrepareImport  "Getting Fields Information...": definitions, row count,
//                  unique-value counter; every refusal happens here.
//   WriteDatabase  "Writing Records Header...", "Writing Popups for
//                  fields...", the per-line diagnostics and warnings, while
//                  the records go to the output as they are made; fails
//                  only when the records outgrow 32-bit file offsets or the
//                  output fails.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "convert/console.h"
#include "convert/conversion_options.h"
#include "convert/record_builder.h"
#include "csv/csv_reader.h"
#include "pdb/byte_io.h"
#include "pdb/database.h"
#include "pdb/master_record.h"
#include "pdb/result.h"

namespace qv {

// Records larger than this are still written, but the handheld may not take
// them, so the import warns.
inline constexpr size_t kLargestHandheldRecord = 65505;

struct ImportSource {
  std::string_view csvText;
  // Set when the definitions come from an existing database; `existing`
  // holds its bytes, or nothing when it could not be read.
  bool useExisting = false;
  std::optional<ByteView> existing;
  // Set when the definitions come from a schema file instead: its text as
  // read (in the CSV's character set), and its name for messages.
  std::optional<std::string_view> schemaText;
  std::string_view schemaName;
  // The creation and modification time of the new database, in seconds
  // since 1904-01-01, chosen by the caller (the clock, or SOURCE_DATE_EPOCH).
  uint32_t databaseTime = 0;
};

// Everything the database is built from, held in memory.
struct PreparedImport {
  DatabaseHeader header;
  MasterRecord master;
  // Every line of the CSV text, whose bytes (ImportSource::csvText) must
  // outlive it.
  CsvTable lines;
  size_t firstDataLine = 0;  // 1 when the first line holds the field names
  int rowCount = 0;  // the data lines, less the blank ones
  size_t blankLines = 0;  // data lines without a single field, skipped
  // The CSV was read as UTF-8 (ENCODING, or a byte-order mark), so messages
  // quoting its cells are written in UTF-8.
  bool utf8 = false;
  // The CSV column of each slot: by the column order, or by the names of
  // the field-name line.
  SlotColumns columns{};
  // Warnings printed while preparing (names that are not field names),
  // which STRICT counts.
  size_t setupWarnings = 0;
  bool fromExisting = false;
  bool fromSchema = false;
  // Records 1 to 30 of the existing database, or nothing where a record
  // could not be read; from a schema, the popup fields' listed choices.
  std::array<std::optional<Bytes>, kFieldSlots> existingLists{};
};

// Prints "Getting Fields Information..." and takes the definitions from the
// existing database or infers them from the CSV. When the import cannot go
// on, refuses (Console::Refuse) with the reason.
Result<PreparedImport> PrepareImport(const ImportSource& source, const ConversionOptions& options,
                                     Console& console);

// The popup list of every slot, as records 1 to 30 of the new database.
std::array<Bytes, kFieldSlots> BuildPopupRecords(const PreparedImport& prepared);

// The checks on the options that need no files, in their fixed order: a
// name for the database, and only one source of field definitions. The
// refusal's message, or success. A driver makes its checks on file names
// around these.
Status CheckImportOptions(const ConversionOptions& options);

// Where the import puts the database. Open is called once the definitions
// are known and before any record is built, so that a refusal to write comes
// where the output is opened. Write then hands over the database's bytes in
// order, from the start of the file, a chunk at a time; the first chunk
// begins with zeros where the header and record list go, which Finish hands
// over at the end, to be put over those zeros, before the output is
// completed. After a failed Write, neither Write nor Finish is called again.
// A failure's message is printed as the import's refusal.
class ImportOutput {
 public:
  virtual ~ImportOutput() = default;
  virtual Status Open() = 0;
  virtual Status Write(ByteView chunk) = 0;
  virtual Status Finish(ByteView front) = 0;
};

// An output that holds the whole database in memory: the chunks appended,
// the front put over the zeros that kept its place.
class HeldDatabase final : public ImportOutput {
 public:
  Status Open() override { return {}; }
  Status Write(ByteView chunk) override;
  Status Finish(ByteView front) override;
  Bytes& bytes() { return bytes_; }

 private:
  Bytes bytes_;
};

// Writes the new database to `output` (opened already) as its records are
// made, printing the warnings about quotes out of place, about cells that
// are not stored as written (at most 20 listed, then their count) and about
// skipped blank lines. Then, in this order: with STRICT, fails with an empty
// message (the warnings said why) when anything was warned about; refuses
// when the records are too large to be described by the record list;
// refuses with the output's message when it failed. The output is finished
// only when none of these happened.
Status WriteDatabase(const PreparedImport& prepared, const ConversionOptions& options,
                     ImportOutput& output, Console& console);

// The import, sequenced once for every caller: PrepareImport, output.Open,
// WriteDatabase. Every refusal is printed to `console`, and the first
// failure is returned.
Status RunImport(const ImportSource& source, const ConversionOptions& options,
                 ImportOutput& output, Console& console);

// RunImport into memory, for the browser, tests and fuzzing.
Result<Bytes> ImportCsvToDatabase(const ImportSource& source, const ConversionOptions& options,
                                  Console& console);

}  // namespace qv
