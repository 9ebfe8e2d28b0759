// Arbitrary CSV bytes through the whole import, inferring the fields, over
// the definitions of an arbitrary existing database, or from an arbitrary
// schema file. Whatever the
// import accepts must come out as a database the export reads whole.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  qv::ConversionOptions options;
  options.dateFormat = input.ConsumeIntegralInRange<int>(-1, 7);
  options.timeFormat = input.ConsumeIntegralInRange<int>(-1, 5);
  options.fieldNames = input.ConsumeBool();
  options.extraDiag = input.ConsumeBool();
  options.separator = input.PickValueInArray({',', ';', '\t'});
  options.encoding = input.PickValueInArray(
      {qv::CsvEncoding::kBytes, qv::CsvEncoding::kUtf8, qv::CsvEncoding::kUtf8Bom});
  options.databaseName = input.ConsumeRandomLengthString(31);
  if (options.databaseName.empty()) options.databaseName = "Fuzz";

  qv::ImportSource source;
  std::string existing;
  std::string schema;
  const int definitions = input.ConsumeIntegralInRange<int>(0, 2);
  source.useExisting = definitions == 1;
  if (source.useExisting && input.ConsumeBool()) {
    existing = input.ConsumeRandomLengthString(size);
    source.existing = qv::AsBytes(existing);
  }
  if (definitions == 2) {
    schema = input.ConsumeRandomLengthString(size);
    source.schemaText = schema;
    source.schemaName = "schema.csv";
  }
  const std::string csv = input.ConsumeRemainingBytesAsString();
  source.csvText = csv;

  qv::Console console;
  const qv::Result<qv::Bytes> database = qv::ImportCsvToDatabase(source, options, console);
  if (!database) {
    QV_FUZZ_CHECK(console.text().find("ERROR:") != std::string::npos);
    return 0;
  }
  QV_FUZZ_CHECK(database->size() >= qv::kHeaderSize);

  // An existing database may forbid the export or ask for a password; the
  // definitions it lends are kept, so the new one does the same.
  options.givenPassword.clear();
  qv::Console exportConsole;
  const qv::ExportResult result = qv::ExportToCsvText(*database, options, exportConsole);
  if (!source.useExisting) QV_FUZZ_CHECK(result.loaded);
  if (result.loaded) QV_FUZZ_CHECK(result.ok);
  return 0;
}
