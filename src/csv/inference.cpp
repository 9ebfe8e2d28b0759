#include "csv/inference.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace qv {
namespace {

// Longer values make a column long text.
constexpr int kLongestShortText = 244;
// Room given above the longest value.
constexpr int kLengthMargin = 10;
// maxLength is stored in 16 bits.
constexpr int kMaxLengthLimit = 65535;

}  // namespace

int GetNumberOfRecords(const std::vector<CsvLine>& lines, bool fieldNames) {
  size_t count = lines.size();
  if (fieldNames && count > 0) --count;
  return static_cast<int>(std::min<size_t>(count, INT_MAX));
}

int GetLongestValue(const std::vector<CsvLine>& lines, int k, bool fieldNames) {
  if (k < 0) return -1;
  size_t longest = 0;
  bool any = false;
  for (size_t i = fieldNames ? 1 : 0; i < lines.size(); ++i) {
    longest = std::max(longest, lines[i].Field(static_cast<size_t>(k)).size());
    any = true;
  }
  return any ? static_cast<int>(std::min<size_t>(longest, INT_MAX - kLengthMargin)) : -1;
}

void InferFieldsFromCsv(const std::vector<CsvLine>& lines, bool fieldNames, MasterRecord& record) {
  if (lines.empty()) return;
  const CsvLine& first = lines.front();
  const int columns = std::min(first.fieldCount(), kFieldSlots);
  for (int i = 0; i < columns; ++i) {
    const int k = record.columnOrder[static_cast<size_t>(i)];
    if (k < 0 || k >= kFieldSlots) continue;
    FieldDefinition& field = record.fields[static_cast<size_t>(k)];
    field.type = kText;
    if (fieldNames) SetFixedText(field.name, first.Field(static_cast<size_t>(k)));
    const int longest = GetLongestValue(lines, k, fieldNames);
    if (longest == -1) continue;
    if (longest > kLongestShortText) {
      field.type = kLongText;
      field.longTextFlag = 1;
    }
    field.maxLength = static_cast<uint32_t>(std::min(longest + kLengthMargin, kMaxLengthLimit));
  }
}

}  // namespace qv
