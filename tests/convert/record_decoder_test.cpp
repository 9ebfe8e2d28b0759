#include "convert/record_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "convert/record_builder.h"
#include "fields/cell_parse.h"
#include "csv/csv_reader.h"
#include "fields/field_types.h"
#include "support/db_builder.h"

namespace qv {
namespace {

using testing::RowBuilder;

Bytes B(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }

struct Fixture {
  MasterRecord master;
  RenderContext context{master};

  Fixture& Type(int slot, uint32_t type, int8_t subKind = 0) {
    master.fields[slot].type = type;
    master.fields[slot].kindData[19] = static_cast<char>(subKind);
    return *this;
  }
  std::string Render(const Bytes& record, int slot) { return RenderField(context, record, slot); }
};

TEST(RecordDecoder, RendersEveryType) {
  Fixture f;
  f.Type(0, kText).Type(1, kInteger).Type(2, kShortText).Type(3, kPopup).Type(4, kCheckBox);
  f.Type(5, kUniqueInteger).Type(6, kOneByteValue).Type(7, kDate).Type(8, kTime);
  f.Type(9, kUniqueInteger2).Type(10, kUniqueIntegerExt).Type(11, kLongText).Type(12, kNoData);
  f.Type(13, kText2).Type(14, 16).Type(16, kDate).Type(17, kPopup);
  f.context.dateFormat = 6;
  f.context.timeFormat = 0;
  const Bytes popup = testing::PopupListBytes({"Red", "Green"});
  f.context.popupLists[3] = ByteView(popup);

  Bytes extended = {0xFF, 0xFF, 0xFF, 0xFF};
  extended.insert(extended.end(), 20, 0);
  const std::string longText(5000, 'q');
  const Bytes record = RowBuilder()
                           .Text("abc")
                           .Int(-1)
                           .Text("short")
                           .Byte(1)
                           .Byte(2)
                           .Int(2147483647)
                           .Byte(0)
                           .Date(35123)
                           .Time(13, 5)
                           .Int(-2147483647 - 1)
                           .Raw(extended)
                           .Text(longText)
                           .Empty()
                           .Text("t2")
                           .Text("unknown")
                           .Empty()
                           .Date(0)
                           .Byte(255)
                           .EndMark()
                           .Build();
  EXPECT_EQ(f.Render(record, 0), "abc");
  EXPECT_EQ(f.Render(record, 1), "-1");
  EXPECT_EQ(f.Render(record, 2), "short");
  EXPECT_EQ(f.Render(record, 3), "Green");
  EXPECT_EQ(f.Render(record, 4), "1");
  EXPECT_EQ(f.Render(record, 5), "2147483647");
  EXPECT_EQ(f.Render(record, 6), "");
  EXPECT_EQ(f.Render(record, 7), "2000-02-29");
  EXPECT_EQ(f.Render(record, 8), "01:05 pm");
  EXPECT_EQ(f.Render(record, 9), "-2147483648");
  EXPECT_EQ(f.Render(record, 10), "-1");
  EXPECT_EQ(f.Render(record, 11), longText);
  EXPECT_EQ(f.Render(record, 12), "");
  EXPECT_EQ(f.Render(record, 13), "t2");
  EXPECT_EQ(f.Render(record, 14), "");
  EXPECT_EQ(f.Render(record, 15), "");
  EXPECT_EQ(f.Render(record, 16), "NO DATE");
  // No list for the slot: even the no-value byte renders through the marker.
  EXPECT_EQ(f.Render(record, 17), "No Value");
  EXPECT_EQ(f.Render(record, 18), "");
  EXPECT_EQ(f.Render(record, -1), "");
  EXPECT_EQ(f.Render(record, 30), "");
  EXPECT_EQ(f.Render(Bytes{}, 0), "");
}

TEST(RecordDecoder, RendersShortOrMissingDataAsEmpty) {
  Fixture f;
  f.Type(0, kCheckBox).Type(1, kPopup).Type(2, kInteger).Type(3, kDate).Type(4, kTime).Type(5, kText);
  f.Type(6, kPopup);
  const Bytes popup = testing::PopupListBytes({"Red"});
  f.context.popupLists[1] = ByteView(popup);
  f.context.popupLists[6] = ByteView(popup);
  const Bytes record = RowBuilder()
                           .Empty()
                           .Empty()
                           .Raw(B({1, 2, 3}))
                           .Raw(B({1, 2}))
                           .Raw(B({0}))
                           .Raw(B({'n', 'o', 'n', 'u', 'l'}))
                           .Byte(9)
                           .Build();
  for (int slot = 0; slot <= 4; ++slot) EXPECT_EQ(f.Render(record, slot), "") << slot;
  // A text without its NUL stops at the end of its data.
  EXPECT_EQ(f.Render(record, 5), "nonul");
  // An index the list does not have.
  EXPECT_EQ(f.Render(record, 6), "");

  const Bytes endOnly = B({0, 0xFF, 0xFF});
  for (int slot = 0; slot < 7; ++slot) EXPECT_EQ(f.Render(endOnly, slot), "");
}

TEST(RecordDecoder, RendersSubKindFields) {
  Fixture f;
  for (int slot = 0; slot < 10; ++slot) f.Type(slot, kSubKindText);
  f.Type(0, kSubKindText, 2).Type(1, kSubKindText, 3).Type(2, kSubKindText, 0);
  f.Type(3, kSubKindText, 6).Type(4, kSubKindText, 7).Type(5, kSubKindText, -1);
  f.Type(6, kSubKindText, 2).Type(7, kSubKindText, 3);
  f.context.timeFormat = 1;
  const Bytes record = RowBuilder()
                           .Text("3661")
                           .Text("35123")
                           .Text("plain")
                           .Text("six")
                           .Text("x")
                           .Text("x")
                           .Text("abc")
                           .Text("-1")
                           .Empty()
                           .EndMark()
                           .Build();
  EXPECT_EQ(f.Render(record, 0), "01:01");
  EXPECT_EQ(f.Render(record, 1), "02/29/2000");
  EXPECT_EQ(f.Render(record, 2), "plain");
  EXPECT_EQ(f.Render(record, 3), "six");
  EXPECT_EQ(f.Render(record, 4), "Error!");
  EXPECT_EQ(f.Render(record, 5), "Error!");
  EXPECT_EQ(f.Render(record, 6), "00:00");
  // -1 is read as the largest unsigned count; it must still render a date.
  EXPECT_FALSE(f.Render(record, 7).empty());
  // Without data the cell is empty; only the type-15 renderer itself says so.
  EXPECT_EQ(f.Render(record, 8), "");
  EXPECT_EQ(RenderSubKindField(f.context, record, 8), "Error!");
  EXPECT_EQ(RenderSubKindField(f.context, record, 9), "Error!");
  EXPECT_EQ(RenderSubKindField(f.context, record, 40), "Error!");
}


// The builder and the decoder go by the same table: for every type code, a
// cell written by one is read back by the other as the same kind, and no
// entry other than a text outgrows the size the table bounds it by.
TEST(FieldTypesTable, BuilderAndDecoderAgreeOnEveryCode) {
  const std::array<Bytes, kFieldSlots> lists{};
  for (uint32_t type = 0; type <= 17; ++type) {
    MasterRecord master;
    SetDefaultMasterRecord(master);
    for (FieldDefinition& field : master.fields) field.type = kEmptySlot;
    master.fields[0].type = type;
    master.fields[1].type = kInteger;  // keeps slot 0's entry before the end mark
    RecordBuildContext context{master, 0, 0, lists};
    const CsvTable lines = ReadCsvTable("12,34\n", ',');
    Bytes record;
    std::vector<std::string> warnings;
    BuildRecordFromCsv(context, lines, 0, record, 1, warnings);
    const RecordFields fields = SplitRecordFields(record);
    const FieldTypeInfo& info = GetFieldTypeInfo(type);
    if (info.layout != EntryLayout::kText) {
      EXPECT_LE(fields[0].size() + 2, info.entrySizeBound) << type;
    }
    const PopupListViews views{};
    const Cell cell = RecordDecoder(master, views).DecodeField(fields, 0);
    CellKind expected = CellKind::kNone;
    switch (info.layout) {
      case EntryLayout::kText:
      case EntryLayout::kShortText:
      case EntryLayout::kSubKindText: expected = CellKind::kText; break;
      case EntryLayout::kInteger: expected = CellKind::kInteger; break;
      case EntryLayout::kUnique:
      case EntryLayout::kUniqueExt: expected = CellKind::kUnique; break;
      case EntryLayout::kChoice: expected = CellKind::kChoice; break;
      case EntryLayout::kCheckBox: expected = CellKind::kCheckBox; break;
      case EntryLayout::kDate: expected = CellKind::kDate; break;
      case EntryLayout::kTime: expected = CellKind::kTime; break;
      case EntryLayout::kZeroByte:
      case EntryLayout::kNothing: expected = CellKind::kNone; break;
    }
    EXPECT_EQ(cell.kind, expected) << type;
    // An empty slot is no column, so slot 1 then reads the first one.
    EXPECT_EQ(RecordDecoder(master, views).DecodeField(fields, 1).integer,
              type == kEmptySlot ? 12 : 34)
        << type;
  }
}

// Whatever number a time or date sub-kind field holds, reading back what
// the export shows stores a number the export shows the same way.
TEST(RecordDecoder, SubKindCellsReadBackIntoTheNumberTheyCameFrom) {
  MasterRecord master;
  master.fields[0].type = kSubKindText;
  master.fields[0].kindData[19] = 2;
  master.fields[1].type = kSubKindText;
  master.fields[1].kindData[19] = 3;
  RenderContext context{master};
  auto shown = [&](const std::string& stored, int slot) {
    const Bytes record = testing::RowBuilder().Text(stored).Text(stored).EndMark().Build();
    return RenderSubKindField(context, record, slot);
  };
  for (int format = 0; format <= 4; ++format) {
    context.timeFormat = format;
    for (int32_t seconds = 0; seconds <= 256 * 3600; seconds += 59) {
      const std::string exported = shown(std::to_string(seconds), 0);
      const CellValue<std::string> value = ParseSubKindCell(exported, 2, 0, format);
      ASSERT_FALSE(value.warning) << exported << ": " << *value.warning;
      ASSERT_EQ(shown(value.stored, 0), exported) << seconds << " format " << format;
    }
  }
  for (int format = 0; format <= 6; ++format) {
    context.dateFormat = format;
    for (uint32_t count = 0; count <= 46751; count += 7) {
      const std::string exported = shown(std::to_string(count), 1);
      const CellValue<std::string> value = ParseSubKindCell(exported, 3, format, 0);
      ASSERT_FALSE(value.warning) << exported;
      ASSERT_EQ(value.stored, std::to_string(count)) << exported;
    }
  }
}

}  // namespace
}  // namespace qv
