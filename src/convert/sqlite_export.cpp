// A database as a SQLite file, through the typed cells: one prepared
// statement per table, every row inside one transaction, the file built in
// one growing block of memory that the caller writes out as it stands.
#include "convert/sqlite_export.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "convert/info_core.h"
#include "convert/schema.h"
#include "convert/typed_writers.h"
#include "csv/byte_scan.h"
#include "fields/charset.h"
#include "fields/field_types.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"

namespace qv {
namespace {

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// `name` as an SQL identifier: between double quotes, inner quotes doubled.
std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

bool IsIntegerType(uint32_t type) {
  switch (GetEntryLayout(type)) {
    case EntryLayout::kInteger:
    case EntryLayout::kUnique:
    case EntryLayout::kUniqueExt:
    case EntryLayout::kCheckBox:
      return true;
    default:
      return false;
  }
}

// A database time as "YYYY-MM-DDTHH:MM:SS".
std::string IsoDatabaseTime(uint32_t seconds) {
  std::string text = FormatDatabaseTime(seconds);
  if (text.size() > 10) text[10] = 'T';
  return text;
}

// The SQLite calls of one conversion; the first failure is kept as the
// status and every later call is skipped.
class Builder {
 public:
  explicit Builder(sqlite3* db) : db_(db) {}

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }

  void Execute(const std::string& sql) {
    if (!ok()) return;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }

  StatementPtr Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (ok() && sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement,
                                   nullptr) != SQLITE_OK) {
      Fail();
    }
    return StatementPtr(statement);
  }

  // Runs a statement whose values are bound, then makes it ready for the
  // next ones.
  void Step(sqlite3_stmt* statement) {
    if (!ok() || statement == nullptr) return;
    if (sqlite3_step(statement) != SQLITE_DONE) Fail();
    sqlite3_reset(statement);
  }

  void Check(int result) {
    if (ok() && result != SQLITE_OK) Fail();
  }

 private:
  void Fail() { status_ = Failure{Format("SQLite: %s", sqlite3_errmsg(db_))}; }

  sqlite3* db_;
  Status status_;
};

// Binds `text` (an empty one too: a null pointer would bind NULL), which
// must stay where it is until the statement is stepped.
void BindText(sqlite3_stmt* statement, int index, std::string_view text, Builder& builder) {
  const char* data = text.empty() ? "" : text.data();
  builder.Check(
      sqlite3_bind_text(statement, index, data, static_cast<int>(text.size()), SQLITE_STATIC));
}

// Binds the cell's value to parameter `index`. Texts in ASCII, the same in
// UTF-8, are bound where they are (the record stays in memory until the row
// is stepped); `buffer` holds any other text until then.
void BindCell(sqlite3_stmt* statement, int index, const Cell& cell, std::string& buffer,
              Builder& builder) {
  switch (cell.kind) {
    case CellKind::kNone:
      builder.Check(sqlite3_bind_null(statement, index));
      return;
    case CellKind::kInteger:
    case CellKind::kUnique:
      builder.Check(sqlite3_bind_int(statement, index, cell.integer));
      return;
    case CellKind::kCheckBox:
      builder.Check(sqlite3_bind_int(statement, index, cell.checked ? 1 : 0));
      return;
    case CellKind::kText:
    case CellKind::kChoice:
    case CellKind::kDate:
    case CellKind::kTime:
      // No choice, no date and no time are NULL; a text always has a value.
      if (!cell.hasValue) {
        builder.Check(sqlite3_bind_null(statement, index));
        return;
      }
      break;
  }
  buffer.clear();
  if (cell.kind == CellKind::kDate || cell.kind == CellKind::kTime) {
    AppendIsoDateOrTime(cell, buffer);
  } else if (IsAscii(cell.text)) {
    BindText(statement, index, cell.text, builder);
    return;
  } else {
    AppendHandheldAsUtf8(cell.text, buffer);
  }
  BindText(statement, index, buffer, builder);
}

void WriteFields(const MasterRecord& master, const std::vector<int>& slots,
                 const std::vector<std::string>& names, Builder& builder) {
  builder.Execute(
      "CREATE TABLE qv_fields (position INTEGER, slot INTEGER, name TEXT, type TEXT, "
      "maxLength INTEGER, visible INTEGER)");
  const StatementPtr insert = builder.Prepare("INSERT INTO qv_fields VALUES (?1,?2,?3,?4,?5,?6)");
  std::string name;
  std::string type;
  for (int slot = 0; slot < kFieldSlots && builder.ok(); ++slot) {
    const FieldDefinition& field = master.fields[slot];
    if (field.type == kEmptySlot) continue;
    int position = 0;
    for (size_t k = 0; k < slots.size(); ++k) {
      if (slots[k] == slot) position = static_cast<int>(k) + 1;
    }
    if (position > 0) {
      name = names[static_cast<size_t>(position - 1)];
      builder.Check(sqlite3_bind_int(insert.get(), 1, position));
    } else {
      name.clear();
      AppendHandheldAsUtf8(FixedText(field.name), name);
      builder.Check(sqlite3_bind_null(insert.get(), 1));
    }
    builder.Check(sqlite3_bind_int(insert.get(), 2, slot + 1));
    BindText(insert.get(), 3, name, builder);
    type = SchemaTypeName(field.type);
    BindText(insert.get(), 4, type, builder);
    builder.Check(sqlite3_bind_int64(insert.get(), 5, field.maxLength));
    builder.Check(sqlite3_bind_int(insert.get(), 6, position > 0 ? 1 : 0));
    builder.Step(insert.get());
  }
}

void WriteChoices(const PopupListViews& lists, Builder& builder) {
  builder.Execute("CREATE TABLE qv_choices (field INTEGER, position INTEGER, choice TEXT)");
  const StatementPtr insert = builder.Prepare("INSERT INTO qv_choices VALUES (?1,?2,?3)");
  std::string choice;
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    int position = 0;
    ForEachChoiceText(lists[static_cast<size_t>(slot)], [&](std::string_view text) {
      const int index = position++;
      // The no-value index is a marker, and an empty text ends the list.
      if (index == kNoChoice || text.empty()) return;
      choice.clear();
      AppendHandheldAsUtf8(text, choice);
      builder.Check(sqlite3_bind_int(insert.get(), 1, slot + 1));
      builder.Check(sqlite3_bind_int(insert.get(), 2, index));
      BindText(insert.get(), 3, choice, builder);
      builder.Step(insert.get());
    });
  }
}

void WriteSource(const ExportDatabase& database, std::string_view sourceName, int64_t rows,
                 Builder& builder) {
  builder.Execute(
      "CREATE TABLE qv_source (source TEXT, database TEXT, created TEXT, modified TEXT, "
      "backed_up TEXT, records INTEGER, version INTEGER)");
  const StatementPtr insert =
      builder.Prepare("INSERT INTO qv_source VALUES (?1,?2,?3,?4,?5,?6,?7)");
  const DatabaseHeader& header = database.header;
  const std::string source(sourceName);
  std::string name;
  AppendHandheldAsUtf8(FixedText(header.name), name);
  const std::string created = IsoDatabaseTime(header.creationTime);
  const std::string modified = IsoDatabaseTime(header.modificationTime);
  const std::string backedUp = IsoDatabaseTime(header.backupTime);
  BindText(insert.get(), 1, source, builder);
  BindText(insert.get(), 2, name, builder);
  BindText(insert.get(), 3, created, builder);
  BindText(insert.get(), 4, modified, builder);
  if (header.backupTime == 0) {
    builder.Check(sqlite3_bind_null(insert.get(), 5));
  } else {
    BindText(insert.get(), 5, backedUp, builder);
  }
  builder.Check(sqlite3_bind_int64(insert.get(), 6, rows));
  builder.Check(sqlite3_bind_int(insert.get(), 7, database.master.formatVersion));
  builder.Step(insert.get());
}

// The page cache of the connection: the pages being filled stay in it and
// the finished ones go on to the file's memory, so a small cache that is
// reused costs less than one that holds the whole file a second time.
constexpr int kCachePages = 64;

// The largest file the memory block may grow to (SQLite allocates no more
// than about 2 GB at once).
constexpr sqlite3_int64 kLargestFile = sqlite3_int64{0x7fff0000};

using Connection = std::unique_ptr<sqlite3, SqliteFileBytes::Close>;

// SQLite's memory from the program's allocator, so that its large blocks
// (the file in memory, which doubles as it grows) are had the way the
// program's own are: where the program asks the system for huge pages, one
// fault per 2 MiB instead of one per 4 KiB. Each block starts with its size,
// which SQLite asks for; blocks stay 8-byte aligned as SQLite requires.
namespace sqlite_memory {

constexpr size_t kHeader = 8;

// SQLite never passes these a null block or a size below 1.
void* Allocate(int size) {
  void* block = ::operator new(kHeader + static_cast<size_t>(size), std::nothrow);
  if (block == nullptr) return nullptr;
  *static_cast<uint64_t*>(block) = static_cast<uint64_t>(size);
  return static_cast<char*>(block) + kHeader;
}

void Free(void* data) { ::operator delete(static_cast<char*>(data) - kHeader); }

int Size(void* data) {
  return static_cast<int>(*reinterpret_cast<const uint64_t*>(static_cast<char*>(data) - kHeader));
}

// As realloc: without the memory, the old block stays as it was.
void* Reallocate(void* data, int size) {
  const int old = Size(data);
  if (size <= old) return data;  // a smaller size keeps the block
  void* grown = Allocate(size);
  if (grown != nullptr) {
    std::memcpy(grown, data, static_cast<size_t>(old));
    Free(data);
  }
  return grown;
}

int Roundup(int size) { return (size + 7) & ~7; }
int Init(void* /*unused*/) { return SQLITE_OK; }
void Shutdown(void* /*unused*/) {}

}  // namespace sqlite_memory

// Opens an empty database whose file is one block of memory that grows as
// pages are written, and that sqlite3_serialize then hands out without a
// copy. The block starts with room for `expectedBytes` (at most
// kLargestFile), so that a file of about that size is written without the
// block being copied as it doubles; only the pages written are touched.
// Fails when SQLite cannot.
Result<Connection> OpenFileInMemory(size_t expectedBytes) {
  const Failure cannot{"SQLite: cannot create a database in memory"};
  // SQLite keeps memory statistics by default, behind a lock taken on every
  // allocation; nothing here reads them. The setting is only taken before
  // SQLite starts, so it is made once, before the first connection.
  static std::once_flag configured;
  std::call_once(configured, [] {
    (void)sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    static const sqlite3_mem_methods methods = {
        sqlite_memory::Allocate, sqlite_memory::Free,   sqlite_memory::Reallocate,
        sqlite_memory::Size,     sqlite_memory::Roundup, sqlite_memory::Init,
        sqlite_memory::Shutdown, nullptr};
    (void)sqlite3_config(SQLITE_CONFIG_MALLOC, &methods);
  });
  sqlite3* opened = nullptr;
  // Each connection is used by one thread at a time.
  const int result = sqlite3_open_v2(
      ":memory:", &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
      nullptr);
  Connection db(opened);
  if (result != SQLITE_OK) return cannot;
  const auto room = static_cast<sqlite3_int64>(
      std::min<size_t>(expectedBytes, static_cast<size_t>(kLargestFile)));
  // Without the room (or without memory for it), the block starts empty
  // and grows as it must.
  auto* block = static_cast<unsigned char*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(room)));
  // With FREEONCLOSE the block is SQLite's from here on, also on failure.
  if (sqlite3_deserialize(db.get(), "main", block, 0, block != nullptr ? room : 0,
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
      SQLITE_OK) {
    return cannot;
  }
  sqlite3_int64 limit = kLargestFile;
  if (sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_SIZE_LIMIT, &limit) != SQLITE_OK) {
    return cannot;
  }
  return db;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

SqliteFileBytes::SqliteFileBytes(std::unique_ptr<sqlite3, Close> db, std::string_view bytes)
    : db_(std::move(db)), bytes_(bytes) {}
SqliteFileBytes::~SqliteFileBytes() = default;
SqliteFileBytes::SqliteFileBytes(SqliteFileBytes&& other) noexcept
    : db_(std::move(other.db_)), bytes_(std::exchange(other.bytes_, {})) {}

void SqliteFileBytes::Close::operator()(sqlite3* db) const { sqlite3_close(db); }

std::string RecordsTableName(const DatabaseHeader& header) {
  std::string name;
  AppendHandheldAsUtf8(FixedText(header.name), name);
  if (name.empty()) return "Database";
  if (StartsWithNoCase(name, "sqlite_") || StartsWithNoCase(name, "qv_")) name.insert(0, "_");
  return name;
}

Result<RenderedSqlite> RenderSqliteDatabase(const ExportDatabase& database,
                                            const ConversionOptions& options,
                                            std::string_view sourceName, Console& console) {
  // The file holds about what the database does: the same values, typed.
  Result<Connection> opened = OpenFileInMemory(database.file.size() + database.file.size() / 4);
  if (!opened) return console.Refuse(opened.message());
  Connection db = std::move(opened).value();
  Builder builder(db.get());
  // Nothing is ever rolled back: a failed file is dropped whole.
  builder.Execute("PRAGMA journal_mode=OFF");
  builder.Execute("PRAGMA cache_size=" + std::to_string(kCachePages));
  builder.Execute("BEGIN");

  const std::vector<int> slots = GetVisibleSlots(database.master);
  const std::vector<std::string> names = UniqueColumnNames(database.master, slots);
  const std::string table = QuoteIdentifier(RecordsTableName(database.header));
  std::string create = "CREATE TABLE " + table + " (";
  std::string insert = "INSERT INTO " + table + " VALUES (";
  for (size_t k = 0; k < slots.size(); ++k) {
    if (k > 0) {
      create += ", ";
      insert += ",";
    }
    create += QuoteIdentifier(names[k]);
    create += IsIntegerType(database.master.fields[static_cast<size_t>(slots[k])].type)
                  ? " INTEGER"
                  : " TEXT";
    insert += "?";
  }
  // A table needs a column; a database without visible fields gets rows
  // that hold only their rowid.
  if (slots.empty()) {
    create = "CREATE TABLE " + table + " (rowid INTEGER PRIMARY KEY";
    insert = "INSERT INTO " + table + " DEFAULT VALUES";
  } else {
    insert += ")";
  }
  create += ")";
  builder.Execute(create);
  // The buffers outlive the statement that is bound to them.
  std::vector<std::string> buffers(slots.size());
  const StatementPtr row = builder.Prepare(insert);

  int64_t rows = 0;
  Status records =
      ForEachDataRow(database, slots, options, console, [&](CellRow cells) {
        if (!builder.ok()) return;
        for (size_t k = 0; k < cells.size(); ++k) {
          BindCell(row.get(), static_cast<int>(k) + 1, cells[k], buffers[k], builder);
        }
        builder.Step(row.get());
        ++rows;
      });

  WriteFields(database.master, slots, names, builder);
  WriteChoices(ReadPopupLists(database.file, database.header.recordCount), builder);
  WriteSource(database, sourceName, rows, builder);
  builder.Execute("COMMIT");
  if (!builder.ok()) return console.Refuse(builder.status().message());

  sqlite3_int64 size = 0;
  const unsigned char* bytes = sqlite3_serialize(db.get(), "main", &size, SQLITE_SERIALIZE_NOCOPY);
  if (bytes == nullptr) return console.Refuse("SQLite: cannot read the database from memory");
  const std::string_view serialized(reinterpret_cast<const char*>(bytes),
                                    static_cast<size_t>(size));
  return RenderedSqlite{SqliteFileBytes(std::move(db), serialized), std::move(records)};
}

ExportResult ExportToSqliteBytes(ByteView file, const ConversionOptions& options,
                                 Console& console) {
  return ExportToMemory(file, options, ExportFormat::kSqlite, console);
}

}  // namespace qv
