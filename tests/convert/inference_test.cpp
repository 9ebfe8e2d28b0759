#include "convert/inference.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

MasterRecord Infer(const std::string& csv, bool fieldNames) {
  MasterRecord record;
  SetDefaultMasterRecord(record);
  InferFieldsFromCsv(ReadCsvTable(csv, ','), fieldNames, record);
  return record;
}

TEST(Inference, CountsDataLines) {
  EXPECT_EQ(GetNumberOfRecords(ReadCsvTable("", ','), false), 0);
  EXPECT_EQ(GetNumberOfRecords(ReadCsvTable("", ','), true), 0);
  EXPECT_EQ(GetNumberOfRecords(ReadCsvTable("names\n", ','), true), 0);
  // The empty line after CR LF CR LF is a data line.
  EXPECT_EQ(GetNumberOfRecords(ReadCsvTable("a\r\nb\r\n\r\n", ','), false), 3);
  EXPECT_EQ(GetNumberOfRecords(ReadCsvTable("a\r\nb\r\n\r\n", ','), true), 2);
}

TEST(Inference, LongestValueSkipsTheNameLine) {
  const auto lines = ReadCsvTable("a long name,x\nab,\"q\"\"q\"\nabc\n", ',');
  EXPECT_EQ(GetLongestValue(lines, 0, false), 11);
  EXPECT_EQ(GetLongestValue(lines, 0, true), 3);
  EXPECT_EQ(GetLongestValue(lines, 1, true), 3);
  EXPECT_EQ(GetLongestValue(lines, 29, true), 0);
  EXPECT_EQ(GetLongestValue(ReadCsvTable("name\n", ','), 0, true), -1);
}

TEST(Inference, TypesAndLengthsFromTheLongestValue) {
  const std::string at244(244, 'x');
  const std::string at245(245, 'y');
  const MasterRecord record = Infer("a,b,c\n" + at244 + "," + at245 + "\n", false);
  EXPECT_EQ(record.fields[0].type, kText);
  EXPECT_EQ(record.fields[0].maxLength, 254u);
  EXPECT_EQ(record.fields[0].longTextFlag, 0);
  EXPECT_EQ(record.fields[1].type, kLongText);
  EXPECT_EQ(record.fields[1].maxLength, 255u);
  EXPECT_EQ(record.fields[1].longTextFlag, 1);
  // Without field names the first line is data too: column c's longest is 1.
  EXPECT_EQ(record.fields[2].type, kText);
  EXPECT_EQ(record.fields[2].maxLength, 11u);
  EXPECT_EQ(record.fields[3].type, kEmptySlot);
  EXPECT_EQ(FixedText(record.fields[0].name), "Field 1");
}

TEST(Inference, NamesFromTheFirstLine) {
  const MasterRecord record =
      Infer("A name of twenty-five chr,Short,\"Quoted, name\"\n1,2,3\n", true);
  EXPECT_EQ(FixedText(record.fields[0].name), "A name of twenty-fi");
  EXPECT_EQ(record.fields[0].name[19], '\0');
  EXPECT_EQ(FixedText(record.fields[1].name), "Short");
  EXPECT_EQ(record.fields[1].name[6], '\0');
  EXPECT_EQ(FixedText(record.fields[2].name), "Quoted, name");
  // The name line does not count towards the length.
  EXPECT_EQ(record.fields[0].maxLength, 11u);

  const MasterRecord onlyNames = Infer("One,Two\n", true);
  EXPECT_EQ(onlyNames.fields[0].type, kText);
  EXPECT_EQ(onlyNames.fields[1].type, kText);
  EXPECT_EQ(onlyNames.fields[1].maxLength, 40u);
  EXPECT_EQ(FixedText(onlyNames.fields[1].name), "Two");
  EXPECT_EQ(onlyNames.fields[2].type, kEmptySlot);
}

TEST(Inference, EmptyAndOversizedInputs) {
  const MasterRecord empty = Infer("", true);
  for (const FieldDefinition& field : empty.fields) EXPECT_EQ(field.type, kEmptySlot);

  // More columns than slots never write past the last slot.
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "c,";
  const MasterRecord record = Infer(wide + "\n", false);
  for (const FieldDefinition& field : record.fields) EXPECT_EQ(field.type, kText);
}

}  // namespace
}  // namespace qv
