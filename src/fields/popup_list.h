// Popup lists: a popup field stores one byte, the index of its choice in the
// slot's list (255 = no value). A list is its choices, each followed by a
// NUL; an empty text ends it. Lists built here end with three NULs after the
// last choice, so an empty list is exactly three NUL bytes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdb/byte_io.h"

namespace qv {

inline constexpr std::string_view kNoValueText = "No Value";
inline constexpr size_t kChoiceMax = 79;         // characters of one choice
inline constexpr int kChoiceLookupLimit = 30;    // choices examined by lookups
inline constexpr int kChoiceBuildLimit = 29;     // values added while building

// The n-th text of a list, or nothing. Walks NULs: n below the number of
// choices gives that choice, n equal to it gives the empty text at the end,
// anything beyond gives nothing. Never reads past `list`.
std::optional<std::string_view> NthChoice(ByteView list, int n);

// The text of choice `index` cut to `limit` characters, into `out`.
// 255 or -1 gives "No Value" (result 0). Without a list, or for an index the
// list does not have: empty text, result -1. Otherwise 0.
int ChoiceText(std::optional<ByteView> list, int index, std::string& out, size_t limit = kChoiceMax);

// Import side. Takes over up to 30 choices of `oldList` (cut to 79), then adds
// each distinct (ASCII case-insensitive) non-empty value of `values` that does
// not contain "No Value", while fewer than 29 choices are held. Returns the
// list bytes: each choice and a NUL, then three NULs.
//
// `values` is the column's cells in line order, without the field-name line,
// and ending before the first line that has fewer fields than the column
// number (the caller stops there). A value counts up to its first NUL.
Bytes BuildPopupList(std::optional<ByteView> oldList, const std::vector<std::string_view>& values);

// Index of the choice equal to `text` ignoring ASCII case (among the first
// 30), or -1; -1 also when `text` contains "No Value". The empty text finds
// the empty text that ends the list.
int FindChoiceIndex(ByteView list, std::string_view text);

// FindChoiceIndex for many texts against one list: the list is walked once,
// up front, instead of once per choice for every text. The list must
// outlive the lookup.
class ChoiceLookup {
 public:
  ChoiceLookup() = default;
  explicit ChoiceLookup(ByteView list);
  int Find(std::string_view text) const;

 private:
  // The texts NthChoice gives for 0, 1, ... up to the first it does not
  // (at most 30), so a position is the index FindChoiceIndex returns.
  std::vector<std::string_view> choices_;
};

}  // namespace qv
