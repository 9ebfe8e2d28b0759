// Popup lists: a popup field stores one byte, the index of its choice in the
// slot's list (255 = no value). A list is its choices, each followed by a
// NUL; an empty text ends it. Lists built here end with three NULs after the
// last choice, so an empty list is exactly three NUL bytes.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdb/byte_io.h"
#include "pdb/master_record.h"

namespace qv {

inline constexpr std::string_view kNoValueText = "No Value";
// The popup index that stands for "no value".
inline constexpr uint8_t kNoChoice = 255;
inline constexpr size_t kChoiceMax = 79;         // characters of one choice
// Choices examined by lookups, listed by INFO and schema files, and taken
// over from an old list.
inline constexpr int kChoiceLookupLimit = 30;
inline constexpr int kChoiceBuildLimit = 29;     // values added while building

// The popup list of each field slot: records 1 to 30 of a database.
using PopupListViews = std::array<std::optional<ByteView>, kFieldSlots>;

// Records 1 to 30 of `file` (whose record list counts `recordCount`
// records), each as a view into `file`, or nothing where a record cannot
// be read.
PopupListViews ReadPopupLists(ByteView file, uint32_t recordCount);

// The n-th text of a list, or nothing. Walks NULs: n below the number of
// choices gives that choice, n equal to it gives the empty text at the end,
// anything beyond gives nothing. Never reads past `list`.
std::optional<std::string_view> NthChoice(ByteView list, int n);

// The text of choice `index` cut to `limit` characters; 255 or -1 gives
// "No Value". Nothing without a list or for an index the list does not have.
std::optional<std::string> ChoiceText(std::optional<ByteView> list, int index,
                                      size_t limit = kChoiceMax);

// Calls `emit` with the text of choice 0, 1, 2, ... of `list` until there
// is no further choice: the texts ChoiceText gives for those indices, as
// views into `list` (index 255 gives the no-value text, as it does there).
// Walks the list once: asking for each index from the start would be
// quadratic in the list's length.
template <typename Emit>
void ForEachChoiceText(std::optional<ByteView> list, Emit emit) {
  if (!list) return;
  std::optional<std::string_view> choice = NthChoice(*list, 0);
  for (int index = 0;; ++index) {
    if (index == kNoChoice) {
      emit(kNoValueText);
    } else if (!choice) {
      return;
    } else {
      // A choice ends at its NUL already; only the length limit applies.
      emit(choice->substr(0, kChoiceMax));
    }
    if (!choice) return;
    // Once an empty text has been passed after the first choice, the list
    // has ended; from the first choice on, the next one lies after the
    // current choice's terminator.
    if (index > 0 && choice->empty()) return;
    const size_t position = static_cast<size_t>(
        reinterpret_cast<const uint8_t*>(choice->data()) - list->data());
    choice = NthChoice(list->subspan(position), 1);
  }
}

// The choices of `list` up to its end, at most kChoiceLookupLimit, each cut
// to kChoiceMax: what lookups examine, what INFO and schema files list and
// what an import takes over. Views into `list`.
std::vector<std::string_view> LeadingChoices(ByteView list);

// Import side: a popup list built from a column's values. Takes over up to
// 30 choices of `oldList` (cut to 79), then adds each distinct (ASCII
// case-insensitive) non-empty value that does not contain "No Value", while
// fewer than 29 choices are held. Finish gives the list bytes: each choice
// and a NUL, then three NULs.
//
// The values are the column's cells in line order, without the field-name
// line, and ending before the first line that has fewer fields than the
// column number (the caller stops there). A value counts up to its first NUL.
class PopupListBuilder {
 public:
  explicit PopupListBuilder(std::optional<ByteView> oldList);
  // True once no value can add a choice: the caller may stop walking.
  bool full() const { return choices_.size() >= static_cast<size_t>(kChoiceBuildLimit); }
  void Add(std::string_view raw);
  Bytes Finish() const;

 private:
  std::vector<std::string> choices_;
};

// The list built from `values` in one call.
Bytes BuildPopupList(std::optional<ByteView> oldList, const std::vector<std::string_view>& values);

// The bytes of a list holding `choices`: each choice and a NUL, then three
// NULs.
Bytes EncodePopupList(std::span<const std::string> choices);

// Index of the choice equal to `text` (among the first 30), else of the
// first one equal ignoring ASCII case, or -1; -1 also when `text` contains
// "No Value". The empty text finds the empty text that ends the list.
int FindChoiceIndex(ByteView list, std::string_view text);

// FindChoiceIndex for many texts against one list: the list is walked once,
// up front, instead of once per choice for every text. The list must
// outlive the lookup.
class ChoiceLookup {
 public:
  ChoiceLookup() = default;
  explicit ChoiceLookup(ByteView list);
  // As FindChoiceIndex.
  int Find(std::string_view text) const;

 private:
  // The texts NthChoice gives for 0, 1, ... up to the first it does not
  // (at most 30), so a position is the index FindChoiceIndex returns.
  std::vector<std::string_view> choices_;
  // Whether some choice holds "No Value" (any letter case). When none
  // does, a text equal to a choice cannot hold it either, so the exact
  // match is tried before the search for it.
  bool choiceHoldsNoValue_ = false;
};

}  // namespace qv
