// Database fixtures in a few lines.
//
//   qv::testing::TestDatabase db("Contacts");
//   db.AddField(0, qv::kText, "Name").AddField(1, qv::kPopup, "Colour");
//   db.SetPopup(1, {"Red", "Green"});
//   db.rows.push_back(qv::testing::RowBuilder().Text("Ann").Byte(1).EndMark().Build());
//   qv::Bytes file = db.Build();
//
// A TestDatabase starts as a new database would: the default header and
// definition record, every popup list empty. `header`, `master`,
// `popupLists` and `rows` are plain members, so a test may change anything
// before Build(), including storing bytes that no valid database holds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdb/byte_io.h"
#include "pdb/database.h"
#include "pdb/master_record.h"

namespace qv::testing {

// A popup list record: each choice and its NUL, then the empty text that
// ends the list and two more zero bytes (an empty list is 3 zero bytes).
Bytes PopupListBytes(const std::vector<std::string>& choices);

struct TestDatabase {
  DatabaseHeader header;
  MasterRecord master;
  std::array<Bytes, kFieldSlots> popupLists;  // records 1..30
  std::vector<Bytes> rows;                    // records 31..

  explicit TestDatabase(std::string_view name = "Test");

  // Sets slot `slot`'s type and name; the other definition fields keep their
  // defaults.
  TestDatabase& AddField(int slot, uint32_t type, std::string_view name);
  TestDatabase& SetPopup(int slot, const std::vector<std::string>& choices);
  TestDatabase& AddRow(Bytes row);

  // Record 0 as WriteMasterRecord writes it, then the lists and the rows,
  // laid out by AssembleDatabase.
  Bytes Build() const;
};

// Writes a data record entry by entry: a prefix flag (and 20-byte prefix),
// then for each slot a little-endian length and its data.
class RowBuilder {
 public:
  // The flag byte; with `withPrefix` the 20-byte prefix "FromCSV" follows.
  // Called implicitly with false by the first entry if not called.
  RowBuilder& Prefix(bool withPrefix);
  RowBuilder& Text(std::string_view text);  // text + NUL, or length 0 when empty
  RowBuilder& Int(int32_t value);
  RowBuilder& Byte(uint8_t value);
  RowBuilder& Date(uint32_t dayCount);
  RowBuilder& Time(uint8_t hour, uint8_t minute, uint8_t second = 0);
  RowBuilder& Empty();             // a zero-length placeholder entry
  RowBuilder& Raw(ByteView data);  // an entry with arbitrary data
  RowBuilder& EndMark();           // the 65535 length that ends the entries
  // Appends bytes as they are (no length, and no flag byte even when first),
  // for records that break the layout.
  RowBuilder& Append(ByteView bytes);
  Bytes Build() const { return bytes_; }

 private:
  void EnsurePrefix();

  Bytes bytes_;
  bool started_ = false;
};

}  // namespace qv::testing
