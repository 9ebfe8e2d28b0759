// Data records to typed cells: each field of a record decoded once, by the
// field types table, into the cell a writer renders (convert/cells.h).
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/cells.h"
#include "fields/field_types.h"
#include "fields/popup_list.h"
#include "fields/record_layout.h"
#include "pdb/byte_io.h"
#include "pdb/master_record.h"

namespace qv {

class RecordDecoder {
 public:
  // `master` and the lists must outlive the decoder; cells view them.
  RecordDecoder(const MasterRecord& master, const PopupListViews& popupLists);

  // The cell of `slot` of a record split by SplitRecordFields: kNone when the
  // field has no data, for a slot outside 0-29, for types 0, 7, 13 and codes
  // above 15, and when a number, date or time holds fewer than 4 bytes.
  // Stored texts end at their NUL or at the end of their data. A popup
  // index takes its text from the slot's list (cut to 79). A type-15 field
  // follows its definition's subKind: 0, 1, 4-6 the stored text, 2 a number
  // of seconds as a time, 3 a day count as a date; any other subKind gives
  // the text "Error!".
  Cell DecodeField(const RecordFields& fields, int slot) const;

  // The cells of `slots` (in that order) of `record`, into `row`, which
  // must be as long as `slots`. The record is walked once.
  void DecodeRow(ByteView record, std::span<const int> slots, std::span<Cell> row) const;

 private:
  const MasterRecord& master_;
  // Each slot's entry layout, looked up once.
  std::array<EntryLayout, kFieldSlots> layouts_{};
  // The text of every choice index of each popup slot's list.
  std::array<std::vector<std::string_view>, kFieldSlots> choices_;
};

// Rendering one field of one record on its own, for checks and tools: the
// text the CSV writer puts into the field's cell (before quoting).
struct RenderContext {
  const MasterRecord& master;
  int dateFormat = 0;
  int timeFormat = 0;
  PopupListViews popupLists{};
};

// The CSV text of field `slot` of `record` (empty for a slot outside 0-29).
std::string RenderField(const RenderContext& context, ByteView record, int slot);

// A type-15 field read by its definition's subKind, as RenderField does,
// except that a field without data (or a slot outside 0-29) gives "Error!".
std::string RenderSubKindField(const RenderContext& context, ByteView record, int slot);

}  // namespace qv
