// Arbitrary database bytes through the whole export, with every option the
// export reads taken from the input, in one chunk and in small ones, and
// through the JSON Lines and SQLite writers of the same rows.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "convert/export_core.h"
#include "convert/info_core.h"
#include "convert/json_export.h"
#include "convert/sqlite_export.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  qv::ConversionOptions options;
  // Formats just outside the valid ranges too: they must render as empty.
  options.dateFormat = input.ConsumeIntegralInRange<int>(-1, 7);
  options.timeFormat = input.ConsumeIntegralInRange<int>(-1, 5);
  options.placeQuotes = input.ConsumeBool();
  options.fieldNames = input.ConsumeBool();
  options.extraDiag = input.ConsumeBool();
  if (input.ConsumeBool()) options.popupFile = "popups.csv";
  options.separator = input.PickValueInArray({',', ';', '\t'});
  options.encoding = input.PickValueInArray(
      {qv::CsvEncoding::kBytes, qv::CsvEncoding::kUtf8, qv::CsvEncoding::kUtf8Bom});
  options.givenPassword = input.ConsumeRandomLengthString(31);
  const std::string file = input.ConsumeRemainingBytesAsString();

  qv::Console console;
  const qv::ExportResult result =
      qv::ExportToCsvText(qv::AsBytes(file), options, console);
  QV_FUZZ_CHECK(result.loaded || !result.ok);
  QV_FUZZ_CHECK(result.loaded || result.csv.empty());
  if (!result.ok) QV_FUZZ_CHECK(console.text().find("ERROR:") != std::string::npos);
  // The same sequence in small chunks gives the same bytes and messages.
  qv::StringSink chunked;
  qv::StringSink chunkedPopups;
  qv::Console chunkedConsole;
  const qv::ExportOutcome outcome =
      qv::RunExport(qv::AsBytes(file), options, qv::ExportFormat::kCsv, chunked, chunkedPopups,
                    chunkedConsole, 1 + file.size() % 61);
  QV_FUZZ_CHECK(outcome.loaded.ok() == result.loaded.ok() && outcome.ok.ok() == result.ok.ok());
  QV_FUZZ_CHECK(chunked.text == result.csv && chunkedPopups.text == result.popups);
  QV_FUZZ_CHECK(chunkedConsole.text() == console.text());

  // The typed outputs load and read the records as the export does. Every
  // JSON line is one object with no raw control character; the SQLite file
  // is one whenever it was written.
  qv::Console jsonConsole;
  const qv::ExportResult json = qv::ExportToJsonText(qv::AsBytes(file), options, jsonConsole);
  QV_FUZZ_CHECK(json.loaded.ok() == result.loaded.ok() && json.ok.ok() == result.ok.ok());
  for (size_t start = 0; start < json.csv.size();) {
    const size_t end = json.csv.find('\n', start);
    QV_FUZZ_CHECK(end != std::string::npos && end > start + 1);
    QV_FUZZ_CHECK(json.csv[start] == '{' && json.csv[end - 1] == '}');
    for (size_t k = start; k < end; ++k) {
      QV_FUZZ_CHECK(static_cast<unsigned char>(json.csv[k]) >= 0x20);
    }
    start = end + 1;
  }
  qv::Console sqliteConsole;
  const qv::ExportResult sqlite =
      qv::ExportToSqliteBytes(qv::AsBytes(file), options, sqliteConsole);
  QV_FUZZ_CHECK(sqlite.loaded.ok() == result.loaded.ok());
  if (!sqlite.csv.empty()) QV_FUZZ_CHECK(sqlite.csv.rfind("SQLite format 3", 0) == 0);
  if (sqlite.ok) QV_FUZZ_CHECK(result.ok && !sqlite.csv.empty());

  // The description and schema of COMMAND:INFO load the database the same way.
  options.schemaFile = "schema.csv";
  qv::Console infoConsole;
  const qv::DatabaseDescription description =
      qv::DescribeDatabaseText(qv::AsBytes(file), options, infoConsole);
  QV_FUZZ_CHECK(description.loaded.ok() == result.loaded.ok());
  // Whatever the names hold, the description reaches the terminal without
  // a control character other than its own line ends.
  for (const char c : description.text) {
    const auto byte = static_cast<unsigned char>(c);
    QV_FUZZ_CHECK(byte == '\n' || (byte >= 0x20 && byte != 0x7F));
  }
  return 0;
}
