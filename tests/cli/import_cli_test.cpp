// COMMAND:TOPDB run as a user runs it: checks, files on disk, failures.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "pdb/database.h"
#include "support/db_builder.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RunQv;
using testing::RunResult;
using testing::TempDir;

constexpr const char* kNoInput = "You need to specify an input (.CSV) file to convert!";
constexpr const char* kNoOutput = "You need to specify an output (.PDB) file to create!";
constexpr const char* kNoName =
    "You need to specify a Name for the database when loaded into your PalmPilot/Workpad!";
constexpr const char* kNoExisting =
    "You need to specify a Database (.PDB) file to use for the field information!";
constexpr const char* kExistingMissing =
    "The Database (.PDB) file you specified to use for the field information does not exist. "
    "You need to choose a valid .PDB file!";
constexpr const char* kSameAsExisting =
    "The Database (.PDB) file you specified for output cannot be the same file as the .PDB file "
    "you specified for field information. You will need to choose a different output .PDB file!";
constexpr const char* kOutputExists =
    "The Database (.PDB) file you specified for output already exists.  Please specify a "
    "different file, or use the OVERWRITE switch.";

RunResult Qv(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), "COMMAND:TOPDB");
  return RunQv(QV_BINARY, args, dir.path());
}

bool Has(const RunResult& run, std::string_view text) {
  return run.output.find(text) != std::string::npos;
}

std::set<std::string> Listing(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

uint16_t RecordCount(const Bytes& db) {
  const Result<DatabaseHeader> header = ReadDatabaseHeader(db);
  return header ? header->recordCount : 0;
}

TEST(ImportCli, ChecksRunInOrderAndOnlyTheFirstFailureIsReported) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n"));
  ASSERT_TRUE(dir.Write("old.pdb", testing::TestDatabase("Old").Build()));
  ASSERT_TRUE(dir.Write("taken.pdb", "keep me"));
  const std::vector<const char*> all = {kNoInput,   kNoOutput,       kNoName,
                                        kNoExisting, kExistingMissing, kSameAsExisting,
                                        kOutputExists};
  struct Case {
    std::vector<std::string> args;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{"USEEXISTING:{}"}, kNoInput},
      {{"INFILE:{in.csv}", "USEEXISTING:{}"}, kNoOutput},
      {{"INFILE:{in.csv}", "OUTFILE:{taken.pdb}", "USEEXISTING:{}"}, kNoName},
      {{"INFILE:{in.csv}", "OUTFILE:{taken.pdb}", "DBNAME:{N}", "USEEXISTING:{}"}, kNoExisting},
      {{"INFILE:{in.csv}", "OUTFILE:{taken.pdb}", "DBNAME:{N}", "USEEXISTING:{gone.pdb}"},
       kExistingMissing},
      {{"INFILE:{in.csv}", "OUTFILE:{OLD.PDB}", "DBNAME:{N}", "USEEXISTING:{old.pdb}"},
       kSameAsExisting},
      {{"INFILE:{in.csv}", "OUTFILE:{taken.pdb}", "DBNAME:{N}", "USEEXISTING:{old.pdb}"},
       kOutputExists},
      {{"INFILE:{in.csv}", "OUTFILE:{taken.pdb}", "DBNAME:{N}"}, kOutputExists},
  };
  const std::set<std::string> before = Listing(dir);
  for (const Case& c : cases) {
    RunResult run = Qv(dir, c.args);
    EXPECT_EQ(run.exitStatus, 1) << c.expected;
    EXPECT_TRUE(Has(run, std::string("ERROR:\n") + c.expected + "\n")) << run.output;
    for (const char* other : all) {
      if (other != c.expected) {
        EXPECT_FALSE(Has(run, other)) << run.output;
      }
    }
    EXPECT_FALSE(Has(run, "Converting to .PDB...")) << run.output;
  }
  EXPECT_EQ(Listing(dir), before);
  EXPECT_EQ(dir.Read("taken.pdb"), "keep me");
}

TEST(ImportCli, SameFileUnderAnotherSpellingIsRefused) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n"));
  Bytes old = testing::TestDatabase("Old").AddField(0, kText, "A").Build();
  ASSERT_TRUE(dir.Write("old.pdb", old));
  RunResult run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{./old.pdb}", "DBNAME:{N}",
                           "USEEXISTING:{old.pdb}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Has(run, kSameAsExisting)) << run.output;
  EXPECT_EQ(dir.ReadBytes("old.pdb"), old);

  run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{" + dir.path("in.csv") + "}", "DBNAME:{N}",
                 "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Has(run, "same file as the input (.CSV) file")) << run.output;
  EXPECT_FALSE(Has(run, "Converting to .PDB...")) << run.output;
  EXPECT_EQ(dir.Read("in.csv"), "a,b\n");

  // The schema file as the output, and one file given as two inputs.
  ASSERT_TRUE(dir.Write("o.schema", "A,text\nB,text\n"));
  const std::vector<std::pair<std::vector<std::string>, const char*>> clashes = {
      {{"INFILE:{in.csv}", "OUTFILE:{o.schema}", "SCHEMA:{o.schema}", "OVERWRITE"},
       "output is the same file as the schema file"},
      {{"INFILE:{in.csv}", "OUTFILE:{new.pdb}", "USEEXISTING:{./in.csv}"},
       "for field information is the same file as the input (.CSV) file"},
      {{"INFILE:{in.csv}", "OUTFILE:{new.pdb}", "SCHEMA:{./in.csv}"},
       "schema file you specified is the same file as the input (.CSV) file"},
  };
  for (auto [args, message] : clashes) {
    args.push_back("DBNAME:{N}");
    run = Qv(dir, args);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(Has(run, message)) << run.output;
    EXPECT_FALSE(Has(run, "Converting to .PDB...")) << run.output;
  }
  EXPECT_EQ(dir.Read("o.schema"), "A,text\nB,text\n");
  EXPECT_FALSE(dir.Exists("new.pdb"));
}

TEST(ImportCli, SuccessPrintsTheStepsAndOverwriteReplacesTheOutput) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "a,b\r\nc,d\r\ne,f\r\n"));
  ASSERT_TRUE(dir.Write("out.pdb", "old contents"));
  ASSERT_EQ(chmod(dir.path("out.pdb").c_str(), 0600), 0);
  RunResult run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{Mine}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  const std::string steps =
      "Converting to .PDB...\n\n\nGetting Fields Information...\n\n\n"
      "Writing Records Header...\n\n\nWriting Popups for fields...\n\n\n"
      "Conversion Successful!\n\n\n";
  EXPECT_TRUE(Has(run, steps)) << run.output;
  Bytes db = dir.ReadBytes("out.pdb");
  EXPECT_EQ(db.size(), 2667u);
  EXPECT_EQ(RecordCount(db), 34);
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"in.csv", "out.pdb"}));
#if !defined(_WIN32)  // Windows files have no such permission bits
  struct stat info {};
  ASSERT_EQ(stat(dir.path("out.pdb").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // the replaced file's permissions
#endif
}

TEST(ImportCli, TemporaryFilesOfTheWorkingFolderAreLeftAlone) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "x,y\n1,2\n"));
  std::vector<std::string> names = {"temp.tmp"};
  for (int i = 0; i < 30; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "temp.%03d", i);
    names.push_back(name);
  }
  for (const std::string& name : names) ASSERT_TRUE(dir.Write(name, "mine: " + name));
  RunResult run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{T}"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  for (const std::string& name : names) EXPECT_EQ(dir.Read(name), "mine: " + name);
  EXPECT_EQ(Listing(dir).size(), names.size() + 2);

  // Without them, none appear.
  TempDir clean;
  ASSERT_TRUE(clean.Write("in.csv", "x,y\n1,2\n"));
  run = Qv(clean, {"INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{T}"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(Listing(clean), (std::set<std::string>{"in.csv", "out.pdb"}));
}

TEST(ImportCli, ImportsInOneFolderAtOnceDoNotInterfere) {
  TempDir dir;
  std::string big, small = "s\n";
  for (int i = 0; i < 3000; ++i) big += "row " + std::to_string(i) + ",v\n";
  ASSERT_TRUE(dir.Write("big.csv", big));
  ASSERT_TRUE(dir.Write("small.csv", small));
  auto run = [&](std::string csv, std::string pdb) {
    return Qv(dir, {"INFILE:{" + csv + "}", "OUTFILE:{" + pdb + "}", "DBNAME:{C}"});
  };
  auto first = std::async(std::launch::async, run, "big.csv", "big.pdb");
  auto second = std::async(std::launch::async, run, "small.csv", "small.pdb");
  EXPECT_EQ(first.get().exitStatus, 0);
  EXPECT_EQ(second.get().exitStatus, 0);
  EXPECT_EQ(RecordCount(dir.ReadBytes("big.pdb")), 3031);
  EXPECT_EQ(RecordCount(dir.ReadBytes("small.pdb")), 32);
}

TEST(ImportCli, FailedImportLeavesTheExistingOutputAndNoPartialFile) {
  TempDir dir;
  testing::TestDatabase foreign("Foreign");
  foreign.header.creatorCode = 0x58595A57;
  ASSERT_TRUE(dir.Write("foreign.pdb", foreign.Build()));
  ASSERT_TRUE(dir.Write("in.csv", "a\n"));
  std::string wide;
  for (int i = 0; i < 31; ++i) wide += "c,";
  wide.back() = '\n';
  ASSERT_TRUE(dir.Write("wide.csv", wide));
  ASSERT_TRUE(dir.Write("out.pdb", "precious"));
  const std::set<std::string> before = Listing(dir);

  RunResult run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{N}",
                           "USEEXISTING:{foreign.pdb}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Has(run, "ERROR:\nERROR:Setting up MasterRecord!\nThis is a Palm database of another "
                      "application: \"Foreign\", type PmDB, creator XYZW, 31 records.\n\n\n\n"
                      "ERROR:In Conversion!\n"))
      << run.output;

  run = Qv(dir, {"INFILE:{wide.csv}", "OUTFILE:{out.pdb}", "DBNAME:{N}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Has(run, "31 fields")) << run.output;
  EXPECT_TRUE(Has(run, "ERROR:In Conversion!")) << run.output;

  run = Qv(dir, {"INFILE:{missing.csv}", "OUTFILE:{out.pdb}", "DBNAME:{N}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Has(run, "ERROR:\nOpening File: missing.csv for Reading\n\n\n\nERROR:In Conversion!"))
      << run.output;

  EXPECT_EQ(dir.Read("out.pdb"), "precious");
  EXPECT_EQ(Listing(dir), before);
}

TEST(ImportCli, OutputThatCannotBeWrittenFailsTheImport) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "a\n"));
  ASSERT_TRUE(dir.Write("plain", "not a folder"));
  for (std::string output : {"nowhere/out.pdb", "plain/out.pdb"}) {
    RunResult run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{" + output + "}", "DBNAME:{N}"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(Has(run, "Getting Fields Information...\n\n\nERROR:\nCouldn't open " + output +
                             " file for writing\n\n\nERROR:In Conversion!"))
        << run.output;
    EXPECT_FALSE(Has(run, "Writing Records Header")) << run.output;
  }
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"in.csv", "plain"}));

  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  RunResult run = Qv(dir, {"INFILE:{in.csv}", "OUTFILE:{/dev/full}", "DBNAME:{N}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Has(run, "Writing Popups for fields...")) << run.output;
  EXPECT_TRUE(Has(run, "/dev/full")) << run.output;
  EXPECT_TRUE(Has(run, "\n\n\nERROR:In Conversion!\n")) << run.output;
  EXPECT_FALSE(Has(run, "Conversion Successful!")) << run.output;
}

}  // namespace
}  // namespace qv
