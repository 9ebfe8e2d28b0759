// Writes a random valid database for checks outside the test suite:
//
//   make_random_database SEED FIELDS ROWS OUTPUT.pdb
//
// Every field type the import can write is drawn with equal chance, without
// an export password; the same arguments always give the same bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/random_database.h"

// Writes the database and returns 0, or prints the usage and returns 2.
int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: make_random_database SEED FIELDS ROWS OUTPUT.pdb\n");
    return 2;
  }
  qv::testing::RandomDatabaseSpec spec;
  spec.seed = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  spec.fields = std::atoi(argv[2]);
  spec.rows = std::atoi(argv[3]);
  spec.password = false;
  const qv::testing::RandomDatabase db = qv::testing::MakeRandomDatabase(spec);
  std::FILE* out = std::fopen(argv[4], "wb");
  if (out == nullptr) return 1;
  const bool written = std::fwrite(db.file.data(), 1, db.file.size(), out) == db.file.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}
