// COMMAND:INFO: the description, the same checks as the export, and the
// schema file it writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/file_io.h"
#include "convert/info_core.h"
#include "support/db_builder.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RunQv;
using testing::TempDir;
using testing::TestDatabase;

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

TEST(DatabaseTime, WholeUnsignedRangeOnTheGregorianCalendar) {
  EXPECT_EQ(FormatDatabaseTime(0), "1904-01-01 00:00:00");
  EXPECT_EQ(FormatDatabaseTime(893970430), "1932-04-29 21:07:10");
  EXPECT_EQ(FormatDatabaseTime(3029529600u - 86400), "1999-12-31 00:00:00");
  EXPECT_EQ(FormatDatabaseTime(3029529600u + 59 * 86400), "2000-02-29 00:00:00");
  EXPECT_EQ(FormatDatabaseTime(3029529600u + 366 * 86400 - 1), "2000-12-31 23:59:59");
  // Past the handheld's own calendar of day counts, which ends with 2031.
  EXPECT_EQ(FormatDatabaseTime(4102531200u), "2034-01-01 00:00:00");
  EXPECT_EQ(FormatDatabaseTime(0xFFFFFFFFu), "2040-02-06 06:28:15");
}

TEST(Info, DescribesTheSample) {
  const std::optional<std::string> file =
      ReadWholeFile(QV_SOURCE_DIR "/examples/sample.pdb").value();
  ASSERT_TRUE(file);
  Console console;
  const DatabaseDescription description = DescribeDatabaseText(AsBytes(*file), {}, console);
  ASSERT_TRUE(description.loaded) << console.text();
  EXPECT_EQ(console.text(), "");
  EXPECT_TRUE(description.schema.empty());
  const std::string& text = description.text;
  for (std::string_view line :
       {"Database name:      Orders\n", "Created:            2024-05-01 00:00:00\n",
        "Data rows:          12\n", "Format version:     2\n", "Password:           none\n",
        "Export:             allowed\n",
        "     1     5  date                    40  Due date\n"
        "     2     1  text                    40  Customer\n"
        "     3     3  popup                   40  Colour\n"
        "              choices: Red, Green, Blue, \"Black, matt\"\n"}) {
    EXPECT_TRUE(Has(text, line)) << line << "\nin\n" << text;
  }
}

TEST(Info, PermissionPasswordStoredVersionAndDamage) {
  TestDatabase db("Locked");
  db.AddField(0, kText, "Name").AddField(1, kPopup, "Empty popup");
  SetFixedText(db.master.password, "Secret");
  SetPermission(db.master, 0, 1);
  db.master.formatVersion = 1;  // the reader upgrades it; the file keeps 1
  const Bytes locked = db.Build();

  Console refused;
  EXPECT_FALSE(DescribeDatabaseText(locked, {}, refused).loaded);
  EXPECT_TRUE(Has(refused.text(), "Password Incorrect! ACCESS DENIED"));

  ConversionOptions options;
  options.givenPassword = "Secret";
  Console console;
  const DatabaseDescription description = DescribeDatabaseText(locked, options, console);
  ASSERT_TRUE(description.loaded) << console.text();
  EXPECT_TRUE(Has(description.text, "Format version:     1\n"));
  EXPECT_TRUE(Has(description.text, "Password:           set\n"));
  EXPECT_TRUE(Has(description.text, "Export:             allowed with the password\n"));
  EXPECT_TRUE(Has(description.text, "choices: (none)\n"));
  EXPECT_FALSE(Has(description.text, "Secret"));

  // Without a password, or with the password bit and none stored.
  for (const int bit : {0, 1}) {
    TestDatabase open("Open");
    open.AddField(0, kText, "Name");
    SetPermission(open.master, 0, bit);
    Console said;
    const DatabaseDescription described = DescribeDatabaseText(open.Build(), {}, said);
    ASSERT_TRUE(described.loaded) << said.text();
    EXPECT_TRUE(Has(described.text, bit == 0 ? "Export:             allowed\n"
                                             : "Export:             allowed (asks for a "
                                               "password, but none is set)\n"))
        << described.text;
  }

  db.master.formatVersion = 2;  // a version-1 record has no permission bits
  SetPermission(db.master, 0, 2);
  Console denied;
  EXPECT_FALSE(DescribeDatabaseText(db.Build(), options, denied).loaded);
  EXPECT_TRUE(Has(denied.text(), "Conversion not Allowed by database! ACCESS DENIED"));

  // A popup list whose record lies outside the file is said to be missing.
  TestDatabase lists("Lists");
  lists.AddField(0, kPopup, "Colour");
  Bytes noList = lists.Build();
  for (size_t i = 0; i < 4; ++i) noList[78 + 8 * 1 + i] = 0x7F;  // record 1's offset
  Console listless;
  const DatabaseDescription withoutList = DescribeDatabaseText(noList, {}, listless);
  ASSERT_TRUE(withoutList.loaded) << listless.text();
  EXPECT_TRUE(Has(withoutList.text, "choices: (no list)\n")) << withoutList.text;

  Bytes cut = db.Build();
  cut.resize(kHeaderSize - 1);
  Console damaged;
  EXPECT_FALSE(DescribeDatabaseText(cut, {}, damaged).loaded);
  EXPECT_TRUE(Has(damaged.text(), "ERROR: Reading header!"));
}

TEST(InfoCli, WritesTheSchemaFileWithTheExportsFileChecks) {
  TempDir dir;
  ASSERT_TRUE(
      dir.Write("db.pdb", ReadWholeFile(QV_SOURCE_DIR "/examples/sample.pdb").value().value()));
  auto info = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "COMMAND:INFO");
    return RunQv(QV_BINARY, args, dir.path());
  };

  auto written = info({"INFILE:{db.pdb}", "OUTFILE:{db.schema}"});
  EXPECT_EQ(written.exitStatus, 0) << written.output;
  EXPECT_TRUE(Has(written.output, "Database name:      Orders\n"));
  EXPECT_FALSE(Has(written.output, "Successful"));
  const std::string schema = dir.Read("db.schema");
  EXPECT_TRUE(Has(schema, "\nColour,popup,40,Red,Green,Blue,\"Black, matt\"\n")) << schema;

  ASSERT_TRUE(dir.Write("db.schema", "keep"));
  auto exists = info({"INFILE:{db.pdb}", "OUTFILE:{db.schema}"});
  EXPECT_EQ(exists.exitStatus, 1);
  EXPECT_TRUE(Has(exists.output,
                  "File:db.schema already Exists!  Please specify to overwrite and try again."));
  EXPECT_FALSE(Has(exists.output, "Database name:"));
  EXPECT_EQ(dir.Read("db.schema"), "keep");
  EXPECT_EQ(info({"INFILE:{db.pdb}", "OUTFILE:{db.schema}", "OVERWRITE"}).exitStatus, 0);
  EXPECT_EQ(dir.Read("db.schema"), schema);

  auto same = info({"INFILE:{db.pdb}", "OUTFILE:{./db.pdb}", "OVERWRITE"});
  EXPECT_EQ(same.exitStatus, 1);
  EXPECT_TRUE(Has(same.output, "is the input file")) << same.output;
  auto noInput = info({"OUTFILE:{x.schema}"});
  EXPECT_EQ(noInput.exitStatus, 1);
  EXPECT_TRUE(Has(noInput.output, "You need to specify an input (.PDB) file to convert!"));
  auto unwritable = info({"INFILE:{db.pdb}", "OUTFILE:{no/such/folder.schema}"});
  EXPECT_EQ(unwritable.exitStatus, 1);
  EXPECT_TRUE(Has(unwritable.output, "no/such/folder.schema")) << unwritable.output;
  EXPECT_TRUE(Has(unwritable.output, "ERROR:In Conversion!"));
  auto absent = info({"INFILE:{absent.pdb}"});
  EXPECT_EQ(absent.exitStatus, 1);
  EXPECT_TRUE(Has(absent.output, "Cannot Open File: absent.pdb for reading"));
}

}  // namespace
}  // namespace qv
