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
  std::vector<qv::SchemaField> fields;
  std::string error;
  if (!qv::ParseSchema(text, fields, error)) {
    QV_FUZZ_CHECK(fields.empty() && !error.empty());
    return 0;
  }
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

  std::vector<qv::SchemaField> again;
  const std::string written = qv::WriteSchema(master, views);
  QV_FUZZ_CHECK(qv::ParseSchema(written, again, error));
  QV_FUZZ_CHECK(again.size() == fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    QV_FUZZ_CHECK(again[i].name == fields[i].name);
    QV_FUZZ_CHECK(again[i].type == fields[i].type);
  }
  return 0;
}
