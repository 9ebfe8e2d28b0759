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

  std::string back;
  size_t errorOffset = 0;
  QV_FUZZ_CHECK(qv::Utf8ToHandheld(qv::HandheldToUtf8(bytes), back, errorOffset));
  QV_FUZZ_CHECK(back == bytes);

  std::string handheld;
  errorOffset = size + 1;
  if (qv::Utf8ToHandheld(bytes, handheld, errorOffset)) {
    QV_FUZZ_CHECK(qv::HandheldToUtf8(handheld) == bytes);
  } else {
    QV_FUZZ_CHECK(errorOffset < size);
    QV_FUZZ_CHECK(qv::HandheldToUtf8(handheld) == bytes.substr(0, errorOffset));
  }
  QV_FUZZ_CHECK(qv::StripUtf8Bom(bytes).size() + 3 * bytes.starts_with(qv::kUtf8Bom) == size);
  return 0;
}
