#include "convert/schema.h"

#include <algorithm>

#include "convert/inference.h"
#include "csv/csv_quote.h"
#include "csv/csv_reader.h"
#include "fields/charset.h"
#include "fields/popup_list.h"
#include "fields/text_utils.h"
#include "pdb/format.h"

namespace qv {
namespace {

constexpr char kSeparator = ',';
constexpr std::string_view kHeaderComment =
    "# qv schema: name,type,maxLength[,choices...] (types: text, integer, short text, popup, "
    "check box, unique integer, date, time, long text; an empty maxLength is taken from the "
    "CSV)\n";

struct TypeName {
  uint32_t type;
  std::string_view name;
};

// The types a new database can be given, in code order.
constexpr std::array<TypeName, 9> kTypeNames = {{
    {kText, "text"},
    {kInteger, "integer"},
    {kShortText, "short text"},
    {kPopup, "popup"},
    {kCheckBox, "check box"},
    {kUniqueInteger, "unique integer"},
    {kDate, "date"},
    {kTime, "time"},
    {kLongText, "long text"},
}};

constexpr std::string_view kTypeList =
    "text, integer, short text, popup, check box, unique integer, date, time, long text";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsAllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Digits only, without sign or blanks; nothing when out of `limit`.
std::optional<uint32_t> ParseWholeNumber(std::string_view text, uint32_t limit) {
  if (!IsAllDigits(text)) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// Tracks the physical line number of a position as the parser moves
// forward. CR LF, a lone CR and a lone LF each end one line, as editors
// count them; the CSV reader's own notion of a line end (which swallows an
// LF LF pair) cannot be used for numbering.
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}

  int LineAt(size_t position) {
    for (; counted_ < position && counted_ < text_.size(); ++counted_) {
      const char c = text_[counted_];
      // CR, LF and CR LF each end one line.
      if (c == '\r' || (c == '\n' && (counted_ == 0 || text_[counted_ - 1] != '\r'))) ++line_;
    }
    return line_;
  }

 private:
  std::string_view text_;
  size_t counted_ = 0;
  int line_ = 1;
};

// Length of the physical line at the start of `rest`, its line end included.
size_t PhysicalLineLength(std::string_view rest) {
  const size_t end = rest.find_first_of("\r\n");
  if (end == std::string_view::npos) return rest.size();
  if (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') return end + 2;
  return end + 1;
}

bool IsCommentOrBlankLine(std::string_view rest) {
  if (!rest.empty() && rest.front() == '#') return true;
  const size_t end = rest.find_first_of("\r\n");
  return TrimBlanks(rest.substr(0, end)).empty();
}

std::string TypeError(std::string_view typeText) {
  if (IsAllDigits(typeText)) {
    const std::optional<uint32_t> code = ParseWholeNumber(typeText, 65535);
    for (const TypeName& known : kTypeNames) {
      if (code && known.type == *code) {
        return Format("type %.*s must be written by its name \"%.*s\"", TextLength(typeText),
                      typeText.data(), TextLength(known.name), known.name.data());
      }
    }
    return Format("type %.*s cannot be given to a new database (use one of: %.*s)",
                  TextLength(typeText), typeText.data(), TextLength(kTypeList), kTypeList.data());
  }
  return Format("unknown type \"%.*s\" (use one of: %.*s)", TextLength(typeText), typeText.data(),
                TextLength(kTypeList), kTypeList.data());
}

// One schema line as a field, or why it is refused.
Result<SchemaField> ParseFieldLine(const CsvLine& line) {
  SchemaField field;
  if (line.fieldCount() < 2) {
    return Failure{"expected name,type,maxLength but found no type"};
  }
  field.name = line.fields[0];
  if (field.name.size() > kFieldNameMax) {
    return Failure{Format("the name \"%.*s\" is longer than %zu bytes", TextLength(field.name),
                          field.name.data(), kFieldNameMax)};
  }

  const std::string_view typeText = TrimBlanks(line.Field(1));
  if (typeText.empty()) {
    return Failure{Format("the type of \"%.*s\" is missing (use one of: %.*s)",
                          TextLength(field.name), field.name.data(), TextLength(kTypeList),
                          kTypeList.data())};
  }
  const std::optional<uint32_t> type = SchemaTypeFromName(typeText);
  if (!type) {
    return Failure{TypeError(typeText)};
  }
  field.type = *type;

  const std::string_view lengthText = TrimBlanks(line.Field(2));
  if (!lengthText.empty()) {
    field.maxLength = ParseWholeNumber(lengthText, 65535);
    if (!field.maxLength) {
      return Failure{Format("maxLength \"%.*s\" is not a whole number from 0 to 65535",
                            TextLength(lengthText), lengthText.data())};
    }
  }

  for (size_t k = 3; k < line.fields.size(); ++k) {
    const std::string& choice = line.fields[k];
    if (choice.empty()) continue;
    if (field.type != kPopup) {
      return Failure{Format("choices are allowed only on popup fields, and \"%.*s\" is %s",
                            TextLength(field.name), field.name.data(),
                            SchemaTypeName(field.type).c_str())};
    }
    if (choice.size() > kChoiceMax) {
      return Failure{Format("choice %zu of \"%.*s\" is longer than %zu bytes",
                            field.choices.size() + 1, TextLength(field.name), field.name.data(),
                            kChoiceMax)};
    }
    if (field.choices.size() == kChoiceLookupLimit) {
      return Failure{Format("\"%.*s\" has more than %d choices", TextLength(field.name),
                            field.name.data(), kChoiceLookupLimit)};
    }
    field.choices.push_back(choice);
  }
  return field;
}

// The refusal of line `lineNumber` (from 1).
Failure RefuseLine(int lineNumber, std::string_view message) {
  return Failure{Format("line %d: %.*s", lineNumber, TextLength(message), message.data())};
}

void AppendFieldLine(const FieldDefinition& definition, std::optional<ByteView> popupList,
                     std::string& out) {
  const std::string_view name = FixedText(definition.name).substr(0, kFieldNameMax);
  // Quoted, a leading "#" cannot be mistaken for a comment when read back.
  QuoteCsvValue(name, kSeparator, name.starts_with('#'), out);
  out += kSeparator;
  out += SchemaTypeName(definition.type);
  out += kSeparator;
  out += FormatUnsigned(definition.maxLength);
  if (definition.type == kPopup && popupList) {
    for (const std::string_view choice : LeadingChoices(*popupList)) {
      out += kSeparator;
      QuoteCsvValue(choice, kSeparator, false, out);
    }
  }
  out += '\n';
}

}  // namespace

std::string SchemaTypeName(uint32_t type) {
  for (const TypeName& known : kTypeNames) {
    if (known.type == type) return std::string(known.name);
  }
  return FormatUnsigned(type);
}

std::optional<uint32_t> SchemaTypeFromName(std::string_view name) {
  for (const TypeName& known : kTypeNames) {
    if (EqualsNoCase(name, known.name)) return known.type;
  }
  return std::nullopt;
}

std::string WriteSchema(const MasterRecord& master,
                        const std::array<std::optional<ByteView>, kFieldSlots>& popupLists) {
  std::string out(kHeaderComment);
  // A broken order would repeat or drop slots; the reader repairs it the
  // same way, so fall back to slot order.
  const bool ordered = IsValidColumnOrder(master);
  for (int column = 0; column < kFieldSlots; ++column) {
    const int slot = ordered ? master.columnOrder[column] : column;
    const FieldDefinition& definition = master.fields[slot];
    if (definition.type == kEmptySlot) continue;
    AppendFieldLine(definition, popupLists[slot], out);
  }
  return out;
}

Result<std::vector<SchemaField>> ParseSchema(std::string_view text) {
  std::vector<SchemaField> fields;
  LineCounter lines(text);
  size_t position = text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;

  while (position < text.size()) {
    const int lineNumber = lines.LineAt(position);
    const std::string_view rest = text.substr(position);
    if (IsCommentOrBlankLine(rest)) {
      position += PhysicalLineLength(rest);
      continue;
    }
    // A reader per line: comments are told apart by their raw first byte,
    // which a reader over the whole text would already have consumed.
    CsvReader reader(rest, kSeparator);
    CsvLine line;
    reader.ReadCsvLine(line);
    if (reader.position() == 0) break;  // cannot happen; guards against a hang
    position += reader.position();
    if (line.fieldCount() == 0) continue;  // a NUL read as a line end

    if (fields.size() == static_cast<size_t>(kFieldSlots)) {
      return RefuseLine(lineNumber, Format("more than %d fields", kFieldSlots));
    }
    Result<SchemaField> field = ParseFieldLine(line);
    if (!field) return RefuseLine(lineNumber, field.message());
    fields.push_back(std::move(*field));
  }

  if (fields.empty()) return Failure{"the schema defines no fields"};
  return fields;
}

void ApplySchema(const std::vector<SchemaField>& fields, MasterRecord& master) {
  for (size_t i = 0; i < fields.size() && i < static_cast<size_t>(kFieldSlots); ++i) {
    const SchemaField& field = fields[i];
    FieldDefinition& definition = master.fields[i];
    SetFixedText(definition.name, field.name);
    definition.type = field.type;
    definition.longTextFlag = field.type == kLongText ? 1 : 0;
    if (field.maxLength) definition.maxLength = *field.maxLength;
  }
  // Line i is column i only in slot order.
  for (int column = 0; column < kFieldSlots; ++column) {
    master.columnOrder[column] = static_cast<int8_t>(column);
  }
}

Result<std::string> SchemaFromUtf8(std::string_view utf8) {
  const std::string_view text = StripUtf8Bom(utf8);
  Result<std::string> out = Utf8ToHandheld(text);
  if (out) return out;
  LineCounter lines(text);
  return RefuseLine(lines.LineAt(HandheldConvertibleLength(text)),
                    "the text is not valid UTF-8, or holds a character the handheld cannot store");
}

void DeriveSchemaMaxLengths(const std::vector<SchemaField>& fields, const CsvTable& lines,
                            bool fieldNames, MasterRecord& master) {
  constexpr int kLengthMargin = 10;
  constexpr uint32_t kNoDataLength = 40;
  // The longest value of each column, or -1 without data lines.
  const std::vector<int> longest = GetLongestValues(lines, kFieldSlots, fieldNames);
  for (size_t i = 0; i < fields.size() && i < static_cast<size_t>(kFieldSlots); ++i) {
    if (fields[i].maxLength) continue;
    const int m = longest[i];
    master.fields[i].maxLength =
        m < 0 ? kNoDataLength : static_cast<uint32_t>(std::min(m + kLengthMargin, 65535));
  }
}

Bytes SchemaChoiceList(const SchemaField& field) { return EncodePopupList(field.choices); }

}  // namespace qv
