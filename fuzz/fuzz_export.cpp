// Arbitrary database bytes through the whole export, with every option the
// export reads taken from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "convert/export_core.h"
#include "convert/info_core.h"
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

  // The description and schema of COMMAND:INFO load the database the same way.
  options.schemaFile = "schema.csv";
  qv::Console infoConsole;
  const qv::DatabaseDescription description =
      qv::DescribeDatabaseText(qv::AsBytes(file), options, infoConsole);
  QV_FUZZ_CHECK(description.loaded == result.loaded);
  // Whatever the names hold, the description reaches the terminal without
  // a control character other than its own line ends.
  for (const char c : description.text) {
    const auto byte = static_cast<unsigned char>(c);
    QV_FUZZ_CHECK(byte == '\n' || (byte >= 0x20 && byte != 0x7F));
  }
  return 0;
}
