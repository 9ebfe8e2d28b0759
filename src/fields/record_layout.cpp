// Walking the entries of a data record.
#include "fields/record_layout.h"

namespace qv {

RecordFields SplitRecordFields(ByteView record) {
  RecordFields fields{};
  if (record.empty()) return fields;
  ByteReader reader(record);
  if (reader.ReadU8() != 0) reader.Skip(kRecordPrefixSize);
  for (ByteView& field : fields) {
    const uint16_t length = reader.ReadU16LE();
    if (!reader.ok() || length == kEndMark) break;
    const ByteView data = reader.Take(length);
    if (!reader.ok()) break;
    field = data;
  }
  return fields;
}

}  // namespace qv
