// What one conversion is asked to do: the file names, the CSV dialect, the
// date and time formats and the switches. The command line fills it in
// (cli/options.h); the cores only read it.
#pragma once

#include <string>

namespace qv {

// How the CSV side is encoded. kBytes passes the handheld's bytes through
// unchanged; the UTF-8 forms convert them, the BOM form also marks the file.
enum class CsvEncoding { kBytes, kUtf8, kUtf8Bom };

struct ConversionOptions {
  std::string csvFile;       // the CSV file, in both directions
  std::string pdbFile;       // the database file, in both directions
  std::string popupFile;
  std::string existingFile;
  bool useExisting = false;
  std::string givenPassword;
  std::string databaseName;
  int dateFormat = 0;
  int timeFormat = 0;
  char separator = ',';
  bool placeQuotes = false;
  bool fieldNames = false;
  bool overwrite = false;
  bool extraDiag = false;
  // A cell that is not stored as written fails the import.
  bool strict = false;
  // The schema file: read by TOPDB ("SCHEMA:"), written by INFO ("OUTFILE:").
  std::string schemaFile;
  CsvEncoding encoding = CsvEncoding::kBytes;
  // The most threads one conversion may render rows on. The command line
  // gives a single database's conversion one per core; the folder mode,
  // which converts several files at a time, and the browser keep one.
  unsigned threads = 1;
};

}  // namespace qv
