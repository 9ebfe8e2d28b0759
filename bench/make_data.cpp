// Writes a benchmark database: `rows` data records of a dozen mixed fields,
// shaped like a contact list that has been in use for a while.
//
//   bench_make_data ROWS OUTPUT.pdb [SEED]
//
// The same rows and seed always give the same bytes, so timings taken on
// different days compare the same work.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pdb/byte_io.h"
#include "pdb/database.h"
#include "pdb/master_record.h"
#include "support/db_builder.h"

namespace {

using qv::testing::RowBuilder;
using qv::testing::TestDatabase;

// splitmix64: small, fast and the same on every platform, unlike the
// distributions of <random>.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. bound-1
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(static_cast<uint32_t>(items.size()))];
  }

 private:
  uint64_t state_;
};

const std::vector<std::string> kFirstNames = {
    "Ann",    "Bruno",  "Chiara", "Dmitri", "Elena", "Farid", "Grace",  "Hiro",
    "Ines",   "Jonas",  "Kamala", "Lars",   "Mei",   "Nadia", "Oskar", "Priya",
    "Quentin", "Rosa",  "Sven",   "Tomoko", "Ugo",   "Vera",  "Wanda", "Yusuf"};
const std::vector<std::string> kLastNames = {
    "Abbott",  "Baranski", "Castillo", "Dubois",  "Eriksen", "Fontaine",
    "Gallagher", "Hoffmann", "Iwasaki", "Jankowski", "Kowalczyk", "Lindqvist",
    "Moreau",  "Nakamura", "O'Neill",  "Petrov",  "Quinn",   "Rasmussen",
    "Schmidt", "Takahashi", "Underwood", "Vasquez", "Whitfield", "Zimmermann"};
const std::vector<std::string> kCities = {
    "Aberdeen", "Bologna", "Cork", "Dresden", "Eindhoven", "Fresno", "Graz",
    "Halifax", "Izmir", "Jaipur", "Kyoto", "Lyon", "Malmo", "Nantes", "Porto"};
const std::vector<std::string> kColours = {"Red", "Green", "Blue", "Yellow"};
const std::vector<std::string> kTiers = {"Bronze", "Silver", "Gold"};
const std::vector<std::string> kWords = {
    "call",  "back",    "about", "the",      "order",   "invoice", "meeting",
    "on",    "Tuesday", "sent",  "samples",  "prefers", "email",   "new",
    "address", "follow-up", "quote", "approved", "pending", "review", "deliver",
    "before", "noon",   "asked", "for",      "discount", "renewal", "contract"};

// 0 to 40 words; one note in ten runs over two lines, and now and then a
// comma or a quoted word makes the exported value need quoting.
std::string Note(Random& random) {
  const uint32_t words = random.Below(41);
  const bool twoLines = words > 1 && random.OneIn(10);
  std::string note;
  for (uint32_t w = 0; w < words; ++w) {
    if (w > 0) note += (twoLines && w == words / 2) ? "\n" : " ";
    if (random.OneIn(60)) {
      note += '"' + random.Pick(kWords) + '"';
    } else {
      note += random.Pick(kWords);
    }
    if (w + 1 < words && random.OneIn(12)) note += ',';
  }
  return note;
}

std::string Code(Random& random) {
  std::string code;
  const uint32_t length = 3 + random.Below(7);
  for (uint32_t i = 0; i < length; ++i) code += static_cast<char>('A' + random.Below(26));
  return code;
}

qv::Bytes Row(Random& random, int32_t id) {
  RowBuilder row;
  row.Text(random.Pick(kFirstNames))
      .Text(random.Pick(kLastNames))
      .Int(static_cast<int32_t>(18 + random.Below(70)))
      .Byte(random.OneIn(20) ? 255 : static_cast<uint8_t>(random.Below(4)))
      .Byte(static_cast<uint8_t>(random.Below(2)))
      // 1990-01-01 .. about 2027, with a few rows that have no date
      .Date(random.OneIn(25) ? 0u : 31410u + random.Below(13500))
      .Time(random.OneIn(25) ? 255 : static_cast<uint8_t>(random.Below(24)),
            static_cast<uint8_t>(random.Below(60)))
      .Text(Note(random))
      .Int(id)
      .Text(random.Pick(kCities))
      .Int(static_cast<int32_t>(random.Below(2000001)) - 1000000)
      .Text(Code(random))
      .Byte(static_cast<uint8_t>(random.Below(3)))
      .EndMark();
  return row.Build();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ROWS OUTPUT.pdb [SEED]\n", argv[0]);
    return 2;
  }
  const long rows = std::strtol(argv[1], nullptr, 10);
  if (rows < 0 || rows > qv::kMaxDataRows) {
    std::fprintf(stderr, "ROWS must be 0..%d\n", qv::kMaxDataRows);
    return 2;
  }
  const uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20240611u;

  TestDatabase db("Bench");
  db.AddField(0, qv::kText, "First name")
      .AddField(1, qv::kText, "Last name")
      .AddField(2, qv::kInteger, "Age")
      .AddField(3, qv::kPopup, "Colour")
      .AddField(4, qv::kCheckBox, "Member")
      .AddField(5, qv::kDate, "Joined")
      .AddField(6, qv::kTime, "Call at")
      .AddField(7, qv::kText, "Notes")
      .AddField(8, qv::kUniqueInteger, "ID")
      .AddField(9, qv::kText, "City")
      .AddField(10, qv::kInteger, "Balance")
      .AddField(11, qv::kShortText, "Code")
      .AddField(12, qv::kPopup, "Tier");
  db.SetPopup(3, kColours).SetPopup(12, kTiers);
  db.master.nextUniqueValue = static_cast<uint32_t>(rows) + 1;

  Random random(seed);
  db.rows.reserve(static_cast<size_t>(rows));
  for (long r = 0; r < rows; ++r) db.AddRow(Row(random, static_cast<int32_t>(r + 1)));

  const qv::Bytes file = db.Build();
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
