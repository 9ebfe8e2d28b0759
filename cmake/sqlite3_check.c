/* Proves that the SQLite built for this target links and works: creates a
   database file (the path given), writes rows in a transaction, reopens the
   file and reads them back. Exits 0 and prints the library version when all
   went as expected, 1 otherwise, naming the step that failed. */
#include <stdio.h>
#include <string.h>

#include "sqlite3.h"

/* Runs `sql` on `db`; on failure prints what failed and returns 0. */
static int Run(sqlite3* db, const char* sql) {
  char* error = NULL;
  if (sqlite3_exec(db, sql, NULL, NULL, &error) == SQLITE_OK) return 1;
  fprintf(stderr, "%s: %s\n", sql, error != NULL ? error : "failed");
  sqlite3_free(error);
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: sqlite3_check FILE\n");
    return 1;
  }
  remove(argv[1]);
  sqlite3* db = NULL;
  if (sqlite3_open(argv[1], &db) != SQLITE_OK) {
    fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const int written = Run(db, "BEGIN") &&
                      Run(db, "CREATE TABLE t(name TEXT, n INTEGER, x REAL, b BLOB)") &&
                      Run(db, "INSERT INTO t VALUES('\xC3\xA9t\xC3\xA9', 42, 0.5, x'00ff')") &&
                      Run(db, "INSERT INTO t VALUES('two', -1, NULL, NULL)") && Run(db, "COMMIT");
  sqlite3_close(db);
  if (!written) return 1;

  db = NULL;
  sqlite3_stmt* query = NULL;
  int ok = sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK &&
           sqlite3_prepare_v2(db, "SELECT name, n, x, length(b), count(*) OVER () FROM t ORDER BY n DESC",
                              -1, &query, NULL) == SQLITE_OK &&
           sqlite3_step(query) == SQLITE_ROW;
  ok = ok && strcmp((const char*)sqlite3_column_text(query, 0), "\xC3\xA9t\xC3\xA9") == 0 &&
       sqlite3_column_int(query, 1) == 42 && sqlite3_column_double(query, 2) == 0.5 &&
       sqlite3_column_int(query, 3) == 2 && sqlite3_column_int(query, 4) == 2;
  sqlite3_finalize(query);
  sqlite3_close(db);
  if (!ok) {
    fprintf(stderr, "the rows read back differ from those written\n");
    return 1;
  }
  printf("SQLite %s works\n", sqlite3_libversion());
  return 0;
}
