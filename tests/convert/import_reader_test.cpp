// Databases written by the import, loaded by an independent reader
// (tests/tools/check_pdb.pl). Skipped where that reader is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert/import_core.h"
#include "support/convert.h"
#include "support/db_builder.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::ImportOrFail;
using testing::PopupListBytes;
using testing::TempDir;
using testing::TestDatabase;

bool ReaderInstalled() {
  return std::system("perl -MPalm::PDB -MPalm::Raw -e1 >/dev/null 2>&1") == 0;
}

struct CheckResult {
  int status = -1;
  std::string output;
};

// Runs the checker on `file`; the arguments are plain words and temporary
// paths without blanks.
CheckResult Check(const std::string& file, const std::string& name, int count,
                  const std::string& extra = "") {
  std::string command = "perl " QV_SOURCE_DIR "/tests/tools/check_pdb.pl '" + file + "' '" +
                        name + "' " + std::to_string(count) + " " + extra + " 2>&1";
  CheckResult result;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) result.output += buffer;
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Hex(int index, const Bytes& bytes) {
  std::string line = std::to_string(index) + " ";
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    line += digits;
  }
  return line + "\n";
}

class ImportReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ReaderInstalled()) GTEST_SKIP() << "the Palm::PDB Perl module is not installed";
  }
  TempDir dir;
};

TEST_F(ImportReader, InferredDatabasesLoadWithTheirRecords) {
  ConversionOptions options;
  options.databaseName = "Three lines";
  ASSERT_TRUE(dir.Write("three.pdb", ImportOrFail("a,b\r\nc,d\r\ne,f\r\n", options)));
  ASSERT_TRUE(dir.Write("three.hex", "1 000000\n30 000000\n"
                                     "31 00 0200 6100 0200 6200 ffff\n"
                                     "33 00 0200 6500 0200 6600 ffff\n"));
  CheckResult run = Check(dir.path("three.pdb"), "Three lines", 34,
                          "--hex " + dir.path("three.hex"));
  EXPECT_EQ(run.status, 0) << run.output;

  options.databaseName = "Empty";
  ASSERT_TRUE(dir.Write("empty.pdb", ImportOrFail("", options)));
  run = Check(dir.path("empty.pdb"), "Empty", 31);
  EXPECT_EQ(run.status, 0) << run.output;

  // A name of the full 31 characters, a record beyond the handheld's size.
  options.databaseName = std::string(31, 'N');
  options.fieldNames = true;
  std::string big(40000, 'b');
  ASSERT_TRUE(dir.Write("big.pdb", ImportOrFail("A,B\n" + big + "," + big + "\n", options)));
  run = Check(dir.path("big.pdb"), options.databaseName, 32);
  EXPECT_EQ(run.status, 0) << run.output;

  // The checker does notice a wrong expectation.
  run = Check(dir.path("three.pdb"), "Three lines", 35);
  EXPECT_EQ(run.status, 1) << run.output;
  ASSERT_TRUE(dir.Write("wrong.hex", "31 00 0200 6100 0200 6300 ffff\n"));
  run = Check(dir.path("three.pdb"), "Three lines", 34, "--hex " + dir.path("wrong.hex"));
  EXPECT_EQ(run.status, 1) << run.output;
}

TEST_F(ImportReader, DatabasesBuiltOverExistingDefinitionsLoad) {
  TestDatabase old("Old");
  old.AddField(0, kText, "Name").AddField(1, kPopup, "Colour").AddField(3, kCheckBox, "Done");
  old.SetPopup(1, {"Red", "Green"});
  old.popupLists[2] = Bytes{};                  // written back as the empty list
  old.popupLists[5] = PopupListBytes({"kept"});  // not a popup slot: copied
  old.header.attributes = 0x18;
  old.header.modificationCount = 99;
  Bytes file = old.Build();
  ASSERT_TRUE(dir.Write("old.pdb", file));

  ConversionOptions options;
  options.databaseName = "New";
  Bytes db = ImportOrFail("Ann,green,1\nBob,Blue,0\nCy,No Value,1\n", options, ByteView(file));
  ASSERT_TRUE(dir.Write("new.pdb", db));
  ASSERT_TRUE(dir.Write("new.hex", Hex(2, PopupListBytes({"Red", "Green", "Blue"})) +
                                       Hex(3, Bytes{0, 0, 0}) +
                                       Hex(6, PopupListBytes({"kept"}))));
  CheckResult run = Check(dir.path("new.pdb"), "New", 34, "--hex " + dir.path("new.hex"));
  EXPECT_EQ(run.status, 0) << run.output;
}

}  // namespace
}  // namespace qv
