#include "convert/import_core.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "convert/export_core.h"
#include "convert/record_builder.h"
#include "convert/schema.h"
#include "convert/inference.h"
#include "convert/ordered_parts.h"
#include "csv/byte_scan.h"
#include "fields/cell_parse.h"
#include "fields/charset.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"
#include "pdb/display_text.h"
#include "pdb/identify.h"

namespace qv {

namespace {

constexpr uint8_t kEmptyList[3] = {0, 0, 0};

Bytes EmptyList() { return Bytes(std::begin(kEmptyList), std::end(kEmptyList)); }

// The warnings about cells listed one by one; the rest are counted.
constexpr size_t kListedWarnings = 20;

constexpr const char* kDefinitionsRefused = "ERROR:Setting up MasterRecord!";

// Header, MasterRecord and popup-list records of the database named with
// USEEXISTING. Its data records are not taken over.
Status TakeExistingDefinitions(const ImportSource& source, const ConversionOptions& options,
                               PreparedImport& prepared, Console& console) {
  if (!source.existing) return console.Refuse(kDefinitionsRefused);
  ByteView file = *source.existing;
  Result<DatabaseHeader> header = ReadDatabaseHeader(file);
  Result<MasterRecord> master = Failure{""};
  if (header && (header->attributes & kResourceAttribute) == 0) {
    master = ReadMasterRecord(file, *header);
  }
  if (!master) {
    const std::string note = IdentityNote(file);
    return console.Refuse(note.empty() ? std::string(kDefinitionsRefused)
                                       : Format("%s\n%s", kDefinitionsRefused, note.c_str()));
  }
  prepared.master = *master;
  SetHeaderName(*header, options.databaseName);
  prepared.header = *header;
  const PopupListViews lists = ReadPopupLists(file, header->recordCount);
  for (size_t slot = 0; slot < lists.size(); ++slot) {
    if (lists[slot]) prepared.existingLists[slot] = Bytes(lists[slot]->begin(), lists[slot]->end());
  }
  prepared.fromExisting = true;
  return {};
}

Failure RefuseTooLarge(Console& console) {
  return console.Refuse(Format("The .CSV file is too large: at most %zu bytes can be read!",
                            kCsvTableLimit / 2));
}

// Turns every field from UTF-8 into handheld bytes, straight after reading,
// so that everything later (names, inference, byte limits and cuts, popup
// lists) works on the bytes the database will hold. The first field that
// cannot be converted is reported by its CSV line (counted as the records'
// lines are) and column, both from 1.
Status ConvertLinesFromUtf8(CsvTable& lines, Console& console) {
  for (size_t i = 0; i < lines.lineCount(); ++i) {
    for (size_t k = 0; k < static_cast<size_t>(lines.fieldCount(i)); ++k) {
      const std::string_view field = lines.Field(i, k);
      if (IsAscii(field)) continue;
      const Result<std::string> converted = Utf8ToHandheld(field);
      if (!converted) {
        return console.Refuse(Format("CSV line %zu, column %zu: %s!", i + 1, k + 1,
                                     converted.message().c_str()));
      }
      if (!lines.ReplaceField(i, k, *converted)) return RefuseTooLarge(console);
    }
  }
  return {};
}

// True when `text` is valid UTF-8 holding at least one character beyond
// ASCII: then it is most likely UTF-8, not handheld bytes.
bool HoldsMultiByteUtf8(std::string_view text) {
  bool multiByte = false;
  size_t i = 0;
  while (i < text.size()) {
    // Every import scans its whole text here, which is mostly ASCII: many
    // bytes at a time until one has its high bit set.
    i = SkipAscii(text.data(), i, text.size());
    if (i == text.size()) break;
    if (static_cast<uint8_t>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::optional<char32_t> cp = DecodeUtf8CodePoint(text.substr(i));
    if (!cp) return false;
    multiByte = true;
    i += *cp < 0x800 ? 2 : *cp < 0x10000 ? 3 : 4;
  }
  return multiByte;
}

Failure RefuseSchema(const ImportSource& source, const std::string& error, Console& console) {
  // The error may quote names and values from the file.
  return console.Refuse(Format("Schema file %.*s: %s", TextLength(source.schemaName),
                               source.schemaName.data(),
                               EscapeForDisplay(error, DisplayEscape::kControls).c_str()));
}

// The schema's fields on top of the defaults, in slot order; maxLength from
// the CSV where the schema leaves it empty, and each popup field's choices
// at the start of its list.
Status TakeSchemaDefinitions(const ImportSource& source, const ConversionOptions& options,
                             PreparedImport& prepared, Console& console) {
  std::string_view text = *source.schemaText;
  // A UTF-8 schema is converted to the handheld's bytes first.
  const Result<std::string> converted =
      prepared.utf8 ? SchemaFromUtf8(text) : Result<std::string>(std::string(text));
  if (!converted) return RefuseSchema(source, converted.message(), console);
  text = *converted;
  Result<std::vector<SchemaField>> parsed = ParseSchema(text);
  if (!parsed) return RefuseSchema(source, parsed.message(), console);
  const std::vector<SchemaField>& fields = *parsed;
  if (!prepared.lines.empty() && prepared.lines.fieldCount(0) != static_cast<int>(fields.size())) {
    console.PrintMessage(Format(
        "WARNING:The .CSV file has %d fields on its first line, but the schema defines %zu.",
        prepared.lines.fieldCount(0), fields.size()));
  }
  ApplySchema(fields, prepared.master);
  DeriveSchemaMaxLengths(fields, prepared.lines, options.fieldNames, prepared.master);
  for (size_t slot = 0; slot < fields.size(); ++slot) {
    if (fields[slot].type == kPopup) prepared.existingLists[slot] = SchemaChoiceList(fields[slot]);
  }
  prepared.fromSchema = true;
  return {};
}

Status InferDefinitions(const ConversionOptions& options, PreparedImport& prepared,
                        Console& console) {
  if (!prepared.lines.empty() && prepared.lines.fieldCount(0) > kFieldSlots) {
    return console.Refuse(Format(
        "The .CSV file has %d fields on its first line, but a database holds at most %d fields!",
        prepared.lines.fieldCount(0), kFieldSlots));
  }
  InferFieldsFromCsv(prepared.lines, options.fieldNames, prepared.master);
  return {};
}

// Adds the values of CSV column `column` that feed a popup list to
// `builder`. Collecting stops at the first data line too short to reach the
// column (a line with exactly `column` fields still gives the empty value),
// as the list has always been built, or once the list is full.
void AddPopupColumnValues(const PreparedImport& prepared, int column, PopupListBuilder& builder) {
  if (column < 0) return;
  const CsvTable& lines = prepared.lines;
  const size_t k = static_cast<size_t>(column);
  for (size_t i = prepared.firstDataLine; i < lines.lineCount() && !builder.full(); ++i) {
    lines.PrefetchField(i + kColumnPrefetchLines, k);
    if (lines.fieldCount(i) == 0) continue;  // a blank line is no record
    if (lines.fieldCount(i) < column) break;
    builder.Add(lines.Field(i, k));
  }
}

// Prints one warning about a cell. It quotes handheld bytes, which the
// reader of a UTF-8 CSV expects in UTF-8.
void PrintCellWarning(const std::string& warning, bool utf8, Console& console) {
  console.PrintMessage(
      Format("WARNING:%s", (utf8 ? HandheldToUtf8(warning) : warning).c_str()));
}

// What a quote out of place did to the values around it, naming the line
// and column (from 1) of the value that holds it.
std::string QuoteWarning(const CsvQuoteIssue& issue) {
  const char* what = "a quote out of place";
  switch (issue.kind) {
    case CsvQuoteIssue::Kind::kUnterminated:
      what = "the quote that opens this value is never closed; the value runs to the end of the "
             "file";
      break;
    case CsvQuoteIssue::Kind::kOpensInValue:
      what = "a quote inside an unquoted value opens quoting there; the separators and line ends "
             "up to the next quote are part of the value";
      break;
    case CsvQuoteIssue::Kind::kDroppedBeforeSeparator:
      what = "the quote that ends this unquoted value is dropped";
      break;
    case CsvQuoteIssue::Kind::kTextAfterClosingQuote:
      what = "text follows the closing quote without a separator; it starts the next value";
      break;
  }
  return Format("Line %u, column %u: %s", issue.line + 1, issue.field + 1, what);
}

// The largest chunk handed to the output, give or take one record.
constexpr size_t kChunkBytes = size_t{1} << 20;

// The database written to an ImportOutput as it is made: the records are
// gathered in one buffer that is handed over whenever it holds a chunk, and
// the header and record list, known only at the end, are handed to Finish.
// A failed Write, or records grown past what a 32-bit offset reaches, stop
// the writing; the records are still made, for their warnings.
class DatabaseStream {
 public:
  DatabaseStream(const DatabaseHeader& header, size_t recordCount, ImportOutput& output)
      : header_(header), output_(output) {
    starts_.reserve(recordCount);
    buffer_.reserve(kChunkBytes + kChunkBytes / 4);
    // Zeros hold the place of the header and record list.
    buffer_.assign(RecordsStart(recordCount), 0);
  }

  // Begins the next record, whose bytes the caller appends to the buffer
  // returned.
  Bytes& StartRecord() {
    if (buffer_.size() >= kChunkBytes) Flush();
    starts_.push_back(written_ + buffer_.size());
    return buffer_;
  }

  // Appends records made elsewhere: `bytes` holds them one after another,
  // `sizes` their sizes in order.
  void AppendRecords(ByteView bytes, std::span<const size_t> sizes) {
    Flush();
    size_t at = written_;
    for (const size_t size : sizes) {
      starts_.push_back(at);
      at += size;
    }
    Hand(bytes);
  }

  // The header and record list, or the failure when the records cannot be
  // described by them; call after the last record.
  Result<Bytes> Front() const { return DatabaseFront(header_, starts_); }

  // Hands over the rest of the records; the output's failure, if any Write
  // failed.
  Status FlushRest() {
    Flush();
    return failed_;
  }

 private:
  void Flush() {
    Hand(buffer_);
    buffer_.clear();
  }

  // Writes `bytes`, the records last started, unless a write failed.
  void Hand(ByteView bytes) {
    // Past a record that starts beyond 32 bits, the import is refused
    // anyway.
    const bool describable =
        starts_.empty() || starts_.back() <= std::numeric_limits<uint32_t>::max();
    if (failed_.ok() && describable && !bytes.empty()) failed_ = output_.Write(bytes);
    written_ += bytes.size();
  }

  DatabaseHeader header_;
  ImportOutput& output_;
  std::vector<size_t> starts_;
  size_t written_ = 0;  // handed over, or dropped after a failure
  Bytes buffer_;
  Status failed_;
};

// The CSV lines of one part when the records are made on several threads:
// about a megabyte of records.
constexpr size_t kLinesPerPart = 4096;
// The fewest data lines worth a thread of their own.
constexpr size_t kLinesPerThread = 16384;

// What is to be said of one record made on a helper thread: the cells not
// stored as written, and its size when the handheld may refuse it.
struct RecordNote {
  int lineNumber = 0;
  size_t size = 0;
  std::vector<std::string> warnings;
};

// A part of the records that a helper thread makes, held until the parts
// before it are handed over: the records one after another, their sizes,
// and the notes of those with something to say, in order.
struct RecordPart {
  Bytes bytes;
  std::vector<size_t> sizes;
  std::vector<RecordNote> notes;
};

// Appends one record per data line, skipping blank lines; returns the
// number of warnings about cells (and blank lines) that were printed. With
// options.threads above 1 and enough lines, the lines are cut in parts of
// kLinesPerPart whose records helper threads make ahead, and this thread
// appends them and prints what they say in line order (RunOrderedParts):
// the database and the messages are those of one thread. (EXTRADIAG prints
// as each line goes, so it keeps one thread.)
size_t AppendDataRecords(const PreparedImport& prepared, const ConversionOptions& options,
                         const std::array<Bytes, kFieldSlots>& popupLists,
                         DatabaseStream& database, Console& console) {
  RecordBuildContext context{prepared.master, options.dateFormat, options.timeFormat, popupLists};
  context.columns = prepared.columns;
  if (prepared.blankLines > 0) {
    console.PrintMessage(Format("WARNING:Skipped %zu blank line%s of the .CSV file.",
                                prepared.blankLines, prepared.blankLines == 1 ? "" : "s"));
  }
  size_t cellWarnings = 0;
  for (const CsvQuoteIssue& issue : prepared.lines.quoteIssues()) {
    if (cellWarnings++ < kListedWarnings) {
      console.PrintMessage(Format("WARNING:%s", QuoteWarning(issue).c_str()));
    }
  }
  // What is said of a record once it is in the database.
  const auto say = [&](int lineNumber, size_t size, const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) {
      if (cellWarnings++ < kListedWarnings) PrintCellWarning(warning, prepared.utf8, console);
    }
    if (size > kLargestHandheldRecord) {
      console.PrintMessage(Format(
          "WARNING:The record of CSV line %d is %zu bytes long; the handheld may refuse records "
          "longer than %zu bytes.",
          lineNumber, size, kLargestHandheldRecord));
    }
  };

  // The lines were read once, up front, and counted from the same table:
  // every line from the first data line on that has a field is a record.
  const CsvTable& lines = prepared.lines;
  const size_t first = std::min(prepared.firstDataLine, lines.lineCount());
  const size_t count = lines.lineCount() - first;
  const uint32_t threads =
      options.extraDiag ? 1
                        : static_cast<uint32_t>(std::clamp<size_t>(
                              count / kLinesPerThread, 1, std::max(options.threads, 1u)));
  const auto parts =
      static_cast<uint32_t>(threads == 1 ? 1 : (count + kLinesPerPart - 1) / kLinesPerPart);
  const auto partFirst = [&](uint32_t part) { return first + count * part / parts; };

  std::vector<std::string> warnings;
  int row = 0;  // for EXTRADIAG, which keeps one thread
  const auto here = [&](uint32_t part) {
    for (size_t index = partFirst(part); index < partFirst(part + 1); ++index) {
      if (lines.fieldCount(index) == 0) continue;
      if (options.extraDiag) console.PrintMessage(Format("Reading CSV Line #%d", row));
      int lineNumber = static_cast<int>(index) + 1;
      if (options.extraDiag) console.PrintMessage(Format("Writing PDB Record #%d", row));
      ++row;
      warnings.clear();
      const auto size = static_cast<size_t>(BuildRecordFromCsv(
          context, lines, index, database.StartRecord(), lineNumber, warnings));
      say(lineNumber, size, warnings);
    }
  };
  const auto make = [&](uint32_t part, RecordPart& held) {
    held.bytes.clear();
    held.sizes.clear();
    held.notes.clear();
    std::vector<std::string> partWarnings;
    for (size_t index = partFirst(part); index < partFirst(part + 1); ++index) {
      if (lines.fieldCount(index) == 0) continue;
      int lineNumber = static_cast<int>(index) + 1;
      partWarnings.clear();
      const auto size = static_cast<size_t>(
          BuildRecordFromCsv(context, lines, index, held.bytes, lineNumber, partWarnings));
      held.sizes.push_back(size);
      if (!partWarnings.empty() || size > kLargestHandheldRecord) {
        held.notes.push_back({lineNumber, size, std::move(partWarnings)});
        partWarnings = {};
      }
    }
  };
  const auto hand = [&](uint32_t, RecordPart& held) {
    database.AppendRecords(held.bytes, held.sizes);
    for (const RecordNote& note : held.notes) say(note.lineNumber, note.size, note.warnings);
  };
  RunOrderedParts<RecordPart>(parts, threads, make, hand, here);

  if (cellWarnings > kListedWarnings) {
    console.PrintMessage(Format("WARNING:%zu more cells were not stored as written.",
                                cellWarnings - kListedWarnings));
  }
  return cellWarnings + (prepared.blankLines > 0 ? 1 : 0) + prepared.setupWarnings;
}

// The handheld bytes of a message as the console shows them.
std::string ForConsole(const std::string& text, bool utf8) {
  return utf8 ? HandheldToUtf8(text) : text;
}

// Over given definitions: with FIELDNAMES, reads the columns by the names
// of the first line when every one of them names a field (ignoring letter
// case; fields it does not name get empty cells), and otherwise warns and
// keeps the columns in order. Without FIELDNAMES, a first line that holds
// exactly the field names in column order is taken as the field-name line.
void MatchColumnsToFields(const ConversionOptions& options, PreparedImport& prepared,
                          Console& console) {
  const CsvTable& lines = prepared.lines;
  const MasterRecord& master = prepared.master;
  std::vector<int> slotOfColumn;
  for (size_t slot = 0; slot < prepared.columns.size(); ++slot) {
    const int column = prepared.columns[slot];
    if (column < 0 || master.fields[slot].type == kEmptySlot) continue;
    if (slotOfColumn.size() <= static_cast<size_t>(column)) {
      slotOfColumn.resize(static_cast<size_t>(column) + 1, -1);
    }
    slotOfColumn[static_cast<size_t>(column)] = static_cast<int>(slot);
  }
  const size_t names = static_cast<size_t>(lines.fieldCount(0));
  if (!options.fieldNames) {
    if (names != slotOfColumn.size()) return;
    for (size_t k = 0; k < names; ++k) {
      const int slot = slotOfColumn[k];
      if (slot < 0 ||
          !EqualsNoCase(lines.Field(0, k), FixedText(master.fields[static_cast<size_t>(slot)].name))) {
        return;
      }
    }
    prepared.firstDataLine = 1;
    console.PrintMessage(
        "The first line of the .CSV file holds the field names, so it is read as the field-name "
        "line, not as a record (FIELDNAMES says so).");
    return;
  }
  SlotColumns byName;
  byName.fill(-1);
  std::string unknown;
  for (size_t k = 0; k < names; ++k) {
    const std::string_view name = lines.Field(0, k);
    bool found = false;
    for (size_t slot = 0; slot < byName.size() && !found; ++slot) {
      if (byName[slot] >= 0 || prepared.columns[slot] < 0) continue;
      if (master.fields[slot].type == kEmptySlot) continue;
      if (EqualsNoCase(name, FixedText(master.fields[slot].name))) {
        byName[slot] = static_cast<int>(k);
        found = true;
      }
    }
    if (!found) unknown += (unknown.empty() ? "" : ", ") + QuoteCell(name);
  }
  if (unknown.empty()) {
    prepared.columns = byName;
    return;
  }
  ++prepared.setupWarnings;
  console.PrintMessage(ForConsole(
      Format("WARNING:The first line names %s, which are not field names; the columns are read "
             "in the order of the fields.",
             unknown.c_str()),
      prepared.utf8));
}

}  // namespace

Result<PreparedImport> PrepareImport(const ImportSource& source, const ConversionOptions& options,
                                     Console& console) {
  PreparedImport prepared;
  SetDefaultMasterRecord(prepared.master);
  prepared.header = SetNewDatabaseHeader(options.databaseName);
  console.PrintProgress("Getting Fields Information...");

  // A database named where the CSV belongs would be read as a few lines of
  // garbage and "converted"; the NULs of its header mark it.
  if (LooksLikeDatabase(AsBytes(source.csvText))) {
    return console.Refuse(
        "The input (.CSV) file looks like a database (.PDB) file, not CSV text. COMMAND:TOCSV "
        "reads databases; COMMAND:TOPDB needs a .CSV file!");
  }
  // A byte-order mark says UTF-8 as plainly as ENCODING does.
  const bool utf8 =
      options.encoding != CsvEncoding::kBytes || source.csvText.starts_with(kUtf8Bom);
  if (!utf8 && HoldsMultiByteUtf8(source.csvText)) {
    console.PrintMessage(
        "The .CSV file reads as UTF-8 text; if it is, import it with ENCODING:{UTF-8} to store "
        "its characters as written.");
  }
  prepared.utf8 = utf8;
  const std::string_view csvText = utf8 ? StripUtf8Bom(source.csvText) : source.csvText;
  prepared.lines = ReadCsvTable(csvText, options.separator);
  if (!prepared.lines.complete()) return RefuseTooLarge(console);
  if (utf8) {
    Status converted = ConvertLinesFromUtf8(prepared.lines, console);
    if (!converted) return converted.failure();
  }
  Status defined = source.useExisting  ? TakeExistingDefinitions(source, options, prepared, console)
                   : source.schemaText ? TakeSchemaDefinitions(source, options, prepared, console)
                                       : InferDefinitions(options, prepared, console);
  if (!defined) return defined.failure();
  StampNewDatabase(prepared.header, source.databaseTime);

  prepared.firstDataLine = options.fieldNames && !prepared.lines.empty() ? 1 : 0;
  prepared.columns = GetCsvColumns(prepared.master);
  if ((prepared.fromExisting || prepared.fromSchema) && !prepared.lines.empty()) {
    MatchColumnsToFields(options, prepared, console);
  }
  // A line without a single field is no record.
  for (size_t i = prepared.firstDataLine; i < prepared.lines.lineCount(); ++i) {
    if (prepared.lines.fieldCount(i) == 0) ++prepared.blankLines;
  }
  const size_t dataLines =
      prepared.lines.lineCount() - prepared.firstDataLine - prepared.blankLines;
  const int rows = static_cast<int>(std::min<size_t>(dataLines, INT_MAX));
  if (rows > kMaxDataRows) {
    return console.Refuse(Format(
        "The .CSV file has %d data lines, but a database holds at most %d records!", rows,
        kMaxDataRows));
  }
  prepared.rowCount = rows;

  // Unsigned on purpose: a largest value of 4294967295 wraps to 0 and then
  // leaves the counter alone.
  uint32_t next = GetLargestUnique(prepared.lines, prepared.master, prepared.columns,
                                   prepared.firstDataLine) +
                  1u;
  if (next > prepared.master.nextUniqueValue) prepared.master.nextUniqueValue = next;
  return prepared;
}

std::array<Bytes, kFieldSlots> BuildPopupRecords(const PreparedImport& prepared) {
  std::array<Bytes, kFieldSlots> lists;
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    const std::optional<Bytes>& old = prepared.existingLists[slot];
    const bool merged = prepared.fromExisting || prepared.fromSchema;
    if (merged && prepared.master.fields[slot].type == kPopup) {
      std::optional<ByteView> oldList;
      if (old) oldList = ByteView(*old);
      PopupListBuilder builder(oldList);
      AddPopupColumnValues(prepared, prepared.columns[static_cast<size_t>(slot)], builder);
      lists[slot] = builder.Finish();
    } else if (prepared.fromExisting && old && !old->empty()) {
      lists[slot] = *old;
    } else {
      // A zero-length record would make the handheld see no list at all.
      lists[slot] = EmptyList();
    }
  }
  return lists;
}

Status WriteDatabase(const PreparedImport& prepared, const ConversionOptions& options,
                     ImportOutput& output, Console& console) {
  console.PrintProgress("Writing Records Header...");
  DatabaseStream database(prepared.header,
                          kFirstDataRecord + static_cast<size_t>(prepared.rowCount), output);
  ByteWriter masterWriter(database.StartRecord());
  WriteMasterRecord(prepared.master, masterWriter);

  console.PrintProgress("Writing Popups for fields...");
  std::array<Bytes, kFieldSlots> popupLists = BuildPopupRecords(prepared);
  for (const Bytes& list : popupLists) {
    Bytes& out = database.StartRecord();
    out.insert(out.end(), list.begin(), list.end());
  }

  const size_t warnings = AppendDataRecords(prepared, options, popupLists, database, console);
  const Status written = database.FlushRest();
  // STRICT: a value that was not stored as written fails the import.
  // The warnings said why.
  if (options.strict && warnings > 0) return Failure{""};
  const Result<Bytes> front = database.Front();
  if (!front) return console.Refuse("The records are too large to fit into one database file!");
  if (!written) return console.Refuse(written.message());
  if (Status finished = output.Finish(*front); !finished) {
    return console.Refuse(finished.message());
  }
  return {};
}

Status CheckImportOptions(const ConversionOptions& options) {
  if (options.databaseName.empty()) {
    return Failure{
        "You need to specify a Name for the database when loaded into your PalmPilot/Workpad!"};
  }
  if (options.useExisting && !options.schemaFile.empty()) {
    return Failure{
        "SCHEMA: and USEEXISTING: both give the field definitions; use only one of them!"};
  }
  return {};
}

Status RunImport(const ImportSource& source, const ConversionOptions& options,
                 ImportOutput& output, Console& console) {
  Result<PreparedImport> prepared = PrepareImport(source, options, console);
  if (!prepared) return prepared.status();
  if (Status opened = output.Open(); !opened) return console.Refuse(opened.message());
  return WriteDatabase(*prepared, options, output, console);
}

Status HeldDatabase::Write(ByteView chunk) {
  // The first chunk is most of a small database; a large one grows to its
  // size in a few steps.
  bytes_.insert(bytes_.end(), chunk.begin(), chunk.end());
  return {};
}

Status HeldDatabase::Finish(ByteView front) {
  if (bytes_.size() < front.size()) bytes_.resize(front.size());
  std::copy(front.begin(), front.end(), bytes_.begin());
  return {};
}

Result<Bytes> ImportCsvToDatabase(const ImportSource& source, const ConversionOptions& options,
                                  Console& console) {
  HeldDatabase output;
  Status imported = RunImport(source, options, output, console);
  if (!imported) return imported.failure();
  return std::move(output.bytes());
}

}  // namespace qv
