// UTF-8 on the CSV side: the way out and back keeps every byte, limits
// count the handheld's bytes, and text the handheld cannot hold is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/export_core.h"
#include "convert/import_core.h"
#include "fields/charset.h"
#include "support/convert.h"
#include "support/db_builder.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::ExportOrFail;
using testing::ImportCsv;
using testing::RowBuilder;
using testing::TestDatabase;

// Every byte but NUL (which ends a stored text) and CR (which the import
// turns into a line end), in one text field.
std::string EveryTextByte() {
  std::string text;
  for (int b = 1; b < 256; ++b) {
    if (b != '\r') text.push_back(static_cast<char>(b));
  }
  return text;
}

TestDatabase HighByteDatabase() {
  TestDatabase db("Bytes");
  db.AddField(0, kText, "Every byte").AddField(1, kShortText, "Pr\xE9is \x80");
  db.AddField(2, kPopup, "Choice \x9D");
  db.SetPopup(2, {"caf\xE9", "\x80 \x81\x8D\x8F\x90\x9D", "\xFF"});
  db.AddRow(RowBuilder().Text(EveryTextByte()).Text("\x81\xE9\xA0\x9F").Byte(1).EndMark().Build());
  db.AddRow(RowBuilder().Text("plain").Text("\xFF").Byte(2).EndMark().Build());
  return db;
}

ConversionOptions Options(CsvEncoding encoding) {
  ConversionOptions options;
  options.encoding = encoding;
  options.fieldNames = true;
  options.popupFile = "popups.csv";
  options.databaseName = "Copy";
  return options;
}

std::string Handheld(std::string_view utf8) {
  const Result<std::string> out = Utf8ToHandheld(utf8);
  EXPECT_TRUE(out.ok()) << "at byte " << HandheldConvertibleLength(utf8);
  return out.ok() ? *out : std::string();
}

TEST(Encoding, EveryByteSurvivesTheWayOutAndBack) {
  const Bytes original = HighByteDatabase().Build();
  const ExportResult bytes = ExportOrFail(original, Options(CsvEncoding::kBytes));
  // Without an encoding the handheld's bytes are written as they are.
  std::string high;
  for (int b = 0x80; b < 256; ++b) high.push_back(static_cast<char>(b));
  EXPECT_NE(bytes.csv.find(high), std::string::npos);
  EXPECT_NE(bytes.popups.find("\x80 \x81\x8D\x8F\x90\x9D"), std::string::npos);

  for (CsvEncoding encoding : {CsvEncoding::kUtf8, CsvEncoding::kUtf8Bom}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    const ConversionOptions options = Options(encoding);
    const ExportResult utf8 = ExportOrFail(original, options);
    const bool bom = encoding == CsvEncoding::kUtf8Bom;
    EXPECT_EQ(utf8.csv.starts_with(kUtf8Bom), bom);
    EXPECT_EQ(utf8.popups.starts_with(kUtf8Bom), bom);
    EXPECT_NE(utf8.csv.find("Pr\xC3\xA9is \xE2\x82\xAC"), std::string::npos);
    EXPECT_EQ(Handheld(StripUtf8Bom(utf8.csv)), bytes.csv);
    EXPECT_EQ(Handheld(StripUtf8Bom(utf8.popups)), bytes.popups);

    const std::optional<Bytes> copy = ImportCsv(utf8.csv, options, ByteView(original));
    ASSERT_TRUE(copy);
    const ExportResult again = ExportOrFail(*copy, Options(CsvEncoding::kBytes));
    EXPECT_EQ(again.csv, bytes.csv);
    EXPECT_EQ(again.popups, bytes.popups);
  }
}

TEST(Encoding, WithoutEncodingTheImportKeepsEveryByteUnlessAMarkSaysUtf8) {
  // Bytes that are no UTF-8 at all go into the record unchanged when no
  // encoding is given.
  ConversionOptions plain = Options(CsvEncoding::kBytes);
  plain.fieldNames = false;
  std::string messages;
  const std::optional<Bytes> database = ImportCsv("x\xE9\n", plain, std::nullopt, &messages);
  ASSERT_TRUE(database);
  EXPECT_EQ(ExportOrFail(*database, plain).csv, "x\xE9\n");
  EXPECT_EQ(messages.find("ENCODING"), std::string::npos) << messages;

  // A byte-order mark says UTF-8: the mark is skipped and the text decoded.
  const std::optional<Bytes> marked =
      ImportCsv("\xEF\xBB\xBFx\xC3\xA9\n", plain, std::nullopt, &messages);
  ASSERT_TRUE(marked);
  ConversionOptions utf8 = Options(CsvEncoding::kUtf8);
  utf8.fieldNames = false;
  EXPECT_EQ(ExportOrFail(*marked, utf8).csv, "x\xC3\xA9\n");
  EXPECT_FALSE(ImportCsv("\xEF\xBB\xBFx\xE9\n", plain, std::nullopt, &messages));
  EXPECT_NE(messages.find("not valid UTF-8"), std::string::npos) << messages;

  // UTF-8 without the mark is imported as bytes, with a hint.
  ASSERT_TRUE(ImportCsv("x\xC3\xA9\n", plain, std::nullopt, &messages));
  EXPECT_NE(messages.find("ENCODING:{UTF-8}"), std::string::npos) << messages;
}

TEST(Encoding, LimitsCountTheHandheldsBytes) {
  TestDatabase db("Limits");
  db.AddField(0, kShortText, "Short").AddField(1, kPopup, "Popup");
  const Bytes existing = db.Build();
  std::string eAcute;
  for (int i = 0; i < 80; ++i) eAcute += "\xC3\xA9";
  const std::string csv = "\xEF\xBB\xBF" "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                          "\xC3\xA9\xC3\xA9\xC3\xA9\xE2\x82\xAC\xE2\x82\xAC," +
                          eAcute + "\n";
  ConversionOptions options = Options(CsvEncoding::kUtf8);
  options.fieldNames = false;
  options.popupFile.clear();
  const std::optional<Bytes> database = ImportCsv(csv, options, ByteView(existing));
  ASSERT_TRUE(database);
  options.encoding = CsvEncoding::kBytes;
  options.popupFile = "p";
  const ExportResult out = ExportOrFail(*database, options);
  // Nine of eleven characters, and a choice of 79 of 80: whole characters.
  EXPECT_TRUE(out.csv.starts_with(std::string(9, '\xE9') + ",")) << out.csv;
  EXPECT_NE(out.popups.find("\n" + std::string(79, '\xE9') + ","), std::string::npos);
  EXPECT_EQ(out.popups.find(std::string(80, '\xE9')), std::string::npos);

  // An inferred name keeps 19 characters, not 19 UTF-8 bytes.
  options.encoding = CsvEncoding::kUtf8;
  options.fieldNames = true;
  const std::optional<Bytes> inferred = ImportCsv(eAcute + "\nv\n", options, std::nullopt);
  ASSERT_TRUE(inferred);
  options.encoding = CsvEncoding::kBytes;
  EXPECT_EQ(ExportOrFail(*inferred, options).csv, std::string(19, '\xE9') + "\nv\n");
}

TEST(Encoding, RefusesTextTheHandheldCannotHoldNamingLineAndColumn) {
  ConversionOptions options = Options(CsvEncoding::kUtf8Bom);
  options.fieldNames = false;
  struct Case {
    std::string csv;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a,b\n\"c\nc\",d\xC4\x80" "e\n", "CSV line 2, column 2: the character U+0100"},
      {"\xEF\xBB\xBF" "a,\xE2\x82\xAC,\xF0\x9F\x98\x80\n", "CSV line 1, column 3: the character U+1F600"},
      {"a\nb\nx,y,z\xC3(\n", "CSV line 3, column 3: the text is not valid UTF-8"},
      {"\xC0\xAF\n", "CSV line 1, column 1: the text is not valid UTF-8"},
      {"\xED\xA0\x80\n", "CSV line 1, column 1: the text is not valid UTF-8"},
      {"ok,\xE2\x82\n", "CSV line 1, column 2: the text is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    std::string messages;
    EXPECT_FALSE(ImportCsv(c.csv, options, std::nullopt, &messages)) << c.csv;
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
  }
}

TEST(Encoding, RefusedImportWritesNothing) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", std::string_view("name\nZo\xC5\x82" "ka\n")));
  const testing::RunResult run =
      testing::RunQv(QV_BINARY,
                     {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{D}",
                      "FIELDNAMES", "ENCODING:{UTF-8}"},
                     dir.path());
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.output.find("CSV line 2, column 1: the character U+0142"), std::string::npos);
  EXPECT_NE(run.output.find("ERROR:In Conversion!"), std::string::npos);
  EXPECT_FALSE(dir.Exists("out.pdb"));
}

}  // namespace
}  // namespace qv
