#include "support/random_database.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <numeric>
#include <random>
#include <string_view>

#include "support/db_builder.h"

namespace qv::testing {
namespace {

// The last day of 2031, the last year a stored date can show.
constexpr uint32_t kLastCalendarDay = 46751;
constexpr size_t kShortTextMax = 9;
constexpr int kMaxChoices = 30;

class Draw {
 public:
  explicit Draw(uint32_t seed) : engine_(seed) {}

  uint32_t Below(uint32_t bound) { return bound == 0 ? 0 : engine_() % bound; }
  int Between(int low, int high) { return low + static_cast<int>(Below(static_cast<uint32_t>(high - low + 1))); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  uint32_t Word() { return engine_(); }
  std::mt19937& engine() { return engine_; }

 private:
  std::mt19937 engine_;
};

// Bytes a stored text may hold: everything but NUL and CR. Plain letters
// come often, so that texts read naturally; the rest tests quoting and the
// character set.
char TextByte(Draw& draw, bool lineBreaks) {
  static constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static constexpr std::string_view kSpecial = ",\"' ;:.-/\t{}";
  const uint32_t roll = draw.Below(100);
  if (roll < 70) return kPlain[draw.Below(kPlain.size())];
  if (roll < 88) return kSpecial[draw.Below(kSpecial.size())];
  if (roll < 94 && lineBreaks) return '\n';
  // Any other byte but NUL, CR and LF.
  char c = '\0';
  while (c == '\0' || c == '\r' || c == '\n') c = static_cast<char>(draw.Between(1, 255));
  return c;
}

std::string Text(Draw& draw, size_t maxLength, bool lineBreaks) {
  std::string text;
  const size_t length = draw.Below(static_cast<uint32_t>(maxLength + 1));
  text.reserve(length);
  for (size_t i = 0; i < length; ++i) text.push_back(TextByte(draw, lineBreaks));
  // Leading and trailing blanks, and empty lines inside a note, now and then.
  if (draw.Chance(10)) text = "  " + text + " ";
  if (lineBreaks && draw.Chance(10)) text += "\n\nlast paragraph\n";
  return text;
}

bool ContainsNoValue(std::string_view text) {
  static constexpr std::string_view kMarker = "no value";
  if (text.size() < kMarker.size()) return false;
  for (size_t at = 0; at + kMarker.size() <= text.size(); ++at) {
    bool same = true;
    for (size_t i = 0; i < kMarker.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(text[at + i])) == kMarker[i];
    }
    if (same) return true;
  }
  return false;
}

// Distinct ignoring case (each ends with its own number), not empty, within
// 79 characters, without the no-value marker.
std::vector<std::string> Choices(Draw& draw) {
  std::vector<std::string> choices(draw.Below(kMaxChoices + 1));
  for (size_t i = 0; i < choices.size(); ++i) {
    std::string choice;
    do {
      choice = Text(draw, 20, false) + "#" + std::to_string(i);
    } while (ContainsNoValue(choice));
    choices[i] = choice;
  }
  return choices;
}

struct Layout {
  std::array<uint32_t, kFieldSlots> types{};
  std::array<std::vector<std::string>, kFieldSlots> choices;
  int lastUsed = -1;
};

Layout ChooseLayout(const RandomDatabaseSpec& spec, Draw& draw) {
  Layout layout;
  const int fields = std::clamp(spec.fields, 1, kFieldSlots);
  // Used slots: the first `fields` slots, or a random subset of all 30.
  std::array<int, kFieldSlots> slots{};
  std::iota(slots.begin(), slots.end(), 0);
  if (spec.gaps) std::shuffle(slots.begin(), slots.end(), draw.engine());
  std::sort(slots.begin(), slots.begin() + fields);
  const std::vector<uint32_t>& pool =
      spec.types.empty() ? RoundTripFieldTypes() : spec.types;
  for (int i = 0; i < fields; ++i) {
    const size_t slot = static_cast<size_t>(slots[i]);
    layout.types[slot] = pool[draw.Below(static_cast<uint32_t>(pool.size()))];
    if (layout.types[slot] == kPopup) layout.choices[slot] = Choices(draw);
    layout.lastUsed = std::max(layout.lastUsed, slots[i]);
  }
  return layout;
}

void AddValue(RowBuilder& row, uint32_t type, const std::vector<std::string>& choices,
              size_t maxTextLength, Draw& draw) {
  switch (type) {
    case kText:
    case kLongText:
    case kText2:
      row.Text(Text(draw, maxTextLength, true));
      break;
    case kShortText:
      row.Text(Text(draw, kShortTextMax, false).substr(0, kShortTextMax));
      break;
    case kInteger:
    case kUniqueInteger:
    case kUniqueInteger2:
      row.Int(static_cast<int32_t>(draw.Word()));
      break;
    case kUniqueIntegerExt: {
      Bytes data;
      ByteWriter out(data);
      out.WriteU32LE(draw.Word());
      out.WriteZeros(20);
      row.Raw(data);
      break;
    }
    case kPopup:
      row.Byte(choices.empty() || draw.Chance(15)
                   ? 255
                   : static_cast<uint8_t>(draw.Below(static_cast<uint32_t>(choices.size()))));
      break;
    case kCheckBox:
      row.Byte(static_cast<uint8_t>(draw.Below(2)));
      break;
    case kDate:
      row.Date(draw.Chance(10) ? 0 : draw.Below(kLastCalendarDay + 1));
      break;
    case kTime:
      if (draw.Chance(10)) {
        row.Time(255, 0);
      } else {
        row.Time(static_cast<uint8_t>(draw.Below(24)), static_cast<uint8_t>(draw.Below(60)));
      }
      break;
    default:
      row.Empty();
      break;
  }
}

void SetDefinitions(const Layout& layout, const RandomDatabaseSpec& spec, Draw& draw,
                    TestDatabase& db) {
  for (int slot = 0; slot < kFieldSlots; ++slot) {
    const uint32_t type = layout.types[static_cast<size_t>(slot)];
    if (type == kEmptySlot) continue;
    std::string name = Text(draw, 12, false).substr(0, kFieldNameMax - 3);
    db.AddField(slot, type, name + "#" + std::to_string(slot));
    if (type == kLongText) db.master.fields[static_cast<size_t>(slot)].longTextFlag = 1;
    if (type == kPopup) db.SetPopup(slot, layout.choices[static_cast<size_t>(slot)]);
  }
  if (spec.shuffleColumns) std::shuffle(db.master.columnOrder.begin(), db.master.columnOrder.end(), draw.engine());
}

}  // namespace

std::vector<uint32_t> RoundTripFieldTypes() {
  return {kText,     kInteger, kShortText,        kPopup,       kCheckBox, kUniqueInteger,
          kDate,     kTime,    kUniqueInteger2,   kUniqueIntegerExt, kLongText, kText2};
}

RandomDatabase MakeRandomDatabase(const RandomDatabaseSpec& spec) {
  Draw draw(spec.seed);
  TestDatabase db("Random " + std::to_string(spec.seed));
  const Layout layout = ChooseLayout(spec, draw);
  SetDefinitions(layout, spec, draw, db);

  RandomDatabase result;
  result.columns = std::clamp(spec.fields, 1, kFieldSlots);
  const bool prefix = spec.recordPrefix.value_or(draw.Chance(30));
  const int version = spec.formatVersion.value_or(draw.Chance(25) ? 1 : 2);
  if (spec.password.value_or(draw.Chance(25))) result.password = "Pw" + std::to_string(draw.Below(1000));
  db.master.recordPrefixFlag = prefix ? 1 : 0;
  db.master.formatVersion = static_cast<int8_t>(version);
  SetFixedText(db.master.password, result.password);
  if (version == 2) {
    // Any settings for the other operations; the export (operation 0) asks
    // for the password exactly when there is one.
    db.master.permissionBits = draw.Word() & ~3u;
    if (!result.password.empty()) SetPermission(db.master, 0, 1);
  }

  const int rows = std::clamp(spec.rows, 0, kMaxDataRows);
  db.rows.reserve(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    RowBuilder row;
    row.Prefix(prefix);
    for (int slot = 0; slot <= layout.lastUsed; ++slot) {
      AddValue(row, layout.types[static_cast<size_t>(slot)], layout.choices[static_cast<size_t>(slot)],
               spec.maxTextLength, draw);
    }
    db.rows.push_back(row.EndMark().Build());
  }

  if (version == 2) {
    result.file = db.Build();
    return result;
  }
  // A version 1 definition record ends before the permission tail.
  std::vector<Bytes> records;
  records.reserve(1 + kFieldSlots + db.rows.size());
  Bytes master;
  ByteWriter out(master);
  WriteMasterRecord(db.master, out);
  master.resize(kMasterRecordV1Size);
  records.push_back(std::move(master));
  records.insert(records.end(), db.popupLists.begin(), db.popupLists.end());
  records.insert(records.end(), std::make_move_iterator(db.rows.begin()),
                 std::make_move_iterator(db.rows.end()));
  Result<Bytes> file = AssembleDatabase(db.header, records);
  if (file) result.file = std::move(*file);
  return result;
}

}  // namespace qv::testing
