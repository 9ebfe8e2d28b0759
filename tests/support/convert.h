// The two conversions in memory, for the tests of the conversion layer.
// Header-only: only the conversion tests link the conversion library, and the
// other test suites must build without it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "pdb/database.h"
#include "pdb/master_record.h"

namespace qv::testing {

// Exports, and fails the test (showing the console) unless the database
// loaded and every field rendered.
inline ExportResult ExportOrFail(ByteView file, const ConversionOptions& options) {
  Console console;
  ExportResult result = ExportToCsvText(file, options, console);
  EXPECT_TRUE(result.loaded && result.ok) << console.text();
  return result;
}

// An export in memory with what it printed.
struct ExportedCsv {
  ExportResult result;  // loaded, ok, the CSV and the popup file
  std::string console;
  bool Succeeded() const { return result.loaded && result.ok; }
  bool Says(std::string_view text) const { return console.find(text) != std::string::npos; }
};

// ExportToCsvText, keeping the console's text.
inline ExportedCsv ExportCsv(ByteView file, const ConversionOptions& options) {
  Console console;
  ExportedCsv exported;
  exported.result = ExportToCsvText(file, options, console);
  exported.console = console.text();
  return exported;
}

// ImportCsvToDatabase: the database, or nothing when the import failed.
inline std::optional<Bytes> ImportDatabase(const ImportSource& source,
                                           const ConversionOptions& options, Console& console) {
  Result<Bytes> database = ImportCsvToDatabase(source, options, console);
  if (!database) return std::nullopt;
  return std::move(*database);
}

// Imports `csv`, over the definitions of `existing` when one is given;
// `messages`, when given, receives what the import printed.
inline std::optional<Bytes> ImportCsv(std::string_view csv, const ConversionOptions& options,
                                      std::optional<ByteView> existing = std::nullopt,
                                      std::string* messages = nullptr) {
  ImportSource source;
  source.csvText = csv;
  source.useExisting = existing.has_value();
  source.existing = existing;
  Console console;
  std::optional<Bytes> database = ImportDatabase(source, options, console);
  if (messages) *messages = console.text();
  return database;
}

// ImportCsv, failing the test (showing what the import printed) when the
// import failed; an empty database then.
inline Bytes ImportOrFail(std::string_view csv, const ConversionOptions& options,
                          std::optional<ByteView> existing = std::nullopt) {
  std::string messages;
  std::optional<Bytes> database = ImportCsv(csv, options, existing, &messages);
  EXPECT_TRUE(database.has_value()) << messages;
  return database.value_or(Bytes{});
}

// The field definitions of a database the import made; fails the test when
// they do not read.
inline MasterRecord MasterOf(ByteView db) {
  const Result<DatabaseHeader> header = ReadDatabaseHeader(db);
  EXPECT_TRUE(header);
  if (!header) return MasterRecord{};
  const Result<MasterRecord> master = ReadMasterRecord(db, *header);
  EXPECT_TRUE(master);
  return master ? *master : MasterRecord{};
}

}  // namespace qv::testing
