#include "convert/schema.h"

#include <gtest/gtest.h>

#include "support/db_builder.h"

namespace qv {
namespace {

using testing::PopupListBytes;
using PopupLists = std::array<std::optional<ByteView>, kFieldSlots>;

void Define(MasterRecord& master, int slot, uint32_t type, std::string_view name, uint32_t maxLength) {
  master.fields[slot].type = type;
  master.fields[slot].maxLength = maxLength;
  SetFixedText(master.fields[slot].name, name);
}

std::vector<SchemaField> ParseOk(std::string_view text) {
  Result<std::vector<SchemaField>> fields = ParseSchema(text);
  EXPECT_TRUE(fields) << fields.status().message();
  return fields ? *fields : std::vector<SchemaField>{};
}

std::string ParseError(std::string_view text) {
  const Result<std::vector<SchemaField>> fields = ParseSchema(text);
  EXPECT_FALSE(fields) << text;
  return fields.status().message();
}

TEST(Schema, EveryTypeAndTrickyTextRoundTrip) {
  MasterRecord master;
  SetDefaultMasterRecord(master);
  const std::vector<std::pair<uint32_t, std::string>> defined = {
      {kText, "a,b"},           {kInteger, "say \"hi\""}, {kShortText, "two\nlines"},
      {kPopup, "#hash"},        {kCheckBox, ""},          {kUniqueInteger, "cr\r\nlf"},
      {kDate, "nineteen bytes ok!!"}, {kTime, " padded "},   {kLongText, "\"quoted\""},
      {kPopup, "empty list"},   {kPopup, "no list"}};
  for (size_t i = 0; i < defined.size(); ++i) {
    Define(master, static_cast<int>(i), defined[i].first, defined[i].second, 10 + i);
  }
  const std::vector<std::string> choices = {"Red", "x,y", "q\"uote", "multi\nline", "#c", " sp "};
  const Bytes list = PopupListBytes(choices);
  const Bytes empty = PopupListBytes({});
  PopupLists lists;
  lists[3] = ByteView(list);
  lists[9] = ByteView(empty);

  const std::string text = WriteSchema(master, lists);
  EXPECT_TRUE(text.starts_with("# "));
  const std::vector<SchemaField> fields = ParseOk(text);
  ASSERT_EQ(fields.size(), defined.size());
  for (size_t i = 0; i < defined.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(fields[i].type, defined[i].first);
    EXPECT_EQ(fields[i].name, defined[i].second);
    EXPECT_EQ(fields[i].maxLength, std::optional<uint32_t>(10 + i));
  }
  EXPECT_EQ(fields[3].choices, choices);
  EXPECT_TRUE(fields[9].choices.empty());
  EXPECT_TRUE(fields[10].choices.empty());
}

TEST(Schema, WriterFollowsColumnOrderAndKeepsWhatTheImportKeeps) {
  MasterRecord master;
  SetDefaultMasterRecord(master);
  Define(master, 0, kText, "first slot", 40);
  Define(master, 2, kUniqueIntegerExt, "odd type", 7);
  Define(master, 5, kPopup, "many", 40);
  master.fields[7].type = kText;
  master.fields[7].name.fill('n');  // no NUL: the reader's 20 bytes
  std::swap(master.columnOrder[0], master.columnOrder[5]);

  std::vector<std::string> many;
  for (int i = 0; i < 35; ++i) many.push_back("c" + std::to_string(i));
  many[0] = std::string(100, 'L');
  const Bytes list = PopupListBytes(many);
  PopupLists lists;
  lists[5] = ByteView(list);
  lists[0] = ByteView(list);  // a list on a non-popup slot is not written

  const std::string text = WriteSchema(master, lists);
  const size_t body = text.find('\n') + 1;
  std::string expected = "many,popup,40," + std::string(79, 'L');
  for (int i = 1; i < 30; ++i) expected += ",c" + std::to_string(i);
  expected += "\nodd type,11,7\nfirst slot,text,40\n" + std::string(19, 'n') + ",text,40\n";
  EXPECT_EQ(text.substr(body), expected);

  // A broken order falls back to slot order instead of repeating a slot.
  master.columnOrder[1] = 0;
  const std::string fallback = WriteSchema(master, PopupLists{});
  EXPECT_EQ(fallback.substr(body), "first slot,text,40\nodd type,11,7\nmany,popup,40\n" +
                                       std::string(19, 'n') + ",text,40\n");

  const std::string error = ParseError(text);
  EXPECT_EQ(error.rfind("line 3: type 11 cannot be given", 0), 0u) << error;
}

TEST(Schema, ReadsCommentsBlanksCaseAndPadding) {
  const std::vector<SchemaField> fields = ParseOk(
      "\xEF\xBB\xBF# a comment, with \"an open quote\n"
      "\n"
      "   \t\r\n"
      "Name,TEXT,\n"
      "#another\n"
      "Done, Check Box ,  5 \n"
      "\"#real\",popup,,Red,,Blue,,,\n"
      "Big,long text,65535\n"
      "Zero,DaTe,0");
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0].name, "Name");
  EXPECT_EQ(fields[0].type, kText);
  EXPECT_FALSE(fields[0].maxLength.has_value());
  EXPECT_EQ(fields[1].type, kCheckBox);
  EXPECT_EQ(fields[1].maxLength, std::optional<uint32_t>(5));
  EXPECT_EQ(fields[2].name, "#real");
  EXPECT_EQ(fields[2].choices, (std::vector<std::string>{"Red", "Blue"}));
  EXPECT_EQ(fields[3].type, kLongText);
  EXPECT_EQ(fields[3].maxLength, std::optional<uint32_t>(65535));
  EXPECT_EQ(fields[4].type, kDate);
  EXPECT_EQ(fields[4].maxLength, std::optional<uint32_t>(0));

  // Only type and length are trimmed; a name keeps its blanks.
  EXPECT_EQ(ParseOk(" x ,integer")[0].name, " x ");
  // A padded non-popup row is not taken for choices.
  EXPECT_TRUE(ParseOk("a,text,40,,,")[0].choices.empty());

  // Exactly 30 fields and 30 choices are the limits, not refusals.
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty += "f,text\n";
  EXPECT_EQ(ParseOk(thirty).size(), 30u);
  std::string thirtyChoices = "p,popup,";
  for (int i = 0; i < 30; ++i) thirtyChoices += ",c" + std::to_string(i);
  EXPECT_EQ(ParseOk(thirtyChoices)[0].choices.size(), 30u);
}

TEST(Schema, RefusalsNameTheLine) {
  const std::string header = "# header\n";
  const std::string longChoice = "p,popup,40,ok," + std::string(80, 'x') + "\n";
  std::string tooManyChoices = "p,popup,40";
  for (int i = 0; i < 31; ++i) tooManyChoices += ",c" + std::to_string(i);
  std::string tooManyFields = header;
  for (int i = 0; i < 31; ++i) tooManyFields += "f,text,40\n";

  const std::vector<std::pair<std::string, std::string>> cases = {
      {header + "a,text\njustname\n", "line 3: expected name,type"},
      {header + "a,,40\n", "line 2: the type of \"a\" is missing"},
      {header + "a,txt,40\n", "line 2: unknown type \"txt\""},
      {header + "a,checkbox\n", "line 2: unknown type \"checkbox\""},
      {header + "a,11\n", "line 2: type 11 cannot be given to a new database"},
      {header + "a,1,40\n", "line 2: type 1 must be written by its name \"text\""},
      {header + "a,99999999999999999999\n", "line 2: type 99999999999999999999 cannot be given"},
      {header + "twenty bytes of name,text\n", "line 2: the name \"twenty bytes of name\" is longer than 19"},
      {header + "a,text,abc\n", "line 2: maxLength \"abc\" is not a whole number"},
      {header + "a,text,-1\n", "line 2: maxLength \"-1\""},
      {header + "a,text,65536\n", "line 2: maxLength \"65536\""},
      {header + "a,text,4x\n", "line 2: maxLength \"4x\""},
      {header + "a,text,99999999999999999999\n", "line 2: maxLength"},
      {header + "a,date,8,Red\n", "line 2: choices are allowed only on popup fields, and \"a\" is date"},
      {header + longChoice, "line 2: choice 2 of \"p\" is longer than 79 bytes"},
      {header + tooManyChoices, "line 2: \"p\" has more than 30 choices"},
      {tooManyFields, "line 32: more than 30 fields"},
      // Physical lines: a quoted line break, CR LF, a lone CR, LF LF.
      {"\"multi\r\nline\",text\r\n\r\nb,bad\r\n", "line 4: unknown type \"bad\""},
      {"a,text\r\rb,bad", "line 3: unknown type"},
      {"a,text\n\n\n\"x\ny\",bad", "line 4: unknown type"},
      {"# only comments\n\n", "the schema defines no fields"},
      {"", "the schema defines no fields"},
  };
  for (const auto& [text, expected] : cases) {
    const std::string error = ParseError(text);
    EXPECT_EQ(error.rfind(expected, 0), 0u) << "got: " << error << "\nwanted: " << expected;
  }
}

TEST(Schema, ApplyFillsSlotsInLineOrder) {
  MasterRecord master;
  SetDefaultMasterRecord(master);
  master.columnOrder[0] = 1;
  master.columnOrder[1] = 0;
  const std::vector<SchemaField> fields =
      ParseOk("Notes,long text\nCount,integer,6\nColour,popup,,Red,Blue\n");
  ApplySchema(fields, master);

  EXPECT_EQ(FixedText(master.fields[0].name), "Notes");
  EXPECT_EQ(master.fields[0].type, kLongText);
  EXPECT_EQ(master.fields[0].longTextFlag, 1);
  EXPECT_EQ(master.fields[0].maxLength, 40u);  // left for the import to derive
  EXPECT_EQ(master.fields[1].type, kInteger);
  EXPECT_EQ(master.fields[1].longTextFlag, 0);
  EXPECT_EQ(master.fields[1].maxLength, 6u);
  EXPECT_EQ(master.fields[2].type, kPopup);
  EXPECT_EQ(master.fields[3].type, kEmptySlot);
  EXPECT_EQ(FixedText(master.fields[3].name), "Field 4");
  EXPECT_TRUE(IsValidColumnOrder(master));
  EXPECT_EQ(master.columnOrder[0], 0);

  // Written back, the definitions read as they were given.
  const std::vector<SchemaField> again = ParseOk(WriteSchema(master, PopupLists{}));
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0].name, "Notes");
  EXPECT_EQ(again[1].maxLength, std::optional<uint32_t>(6));
  EXPECT_EQ(again[2].type, kPopup);
}

TEST(Schema, TypeNames) {
  EXPECT_EQ(SchemaTypeName(kCheckBox), "check box");
  EXPECT_EQ(SchemaTypeName(kUniqueInteger2), "10");
  EXPECT_EQ(SchemaTypeName(kSubKindText), "15");
  for (uint32_t type : {kText, kInteger, kShortText, kPopup, kCheckBox, kUniqueInteger, kDate,
                        kTime, kLongText}) {
    EXPECT_EQ(SchemaTypeFromName(SchemaTypeName(type)), std::optional<uint32_t>(type));
  }
  EXPECT_EQ(SchemaTypeFromName("UNIQUE integer"), std::optional<uint32_t>(kUniqueInteger));
  EXPECT_FALSE(SchemaTypeFromName("11").has_value());
  EXPECT_FALSE(SchemaTypeFromName("").has_value());
}

}  // namespace
}  // namespace qv
