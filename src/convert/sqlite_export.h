// COMMAND:TOSQLITE without the disk: a loaded database as the bytes of a
// SQLite database file, built in one block of memory in one transaction, so
// that the caller writes it like any other output (whole or not at all).
//
// The file holds:
//   "<database name>"  one row per data record, in record order (rowid 1,
//                      2, ...), one column per visible field, named as
//                      UniqueColumnNames gives: INTEGER for numbers, unique
//                      numbers and check boxes (0/1), TEXT for the rest
//                      (dates YYYY-MM-DD, times HH:MM, a popup's choice);
//                      NULL where there is no value.
//   qv_fields   (position, slot, name, type, maxLength, visible): every
//               defined field; position is the column's from 1 (NULL for a
//               field that is not shown), slot counts from 1.
//   qv_choices  (field, position, choice): the choices of each slot's popup
//               list, field being the slot from 1 and position the stored
//               index.
//   qv_source   (source, database, created, modified, backed_up, records,
//               version): one row; times as YYYY-MM-DDTHH:MM:SS, backed_up
//               NULL when the database was never backed up.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "convert/console.h"
#include "convert/conversion_options.h"
#include "convert/export_core.h"
#include "pdb/byte_io.h"
#include "pdb/result.h"

struct sqlite3;

namespace qv {

// The name of the records' table: the database's name as UTF-8; "Database"
// when it is empty; after a "_" when it would clash with a qv_ table or take
// SQLite's reserved "sqlite_" prefix.
std::string RecordsTableName(const DatabaseHeader& header);

// The bytes of a SQLite file that RenderSqliteDatabase built. They are the
// memory of the connection that wrote them (no copy is made) and stay valid
// as long as the object; a moved-from object holds none.
class SqliteFileBytes {
 public:
  // Closes the connection, and with it frees the bytes.
  struct Close {
    void operator()(sqlite3* db) const;
  };

  SqliteFileBytes(std::unique_ptr<sqlite3, Close> db, std::string_view bytes);
  ~SqliteFileBytes();
  SqliteFileBytes(SqliteFileBytes&& other) noexcept;
  SqliteFileBytes(const SqliteFileBytes&) = delete;
  SqliteFileBytes& operator=(const SqliteFileBytes&) = delete;
  SqliteFileBytes& operator=(SqliteFileBytes&&) = delete;

  std::string_view bytes() const { return bytes_; }

 private:
  std::unique_ptr<sqlite3, Close> db_;
  std::string_view bytes_;
};

// A SQLite file that was built, and whether every record went into it:
// `records` succeeds, or is the refusal of the first record that could not
// be read (the file then holds every other one).
struct RenderedSqlite {
  SqliteFileBytes file;
  Status records;
};

// Builds the SQLite file of `database`. `sourceName` is stored in
// qv_source. A record that cannot be read is reported and skipped; a
// failure of SQLite itself is refused (Console::Refuse) and gives no file.
// The file may reach 2 GB; a larger one is such a failure.
Result<RenderedSqlite> RenderSqliteDatabase(const ExportDatabase& database,
                                            const ConversionOptions& options,
                                            std::string_view sourceName, Console& console);

// ExportToMemory as SQLite, for tests and fuzzing: the same checks and
// messages as ExportToCsvText; `csv` holds the file's bytes.
ExportResult ExportToSqliteBytes(ByteView file, const ConversionOptions& options,
                                 Console& console);

}  // namespace qv
