// For random valid databases: export, import over the database's own
// definitions, export again gives the same CSV; and the same CSV with its
// line ends rewritten as CR LF or CR imports to the same data.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "support/convert.h"
#include "support/random_database.h"

namespace qv {
namespace {

using testing::MakeRandomDatabase;
using testing::RandomDatabase;
using testing::RandomDatabaseSpec;

std::string ReplaceLineFeeds(const std::string& text, std::string_view with) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += with;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

using testing::ExportCsv;


// Export, import, export; then the CSV with other line ends. Returns the
// first difference found, or nothing.
std::optional<std::string> CheckRoundTrip(const RandomDatabase& db,
                                          const ConversionOptions& options) {
  const testing::ExportedCsv first = ExportCsv(db.file, options);
  if (!first.Succeeded()) return "the export failed:\n" + first.console;
  for (std::string_view lineEnd : {"\n", "\r\n", "\r"}) {
    const std::string csv = ReplaceLineFeeds(first.result.csv, lineEnd);
    std::string messages;
    const std::optional<Bytes> imported = testing::ImportCsv(csv, options, ByteView(db.file), &messages);
    if (!imported) return "the import failed:\n" + messages;
    // What the export writes reads back as written, so nothing is warned about.
    if (messages.find("WARNING") != std::string::npos) return "the import warned:\n" + messages;
    const testing::ExportedCsv second = ExportCsv(*imported, options);
    if (!second.Succeeded()) return "the export of the import failed:\n" + second.console;
    if (second.result.csv != first.result.csv) {
      return "line ends " + ReplaceLineFeeds(std::string(lineEnd), "\\n") + "\nfirst:\n" +
             first.result.csv + "\nsecond:\n" + second.result.csv;
    }
  }
  return std::nullopt;
}

TEST(PropertyRoundTrip, RandomDatabasesSurviveInEveryFormatAndQuoting) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    RandomDatabaseSpec spec;
    spec.seed = seed;
    spec.rows = static_cast<int>(seed % 25);
    spec.fields = 1 + static_cast<int>(seed * 7 % 30);
    const RandomDatabase db = MakeRandomDatabase(spec);
    ConversionOptions options;
    options.databaseName = "Copy";
    options.givenPassword = db.password;
    options.placeQuotes = seed % 2 == 0;
    options.fieldNames = seed % 3 == 0;
    options.dateFormat = static_cast<int>(seed % 7);
    options.timeFormat = static_cast<int>(seed / 7 % 5);
    const std::optional<std::string> failure = CheckRoundTrip(db, options);
    EXPECT_FALSE(failure.has_value()) << "seed " << seed << ": " << *failure;
  }
}

TEST(PropertyRoundTrip, EveryTypeInFixedLayouts) {
  // One field of each type per database, in slot order and with a
  // prefix, a version 1 definition and a password each way.
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    RandomDatabaseSpec spec;
    spec.seed = 1000 + seed;
    spec.rows = 40;
    spec.fields = 12;
    spec.gaps = seed % 2 == 0;
    spec.shuffleColumns = seed % 4 < 2;
    spec.recordPrefix = seed % 3 == 0;
    spec.formatVersion = seed % 5 == 0 ? 1 : 2;
    spec.password = seed % 6 == 0;
    spec.maxTextLength = seed % 8 == 0 ? 3000 : 40;
    const RandomDatabase db = MakeRandomDatabase(spec);
    ConversionOptions options;
    options.databaseName = "Copy";
    options.givenPassword = db.password;
    options.placeQuotes = seed % 2 == 1;
    options.dateFormat = static_cast<int>(seed % 7);
    options.timeFormat = static_cast<int>(seed % 5);
    const std::optional<std::string> failure = CheckRoundTrip(db, options);
    EXPECT_FALSE(failure.has_value()) << "seed " << spec.seed << ": " << *failure;
  }
}

// One column of one type, with short texts so that empty values are
// frequent: a line of one empty value must stay a record.
TEST(PropertyRoundTrip, OneColumnDatabasesKeepTheirEmptyValues) {
  uint32_t seed = 2000;
  for (const uint32_t type : testing::RoundTripFieldTypes()) {
    for (int variant = 0; variant < 4; ++variant) {
      RandomDatabaseSpec spec;
      spec.seed = ++seed;
      spec.rows = 30;
      spec.fields = 1;
      spec.types = {type};
      spec.maxTextLength = 1;
      const RandomDatabase db = MakeRandomDatabase(spec);
      ConversionOptions options;
      options.databaseName = "Copy";
      options.givenPassword = db.password;
      options.placeQuotes = variant % 2 == 1;
      options.fieldNames = variant >= 2;
      const std::optional<std::string> failure = CheckRoundTrip(db, options);
      EXPECT_FALSE(failure.has_value()) << "type " << type << " seed " << seed << ": " << *failure;
    }
  }
}

TEST(PropertyRoundTrip, GeneratorIsDeterministicAndHonoursItsSettings) {
  RandomDatabaseSpec spec;
  spec.seed = 7;
  spec.rows = 500;
  spec.fields = 12;
  spec.password = true;
  spec.formatVersion = 2;
  const RandomDatabase a = MakeRandomDatabase(spec);
  EXPECT_EQ(a.file, MakeRandomDatabase(spec).file);
  EXPECT_FALSE(a.password.empty());
  ConversionOptions options;
  options.fieldNames = true;
  options.givenPassword = a.password;
  const testing::ExportedCsv exported = ExportCsv(a.file, options);
  ASSERT_TRUE(exported.Succeeded()) << exported.console;
  // The name line and one line per row (the texts may hold line breaks, so
  // count through the reader).
  EXPECT_EQ(ReadCsvTable(exported.result.csv, ',').lineCount(), 501u);
  options.givenPassword = "wrong";
  EXPECT_FALSE(ExportCsv(a.file, options).Succeeded());
}

}  // namespace
}  // namespace qv
