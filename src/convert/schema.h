// Schema files: a database's field definitions as text a person can read and
// edit, written from a database and read back to define a new one.
//
// A schema is CSV text in the export's dialect (comma separator, values
// quoted as the export quotes them), one field per line in column order:
//
//   name,type,maxLength[,choice1,choice2,...]
//
// - name: the field name, taken exactly as written, at most 19 bytes (a
//   longer name is refused rather than cut, so nothing is silently lost).
//   An empty name is accepted: databases can hold one.
// - type: one of "text", "integer", "short text", "popup", "check box",
//   "unique integer", "date", "time", "long text", ignoring ASCII case and
//   blanks around it. A database whose field has another type code writes
//   the code as a number; such a line is refused on reading, since a new
//   database cannot be given that type.
// - maxLength: a whole number 0 to 65535 (blanks around it ignored), or
//   empty, in which case the import derives it from the CSV data.
// - choices: only on popup fields, each at most 79 bytes, at most 30 (as
//   many as a list taken over by the import keeps and lookups examine).
//   Empty cells are ignored, so rows padded with commas by a spreadsheet
//   still read; an empty choice would end the list anyway.
//
// Lines that are empty, hold only blanks, or begin with "#" are comments.
// A name that begins with "#" is therefore always written in quotes. A
// UTF-8 byte-order mark at the very start is skipped, as some editors add
// one. Quoted names and choices may hold commas, quotes and line breaks;
// a line number in an error is the physical line where the field starts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "csv/csv_reader.h"
#include "pdb/byte_io.h"
#include "pdb/master_record.h"
#include "pdb/result.h"

namespace qv {

struct SchemaField {
  std::string name;
  uint32_t type = kText;
  std::optional<uint32_t> maxLength;  // nothing: derive from the CSV
  std::vector<std::string> choices;   // popup fields only
};

// The schema name of a type code, or the code in decimal for a type that
// has no name here.
std::string SchemaTypeName(uint32_t type);

// The type code of one of the nine type names (ASCII case ignored, no
// blanks), or nothing.
std::optional<uint32_t> SchemaTypeFromName(std::string_view name);

// A comment line, then one line per used field in column order. Popup
// fields list the choices of `popupLists[slot]` up to its end (at most 30,
// each cut to 79 bytes, which is what the import would keep of them).
std::string WriteSchema(const MasterRecord& master,
                        const std::array<std::optional<ByteView>, kFieldSlots>& popupLists);

// Reads a schema: 1 to 30 fields, or one message, beginning "line N: " when
// a line is at fault.
Result<std::vector<SchemaField>> ParseSchema(std::string_view text);

// Field i goes to slot i: name, type, longTextFlag (1 for long text, else 0)
// and maxLength when the schema gives one; the column order becomes slot
// order, so line i is column i. `master` is expected to hold the defaults;
// slots beyond `fields` are left alone.
// Popup choices are not stored here: they become the start of the popup
// list that the import builds.
void ApplySchema(const std::vector<SchemaField>& fields, MasterRecord& master);

// A schema saved as UTF-8, as handheld bytes (a leading byte-order mark
// dropped). Refused with "line N: ..." for the first character that is not
// valid UTF-8 or that the handheld cannot store.
Result<std::string> SchemaFromUtf8(std::string_view utf8);

// After ApplySchema: each field whose line leaves maxLength empty gets what
// the inference gives a text column, the longest value of its CSV column
// over the data lines + 10 (at most 65535), or 40 without data lines.
void DeriveSchemaMaxLengths(const std::vector<SchemaField>& fields, const CsvTable& lines,
                            bool fieldNames, MasterRecord& master);

// A popup field's choices as a popup list (each choice and a NUL, then
// three NULs), to be taken over first by the import's list.
Bytes SchemaChoiceList(const SchemaField& field);

}  // namespace qv
