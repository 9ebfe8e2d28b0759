// Schema files on arbitrary text. A schema that reads must define fields a
// database can hold, and the schema written from that database must read
// back to the same names, types and choices.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/schema.h"
#include "fields/popup_list.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const qv::Result<std::vector<qv::SchemaField>> parsed = qv::ParseSchema(text);
  if (!parsed) {
    QV_FUZZ_CHECK(!parsed.message().empty());
    return 0;
  }
  const std::vector<qv::SchemaField>& fields = *parsed;
  QV_FUZZ_CHECK(!fields.empty() && fields.size() <= static_cast<size_t>(qv::kFieldSlots));

  qv::MasterRecord master;
  qv::SetDefaultMasterRecord(master);
  qv::ApplySchema(fields, master);
  std::array<qv::Bytes, qv::kFieldSlots> lists;
  std::array<std::optional<qv::ByteView>, qv::kFieldSlots> views;
  for (size_t i = 0; i < fields.size(); ++i) {
    QV_FUZZ_CHECK(fields[i].name.size() <= qv::kFieldNameMax);
    std::vector<std::string_view> choices(fields[i].choices.begin(), fields[i].choices.end());
    lists[i] = qv::BuildPopupList(std::nullopt, choices);
    views[i] = qv::ByteView(lists[i]);
  }

  const std::string written = qv::WriteSchema(master, views);
  const qv::Result<std::vector<qv::SchemaField>> reread = qv::ParseSchema(written);
  QV_FUZZ_CHECK(reread.ok());
  const std::vector<qv::SchemaField>& again = *reread;
  QV_FUZZ_CHECK(again.size() == fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    QV_FUZZ_CHECK(again[i].name == fields[i].name);
    QV_FUZZ_CHECK(again[i].type == fields[i].type);
  }
  return 0;
}
