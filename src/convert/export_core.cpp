// The export sequence and the steps it is made of.
#include "convert/export_core.h"

#include <algorithm>
#include <array>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/csv_writer.h"
#include "convert/ordered_parts.h"
#include "convert/record_decoder.h"
#include "convert/typed_writers.h"
#include "fields/charset.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "fields/text_utils.h"
#include "pdb/identify.h"

#ifndef QV_NO_SQLITE
#include "convert/sqlite_export.h"
#endif

namespace qv {
namespace {

// The slots that become CSV columns, in column order: a slot is a column
// when its type is not 0. Entries outside 0..29 (which a repaired column
// order never holds) are skipped rather than trusted.
struct VisibleColumns {
  std::array<int, kFieldSlots> slots{};
  int count = 0;
};

VisibleColumns GetVisibleColumns(const MasterRecord& master) {
  VisibleColumns columns;
  for (int k = 0; k < kFieldSlots; ++k) {
    const int slot = master.columnOrder[k];
    if (slot < 0 || slot >= kFieldSlots) continue;
    if (master.fields[slot].type == kEmptySlot) continue;
    columns.slots[columns.count++] = slot;
  }
  return columns;
}

// Refuses (Console::Refuse) with the reason, and then says the conversion
// was cancelled, when the database's export permission or password forbids
// the export.
Status CheckExportPermission(const MasterRecord& master, const ConversionOptions& options,
                             Console& console) {
  const int permission = GetExportPermission(master);
  if (permission == -1) {
    Failure refused = console.Refuse("Conversion not Allowed by database! ACCESS DENIED");
    console.PrintMessage("Conversion Cancelled: Operation not permitted");
    return refused;
  }
  const std::string_view stored = FixedText(master.password);
  // Exact, case-sensitive; an empty stored password means the database is
  // open whatever was given.
  if (permission == 1 && !stored.empty() && stored != options.givenPassword) {
    Failure refused = console.Refuse("Password Incorrect! ACCESS DENIED");
    console.PrintMessage("Conversion Cancelled: Password not Entered");
    return refused;
  }
  return {};
}

// The field-name line, line feed included: one name per visible column.
void AppendFieldNameLine(const MasterRecord& master, const ConversionOptions& options,
                         std::string& out) {
  const VisibleColumns columns = GetVisibleColumns(master);
  std::array<std::string_view, kFieldSlots> names;
  for (int k = 0; k < columns.count; ++k) names[k] = FixedText(master.fields[columns.slots[k]].name);
  CsvWriter(options, out).WriteTexts(std::span(names.data(), static_cast<size_t>(columns.count)));
}

// The popup file: one line per field slot (all 30), each listing every
// choice of that slot's popup list.
std::string RenderPopupFile(const ExportDatabase& database, const ConversionOptions& options) {
  std::string out;
  CsvWriter writer(options, out);
  const PopupListViews lists = ReadPopupLists(database.file, database.header.recordCount);
  std::vector<std::string_view> choices;
  for (const std::optional<ByteView>& list : lists) {
    choices.clear();
    ForEachChoiceText(list, [&](std::string_view text) { choices.push_back(text); });
    writer.WriteTexts(choices);
  }
  return out;
}

}  // namespace

std::string IdentityNote(ByteView file) {
  const FileIdentity identity = IdentifyFile(file);
  if (identity.kind == FileKind::kQuorvexDatabase) return "";
  return Format("This is %s.\n", DescribeFile(identity).c_str());
}

Result<ExportDatabase> LoadDatabaseForExport(ByteView file, const ConversionOptions& options,
                                             Console& console) {
  ExportDatabase database;
  database.file = file;
  // A resource file holds code and resources, never field definitions, even
  // with the database's creator code (the application itself has it).
  const Result<DatabaseHeader> header = ReadDatabaseHeader(file);
  if (!header || (header->attributes & kResourceAttribute) != 0) {
    return console.Refuse(Format(
        "ERROR: Reading header!\nMake sure you are converting a Quorvex data file!\n%s",
        IdentityNote(file).c_str()));
  }
  database.header = *header;
  const Result<MasterRecord> master = ReadMasterRecord(file, database.header);
  if (!master) {
    return console.Refuse(Format("ERROR: Reading MasterRecord\n%s", IdentityNote(file).c_str()));
  }
  database.master = *master;
  if (Status permitted = CheckExportPermission(database.master, options, console); !permitted) {
    return permitted.failure();
  }
  return database;
}

std::vector<int> GetVisibleSlots(const MasterRecord& master) {
  const VisibleColumns columns = GetVisibleColumns(master);
  return std::vector<int>(columns.slots.begin(), columns.slots.begin() + columns.count);
}

namespace {

// The data records numbered [first, end), as ForEachDataRow walks them all.
Status ForEachDataRowIn(const ExportDatabase& database, std::span<const int> slots,
                      const ConversionOptions& options, Console& console, uint32_t first,
                      uint32_t end, const std::function<void(CellRow)>& write) {
  const uint32_t recordCount = database.header.recordCount;
  if (first >= end) return {};
  // Each popup list is read once here instead of once per cell.
  const PopupListViews lists = ReadPopupLists(database.file, recordCount);
  const RecordDecoder decoder(database.master, lists);

  Status status;
  std::array<Cell, kFieldSlots> cells;
  const std::span<Cell> row(cells.data(), std::min(slots.size(), cells.size()));
  for (uint32_t r = first; r < end; ++r) {
    const int index = static_cast<int>(r);
    if (options.extraDiag) {
      console.PrintMessage(Format("Reading Record: %d:", index - (kFirstDataRecord - 1)));
    }
    const Result<ByteView> record = ReadRecord(database.file, r, recordCount);
    if (!record) {
      Failure unread = console.Refuse(Format("Reading Record: %d", index));
      if (status) status = std::move(unread);
      continue;
    }
    if (options.extraDiag) console.PrintMessage(Format("Writing Record: %d:", index));
    // One walk of the record decodes every visible field; texts stay views
    // into the record's bytes.
    decoder.DecodeRow(*record, slots.first(row.size()), row);
    write(row);
  }
  return status;
}

}  // namespace

Status ForEachDataRow(const ExportDatabase& database, std::span<const int> slots,
                    const ConversionOptions& options, Console& console,
                    const std::function<void(CellRow)>& write) {
  return ForEachDataRowIn(database, slots, options, console, kFirstDataRecord,
                          database.header.recordCount, write);
}

std::string EncodeCsvText(std::string text, CsvEncoding encoding) {
  if (encoding == CsvEncoding::kBytes) return text;
  std::string utf8 = HandheldToUtf8(text);
  if (encoding == CsvEncoding::kUtf8Bom) utf8.insert(0, kUtf8Bom);
  return utf8;
}

namespace {

// What the rendered text of a database of `fileBytes` bytes is expected to
// come to: CSV about one and a half times the file, JSON Lines, whose keys
// repeat on every line, about twice. Room reserved from it is never copied
// as the text grows, and room never written to takes no memory.
size_t ExpectedTextBytes(size_t fileBytes, ExportFormat format) {
  return format == ExportFormat::kJsonLines ? 2 * fileBytes : fileBytes + fileBytes / 2;
}

// Gathers rendered text and hands it to a sink in chunks of about
// `chunkBytes`, each converted to the output's character set on the way:
// the conversion maps byte by byte, so a chunk converts on its own, and the
// byte-order mark goes before the first. The first failure of the sink is
// kept and the chunks after it are dropped.
class ChunkedOutput {
 public:
  ChunkedOutput(OutputSink& sink, CsvEncoding encoding, size_t chunkBytes, size_t expected)
      : sink_(sink), encoding_(encoding), chunkBytes_(chunkBytes), expected_(expected) {
    // The buffer is allocated once: a chunk and room for the row that
    // crosses its end, or the whole output when that is expected to be
    // smaller.
    text_.reserve(std::min(chunkBytes + kRowRoom, expected));
  }

  // Where the writers append; they may append one row after another.
  std::string& text() { return text_; }

  // The whole text's expected size, as given.
  size_t expected() const { return expected_; }

  // After each row: hands the text over once it has reached a chunk.
  void RowDone() {
    if (text_.size() >= chunkBytes_) Flush();
  }

  // Hands over whatever was gathered. The first call converts even an empty
  // text, so that an empty output still gets its byte-order mark.
  void Flush() {
    Hand(text_);
    text_.clear();
  }

  // Hands over what was gathered and then `text`, in chunks, as if `text`
  // had been appended row by row.
  void Append(std::string_view text) {
    Flush();
    while (!text.empty()) {
      const std::string_view chunk = text.substr(0, chunkBytes_);
      Hand(chunk);
      text.remove_prefix(chunk.size());
    }
  }

  // Success, or the first failure of a write.
  const Status& status() const { return status_; }

 private:
  static constexpr size_t kRowRoom = size_t{64} << 10;

  // Converts `text` as the encoding says and writes it to the sink, unless
  // a write has failed already.
  void Hand(std::string_view text) {
    if (status_.ok()) {
      std::string_view chunk = text;
      if (encoding_ != CsvEncoding::kBytes) {
        converted_ = HandheldToUtf8(text);
        if (!started_ && encoding_ == CsvEncoding::kUtf8Bom) converted_.insert(0, kUtf8Bom);
        chunk = converted_;
      }
      if (!chunk.empty()) status_ = sink_.Write(chunk);
    }
    started_ = true;
  }

  OutputSink& sink_;
  const CsvEncoding encoding_;
  const size_t chunkBytes_;
  const size_t expected_;
  std::string text_;
  std::string converted_;
  bool started_ = false;
  Status status_;
};

// Step 3 of RunExport: the popup file, written whole. Succeeds unless a
// file that was opened could not be written (the failure is printed).
Status WritePopupFile(const ExportDatabase& database, const ConversionOptions& options,
                      OutputSink& popups, Console& console) {
  if (!popups.Open()) {
    console.PrintError("Could not open Popup File!!");
    return {};
  }
  Status written = popups.Write(EncodeCsvText(RenderPopupFile(database, options), options.encoding));
  if (written) written = popups.Finish();
  if (written) return {};
  return console.Refuse(written.message());
}

// The fewest data records worth a thread of their own.
constexpr uint32_t kRecordsPerThread = 16384;

// The records of one part when the rows are rendered on several threads:
// about a megabyte of CSV. Parts are handed over as soon as they are done,
// so the output flows to the disk while it is made.
constexpr uint32_t kRecordsPerPart = 4096;

// A part that a helper thread renders: its text and messages, held until
// the parts before it are handed over.
struct RowPart {
  std::string text;
  Console console;  // collecting
  Status status;
};

// Step 4's rows for CSV and JSON Lines: `makeWriter(text)` makes a writer
// whose WriteRow(CellRow) appends one row to `text`. With options.threads
// above 1 and enough records, the records are cut in parts of
// kRecordsPerPart that helper threads render ahead, each into a text of its
// own with its messages collected, and this thread hands them over in
// record order (RunOrderedParts), so that the output and the messages are
// those of one thread. (EXTRADIAG prints as each record goes, so it keeps
// one thread.)
template <class MakeWriter>
Status WriteDataRows(const ExportDatabase& database, std::span<const int> slots,
                   const ConversionOptions& options, ChunkedOutput& out, Console& console,
                   const MakeWriter& makeWriter) {
  const uint32_t first = kFirstDataRecord;
  const uint32_t end = std::max<uint32_t>(database.header.recordCount, first);
  const uint32_t records = end - first;
  const uint32_t threads =
      options.extraDiag ? 1
                        : std::clamp<uint32_t>(records / kRecordsPerThread, 1,
                                               std::max(options.threads, 1u));
  const uint32_t parts = threads == 1 ? 1 : (records + kRecordsPerPart - 1) / kRecordsPerPart;
  const auto partFirst = [&](uint32_t part) {
    return first + static_cast<uint32_t>(uint64_t{records} * part / parts);
  };

  Status status;
  const auto merge = [&status](Status next) {
    if (status) status = std::move(next);
  };
  auto writer = makeWriter(out.text());
  // A part written as it is rendered, its messages printed as they come.
  const auto here = [&](uint32_t part) {
    merge(ForEachDataRowIn(database, slots, options, console, partFirst(part), partFirst(part + 1),
                           [&](CellRow row) {
                             writer.WriteRow(row);
                             out.RowDone();
                           }));
  };
  const auto make = [&](uint32_t part, RowPart& held) {
    held.text.clear();
    held.console = Console();
    held.console.SetQuiet(console.quiet());
    // The part's share of the expected text; without that room the text
    // grows as it must.
    const uint32_t from = partFirst(part);
    const uint32_t to = partFirst(part + 1);
    try {
      held.text.reserve(out.expected() / records * (to - from));
    } catch (const std::bad_alloc&) {
    }
    auto partWriter = makeWriter(held.text);
    held.status = ForEachDataRowIn(database, slots, options, held.console, from, to,
                                   [&](CellRow row) { partWriter.WriteRow(row); });
  };
  const auto hand = [&](uint32_t, RowPart& held) {
    console.Append(held.console);
    out.Append(held.text);
    merge(std::move(held.status));
  };
  RunOrderedParts<RowPart>(parts, threads, make, hand, here);
  return status;
}

// Steps 3 and 4 for CSV: the field-name line, the popup file, the rows.
// The first failure, of the popup file or of the rows.
Status WriteCsv(const ExportDatabase& database, const ConversionOptions& options,
                OutputSink& popups, ChunkedOutput& out, Console& console) {
  if (options.fieldNames) AppendFieldNameLine(database.master, options, out.text());
  Status status;
  if (!options.popupFile.empty()) status = WritePopupFile(database, options, popups, console);
  const VisibleColumns columns = GetVisibleColumns(database.master);
  const std::span<const int> slots(columns.slots.data(), static_cast<size_t>(columns.count));
  Status rows = WriteDataRows(database, slots, options, out, console,
                              [&](std::string& text) { return CsvWriter(options, text); });
  if (status) status = std::move(rows);
  return status;
}

// Step 4 for JSON Lines: one object per record, keyed by the visible
// fields' names made unique.
Status WriteJsonLines(const ExportDatabase& database, const ConversionOptions& options,
                    ChunkedOutput& out, Console& console) {
  const std::vector<int> slots = GetVisibleSlots(database.master);
  const std::vector<std::string> names = UniqueColumnNames(database.master, slots);
  return WriteDataRows(database, slots, options, out, console,
                       [&](std::string& text) { return JsonLinesWriter(names, text); });
}

}  // namespace

ExportOutcome RunExport(ByteView file, const ConversionOptions& options, ExportFormat format,
                        OutputSink& output, OutputSink& popups, Console& console,
                        size_t chunkBytes) {
  const Result<ExportDatabase> loaded = LoadDatabaseForExport(file, options, console);
  if (!loaded) return ExportOutcome{loaded.status(), loaded.status()};
  const ExportDatabase& database = *loaded;
  if (const Status opened = output.Open(); !opened) {
    return ExportOutcome{{}, console.Refuse(opened.message())};
  }
  Status status;
  Status written;
  if (format == ExportFormat::kSqlite) {
#ifdef QV_NO_SQLITE
    return ExportOutcome{{}, console.Refuse("This build cannot write SQLite files")};
#else
    // A SQLite file that failed is not written at all.
    const Result<RenderedSqlite> sqlite =
        RenderSqliteDatabase(database, options, options.pdbFile, console);
    if (!sqlite) return ExportOutcome{{}, sqlite.status()};
    status = sqlite->records;
    // Handed over in chunks like the texts, so that the file's way to the
    // disk starts while the rest is still being copied.
    ChunkedOutput out(output, CsvEncoding::kBytes, chunkBytes, 0);
    out.Append(sqlite->file.bytes());
    written = out.status();
#endif
  } else {
    // JSON Lines is UTF-8 as written; CSV is converted as the options say.
    const bool csv = format == ExportFormat::kCsv;
    ChunkedOutput out(output, csv ? options.encoding : CsvEncoding::kBytes, chunkBytes,
                      ExpectedTextBytes(file.size(), format));
    status = csv ? WriteCsv(database, options, popups, out, console)
                 : WriteJsonLines(database, options, out, console);
    out.Flush();
    written = out.status();
  }
  if (written) written = output.Finish();
  if (!written) {
    Failure failed = console.Refuse(written.message());
    if (status) status = std::move(failed);
  }
  return ExportOutcome{{}, std::move(status)};
}

ExportResult ExportToMemory(ByteView file, const ConversionOptions& options, ExportFormat format,
                            Console& console) {
  StringSink output;
  output.text.reserve(ExpectedTextBytes(file.size(), format));
  StringSink popups;
  const ExportOutcome outcome = RunExport(file, options, format, output, popups, console);
  return ExportResult{outcome.loaded, outcome.ok, std::move(output.text), std::move(popups.text)};
}

ExportResult ExportToCsvText(ByteView file, const ConversionOptions& options, Console& console) {
  return ExportToMemory(file, options, ExportFormat::kCsv, console);
}

}  // namespace qv
