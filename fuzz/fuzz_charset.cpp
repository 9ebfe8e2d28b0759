// The handheld character set against UTF-8 on arbitrary bytes: every byte
// string converts to UTF-8 and back unchanged, and any UTF-8 the import
// accepts is the one spelling the export would write.
#include <cstdint>
#include <string>
#include <string_view>

#include "fields/charset.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const qv::Result<std::string> back = qv::Utf8ToHandheld(qv::HandheldToUtf8(bytes));
  QV_FUZZ_CHECK(back.ok());
  QV_FUZZ_CHECK(*back == bytes);

  const size_t convertible = qv::HandheldConvertibleLength(bytes);
  const qv::Result<std::string> handheld = qv::Utf8ToHandheld(bytes);
  QV_FUZZ_CHECK(handheld.ok() == (convertible == size));
  const qv::Result<std::string> before = qv::Utf8ToHandheld(bytes.substr(0, convertible));
  QV_FUZZ_CHECK(before.ok());
  QV_FUZZ_CHECK(qv::HandheldToUtf8(*before) == bytes.substr(0, convertible));
  QV_FUZZ_CHECK(qv::StripUtf8Bom(bytes).size() + 3 * bytes.starts_with(qv::kUtf8Bom) == size);
  return 0;
}
