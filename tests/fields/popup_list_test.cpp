#include "fields/popup_list.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {
namespace {

using namespace std::string_literals;

ByteView View(const std::string& bytes) { return AsBytes(bytes); }

std::string Choice(const std::string& list, int n) {
  const std::optional<std::string_view> choice = NthChoice(View(list), n);
  return choice ? std::string(*choice) : "<none>";
}

std::string AsString(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(PopupList, NthChoiceWalksTheList) {
  const std::string redGreen = "Red\0Green\0\0\0\0"s;
  ASSERT_EQ(redGreen.size(), 13u);
  EXPECT_EQ(Choice(redGreen, 0), "Red");
  EXPECT_EQ(Choice(redGreen, 1), "Green");
  EXPECT_EQ(Choice(redGreen, 2), "");
  EXPECT_EQ(Choice(redGreen, 3), "<none>");
  EXPECT_EQ(Choice(redGreen, -1), "<none>");

  const std::string empty = "\0\0\0"s;
  EXPECT_EQ(Choice(empty, 0), "");
  EXPECT_EQ(Choice(empty, 1), "");
  EXPECT_EQ(Choice(empty, 2), "<none>");
  EXPECT_EQ(Choice("", 0), "<none>");

  // Without its terminator the last text runs to the end of the bytes and
  // there is no empty end text.
  const std::string unterminated = "Red\0Green"s;
  EXPECT_EQ(Choice(unterminated, 1), "Green");
  EXPECT_EQ(Choice(unterminated, 2), "<none>");
  EXPECT_EQ(Choice("Red\0"s, 1), "<none>");
  EXPECT_EQ(Choice("Red", 0), "Red");
}

TEST(PopupList, ChoiceTextCutsAndMarksNoValue) {
  const std::string redGreen = "Red\0Green\0\0\0\0"s;
  EXPECT_EQ(ChoiceText(View(redGreen), 1), "Green");
  EXPECT_EQ(ChoiceText(View(redGreen), 2), "");
  EXPECT_EQ(ChoiceText(View(redGreen), 3), std::nullopt);
  EXPECT_EQ(ChoiceText(View(redGreen), 255), "No Value");
  EXPECT_EQ(ChoiceText(std::nullopt, -1), "No Value");
  EXPECT_EQ(ChoiceText(std::nullopt, 255, 2), "No");
  EXPECT_EQ(ChoiceText(std::nullopt, 0), std::nullopt);
  EXPECT_EQ(ChoiceText(View(redGreen), 1, 3), "Gre");
  const std::string longChoice = std::string(100, 'x') + "\0\0\0"s;
  EXPECT_EQ(ChoiceText(View(longChoice), 0), std::string(79, 'x'));
}

TEST(PopupList, BuildMergesOldChoicesWithNewValues) {
  const std::string old = "Red\0Green\0\0\0\0"s;
  const Bytes list =
      BuildPopupList(View(old), {"green", "Blue", "", "No Value", "BLUE", "Yellow", "my no value"});
  EXPECT_EQ(AsString(list), "Red\0Green\0Blue\0Yellow\0\0\0\0"s);
  EXPECT_EQ(list.size(), 25u);

  EXPECT_EQ(FindChoiceIndex(list, "blue"), 2);
  EXPECT_EQ(FindChoiceIndex(list, "RED"), 0);
  EXPECT_EQ(FindChoiceIndex(list, "Purple"), -1);
  EXPECT_EQ(FindChoiceIndex(list, "no value"), -1);
  EXPECT_EQ(FindChoiceIndex(list, ""), 4);
  EXPECT_EQ(FindChoiceIndex(list, "Blu"), -1);

  EXPECT_EQ(AsString(BuildPopupList(std::nullopt, {})), "\0\0\0"s);
  // The old list's empty end text stops the take-over; junk after it is dropped.
  EXPECT_EQ(AsString(BuildPopupList(View("A\0\0B\0"s), {})), "A\0\0\0\0"s);
  // A list from a database without its terminator is still taken over.
  EXPECT_EQ(AsString(BuildPopupList(View("A\0B"s), {"c"})), "A\0B\0c\0\0\0\0"s);
  // A value cut at a NUL never becomes an empty choice that ends the list.
  EXPECT_EQ(AsString(BuildPopupList(std::nullopt, {"\0x"s, "y"})), "y\0\0\0\0"s);
}

TEST(PopupList, BuildLimits) {
  std::vector<std::string> texts;
  for (int i = 0; i < 40; ++i) texts.push_back("v" + std::to_string(i));
  const std::vector<std::string_view> values(texts.begin(), texts.end());
  const Bytes list = BuildPopupList(std::nullopt, values);
  for (int i = 0; i < 29; ++i) EXPECT_EQ(Choice(AsString(list), i), texts[i]);
  EXPECT_EQ(Choice(AsString(list), 29), "");
  EXPECT_EQ(FindChoiceIndex(list, "v28"), 28);
  EXPECT_EQ(FindChoiceIndex(list, "v29"), -1);
  // Duplicates do not use up room.
  std::vector<std::string_view> repeated(100, "same");
  repeated.push_back("other");
  EXPECT_EQ(AsString(BuildPopupList(std::nullopt, repeated)), "same\0other\0\0\0\0"s);

  // An old list keeps up to 30 choices and then takes no new value.
  std::string old;
  for (int i = 0; i < 35; ++i) old += "o" + std::to_string(i) + '\0';
  const Bytes kept = BuildPopupList(View(old), {"new"});
  EXPECT_EQ(Choice(AsString(kept), 29), "o29");
  EXPECT_EQ(Choice(AsString(kept), 30), "");
  EXPECT_EQ(FindChoiceIndex(kept, "new"), -1);
  // Lookups stop after 30 choices, so the empty end text of a full list is not found.
  EXPECT_EQ(FindChoiceIndex(kept, "o29"), 29);
  EXPECT_EQ(FindChoiceIndex(kept, ""), -1);

  // Long values are stored cut to 79 but compared whole, so they never match.
  const std::string longValue(90, 'L');
  const Bytes withLong = BuildPopupList(std::nullopt, {longValue, longValue});
  EXPECT_EQ(AsString(withLong), std::string(79, 'L') + '\0' + std::string(79, 'L') + "\0\0\0\0"s);
  EXPECT_EQ(FindChoiceIndex(withLong, longValue), -1);
  EXPECT_EQ(FindChoiceIndex(withLong, std::string(79, 'l')), 0);
}

// The lookup must agree with FindChoiceIndex everywhere, including lists
// with empty choices inside, doubled or missing terminators, repeated
// choices in other cases, more than 30 choices, and cells holding "No Value".
TEST(PopupList, LookupAgreesWithFindChoiceIndex) {
  uint64_t state = 12345;
  const auto next = [&state](uint32_t bound) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((state >> 33) % bound);
  };
  const std::string pieces[] = {"a", "A", "b", "ab", "AB", "No Value", "x\x80", "", ""};
  for (int round = 0; round < 400; ++round) {
    std::string list;
    std::vector<std::string> made;
    const uint32_t choices = next(36);
    for (uint32_t c = 0; c < choices; ++c) {
      std::string choice = pieces[next(9)] + pieces[next(9)];
      made.push_back(choice);
      list += choice;
      list.push_back('\0');
    }
    list.append(next(4), '\0');
    const ChoiceLookup lookup(View(list));
    std::vector<std::string> cells = {"", "no value", "zzz"};
    for (const std::string& choice : made) {
      std::string flipped = choice;
      for (char& c : flipped) {
        if (next(2) != 0 && std::isalpha(static_cast<unsigned char>(c))) c ^= 0x20;
      }
      cells.push_back(flipped);
    }
    for (const std::string& cell : cells) {
      EXPECT_EQ(lookup.Find(cell), FindChoiceIndex(View(list), cell)) << round << ": " << cell;
    }
  }
}

}  // namespace
}  // namespace qv
