#include "fields/popup_list.h"

#include "fields/text_utils.h"
#include "pdb/database.h"

namespace qv {
namespace {

// A choice is the bytes from `start` up to the next NUL, or to the end of a
// list that lost its terminator.
std::string_view ChoiceAt(std::string_view text, size_t start) {
  const size_t nul = text.find('\0', start);
  return text.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start);
}

// A CSV value is a C string on the handheld: anything after a NUL is lost,
// and it must not become an empty choice that would end the list early.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// a == b, compared in line: choices and the cells matched against them are
// a few bytes long, where calling memcmp costs more than comparing.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

PopupListViews ReadPopupLists(ByteView file, uint32_t recordCount) {
  PopupListViews lists;
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    // A list that cannot be read counts as no list.
    const Result<ByteView> list = ReadRecord(file, static_cast<uint32_t>(slot + 1), recordCount);
    if (list) lists[static_cast<size_t>(slot)] = *list;
  }
  return lists;
}

std::optional<std::string_view> NthChoice(ByteView list, int n) {
  const std::string_view text = AsText(list);
  int nulsCounted = 0;
  bool previousWasCountedNul = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (nulsCounted == n) return ChoiceAt(text, i);
    if (text[i] != '\0') {
      previousWasCountedNul = false;
      continue;
    }
    // Two NULs in a row close the list: nothing lies beyond its empty end text.
    if (previousWasCountedNul) return std::nullopt;
    ++nulsCounted;
    previousWasCountedNul = true;
  }
  return std::nullopt;
}

std::optional<std::string> ChoiceText(std::optional<ByteView> list, int index, size_t limit) {
  if (index == kNoChoice || index == -1) return BoundedCopy(kNoValueText, limit);
  if (!list) return std::nullopt;
  const std::optional<std::string_view> choice = NthChoice(*list, index);
  if (!choice) return std::nullopt;
  return BoundedCopy(*choice, limit);
}

std::vector<std::string_view> LeadingChoices(ByteView list) {
  std::vector<std::string_view> choices;
  for (int n = 0; n < kChoiceLookupLimit; ++n) {
    const std::optional<std::string_view> choice = NthChoice(list, n);
    if (!choice || choice->empty()) break;
    choices.push_back(choice->substr(0, kChoiceMax));
  }
  return choices;
}

PopupListBuilder::PopupListBuilder(std::optional<ByteView> oldList) {
  if (oldList) {
    for (const std::string_view choice : LeadingChoices(*oldList)) choices_.emplace_back(choice);
  }
}

void PopupListBuilder::Add(std::string_view raw) {
  if (full()) return;
  // Most values of a column repeat a choice as written; whatever else they
  // hold, they add nothing, so the exact match is tried first.
  const std::string_view value = UpToNul(raw);
  for (const std::string& choice : choices_) {
    if (SameBytes(choice, value)) return;
  }
  if (value.empty() || ContainsNoCase(value, kNoValueText)) return;
  // The whole value is compared, so one longer than a choice never matches
  // its own cut form; the first spelling met is the one kept.
  for (const std::string& choice : choices_) {
    if (EqualsNoCase(value, choice)) return;
  }
  choices_.push_back(BoundedCopy(value, kChoiceMax));
}

Bytes PopupListBuilder::Finish() const { return EncodePopupList(choices_); }

Bytes EncodePopupList(std::span<const std::string> choices) {
  Bytes list;
  for (const std::string& choice : choices) {
    list.insert(list.end(), choice.begin(), choice.end());
    list.push_back(0);
  }
  list.insert(list.end(), 3, 0);
  return list;
}

Bytes BuildPopupList(std::optional<ByteView> oldList, const std::vector<std::string_view>& values) {
  PopupListBuilder builder(oldList);
  for (size_t i = 0; i < values.size() && !builder.full(); ++i) builder.Add(values[i]);
  return builder.Finish();
}

ChoiceLookup::ChoiceLookup(ByteView list) {
  for (int n = 0; n < kChoiceLookupLimit; ++n) {
    const std::optional<std::string_view> choice = NthChoice(list, n);
    if (!choice) break;
    choices_.push_back(*choice);
    if (ContainsNoCase(*choice, kNoValueText)) choiceHoldsNoValue_ = true;
  }
}

int ChoiceLookup::Find(std::string_view text) const {
  // The choice as written first, so that "RED" finds "RED" even after "Red".
  if (!choiceHoldsNoValue_) {
    for (size_t n = 0; n < choices_.size(); ++n) {
      if (SameBytes(choices_[n], text)) return static_cast<int>(n);
    }
  }
  if (ContainsNoCase(text, kNoValueText)) return -1;
  for (size_t n = 0; n < choices_.size(); ++n) {
    if (SameBytes(choices_[n], text)) return static_cast<int>(n);
  }
  for (size_t n = 0; n < choices_.size(); ++n) {
    if (choices_[n].size() == text.size() && EqualsNoCase(choices_[n], text)) {
      return static_cast<int>(n);
    }
  }
  return -1;
}

int FindChoiceIndex(ByteView list, std::string_view text) {
  if (ContainsNoCase(text, kNoValueText)) return -1;
  int caseless = -1;
  for (int n = 0; n < kChoiceLookupLimit; ++n) {
    const std::optional<std::string_view> choice = NthChoice(list, n);
    if (!choice) break;
    if (*choice == text) return n;
    if (caseless < 0 && EqualsNoCase(*choice, text)) caseless = n;
  }
  return caseless;
}

}  // namespace qv
