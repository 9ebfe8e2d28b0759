#include "convert/inference.h"

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

int GetNumberOfRecords(const CsvTable& lines, bool fieldNames) {
  size_t count = lines.lineCount();
  if (fieldNames && count > 0) --count;
  return static_cast<int>(std::min<size_t>(count, INT_MAX));
}

int GetLongestValue(const CsvTable& lines, int k, bool fieldNames) {
  if (k < 0) return -1;
  return GetLongestValues(lines, k + 1, fieldNames)[static_cast<size_t>(k)];
}

std::vector<int> GetLongestValues(const CsvTable& lines, int columns, bool fieldNames) {
  const size_t count = static_cast<size_t>(std::max(columns, 0));
  const size_t first = fieldNames ? 1 : 0;
  if (lines.lineCount() <= first) return std::vector<int>(count, -1);
  std::vector<size_t> longest(count, 0);
  for (size_t i = first; i < lines.lineCount(); ++i) {
    // Fields past a line's own count are empty and cannot raise a maximum.
    const size_t own = std::min(count, static_cast<size_t>(lines.fieldCount(i)));
    for (size_t k = 0; k < own; ++k) longest[k] = std::max(longest[k], lines.FieldSize(i, k));
  }
  std::vector<int> result(count);
  for (size_t k = 0; k < count; ++k) {
    result[k] = static_cast<int>(std::min<size_t>(longest[k], INT_MAX - kLengthMargin));
  }
  return result;
}

void InferFieldsFromCsv(const CsvTable& lines, bool fieldNames, MasterRecord& record) {
  if (lines.empty()) return;
  const int columns = std::min(lines.fieldCount(0), kFieldSlots);
  const std::vector<int> longest = GetLongestValues(lines, kFieldSlots, fieldNames);
  for (int i = 0; i < columns; ++i) {
    const int k = record.columnOrder[static_cast<size_t>(i)];
    if (k < 0 || k >= kFieldSlots) continue;
    FieldDefinition& field = record.fields[static_cast<size_t>(k)];
    field.type = kText;
    if (fieldNames) SetFixedText(field.name, lines.Field(0, static_cast<size_t>(k)));
    const int m = longest[static_cast<size_t>(k)];
    if (m == -1) continue;
    if (m > kLongestShortText) {
      field.type = kLongText;
      field.longTextFlag = 1;
    }
    field.maxLength = static_cast<uint32_t>(std::min(m + kLengthMargin, kMaxLengthLimit));
  }
}

}  // namespace qv
