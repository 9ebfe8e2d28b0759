#include "cli/app.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/usage.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

const char kBanner[] =
    "qv " QV_VERSION " - converts Quorvex databases (.PDB) to and from CSV\n"
    "Help: qv --help or man qv\n"
    "\n";

const char kUsage[] =
    "Format: qv COMMAND:xxxx [Option1] [Option2] ... [OptionX]\n"
    "Where:\n"
    "xxxx = TOCSV     -> Convert .PDB file to .CSV or...\n"
    "xxxx = TOPDB     -> Convert .CSV file to .PDB\n"
    "/HELP or /?          -> Get's this screen\n"
    "   PLACEQUOTES   -> Quotes around each .CSV entry.\n"
    "   FIELDNAMES    -> Fieldnames as first line of .CSV file.\n"
    "   OVERWRITE     -> If output file exists, overwrite it.\n"
    "   TIMEFORMAT:{x}  -> x specifies the time format, which can be one of:\n"
    "    0 - HH:MMam/pm (12 hour),  1 - HH:MM (24 hour)\n"
    "    2 - HH.MMam/pm (12 hour),  3 - HH.MM (24 hour), 4 - HH,MM (24 hour)\n"
    "   DATEFORMAT:{x}  -> x specifies the date format, which can be one of:\n"
    "    0 - MM/DD/YYYY,  1 - DD/MM/YYYY,  2 - DD.MM.YYYY,  3 - DD-MM-YYYY,\n"
    "    4 - YYYY/MM/DD,  5 - YYYY.MM.DD,  6 - YYYY-MM-DD (ISO 8601)\n"
    "   INFILE:{FILENAME}  -> Specify input file within { and } brackets.\n"
    "   OUTFILE:{FILENAME} -> Specify output file within { and } brackets.\n"
    "   PASSWORD:{password} -> Specify password .PDB file has to unlock \n"
    "this for conversion.\n"
    "   DBNAME:{DATABASE NAME} -> Specify name of database as it will be called\n"
    "   on the PalmPilot.\n"
    "   USEEXISTING:{FILENAME} -> Use Existing file within { and } brackets for\n"
    "   field type information.\n";

struct AppRun {
  int status;
  std::string text;
};

AppRun RunWithArgs(std::vector<std::string> args) {
  args.insert(args.begin(), "qv");
  Console console;
  const int status = RunApp(args, console);
  return {status, console.text()};
}

TEST(Usage, ScreenTextIsExact) {
  EXPECT_EQ(UsageText(), kUsage);
  EXPECT_EQ(Banner(), kBanner);
}

TEST(RunApp, NoCommandShowsUsageAndFails) {
  const std::string expected =
      std::string(kBanner) + "No Actions to Perform\n\n\n" + kUsage;
  EXPECT_EQ(RunWithArgs({}).status, 2);
  EXPECT_EQ(RunWithArgs({}).text, expected);
  // Unknown arguments and options alone are not a command.
  const AppRun options = RunWithArgs({"hello", "OVERWRITE", "INFILE:{a.csv}"});
  EXPECT_EQ(options.status, 2);
  EXPECT_EQ(options.text, expected);
}

TEST(RunApp, HelpShowsOnlyTheUsage) {
  const std::string expected = std::string(kBanner) + kUsage;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"/?"},
           {"COMMAND:TOCSV", "INFILE:{a.pdb}", "OUTFILE:{b.csv}", "/HELP"},
           {"/help", "COMMAND:TOPDB"},
           {"DBNAME:{" + std::string(40, 'x') + "}", "/?"}}) {
    const AppRun run = RunWithArgs(args);
    EXPECT_EQ(run.status, 0) << args.front();
    EXPECT_EQ(run.text, expected) << args.front();
  }
}

TEST(RunApp, RefusedValueStopsBeforeAnyConversion) {
  testing::TempDir dir;
  const std::string longName = dir.path(std::string(1100, 'c'));
  const AppRun run = RunWithArgs({"COMMAND:TOCSV", "INFILE:{" + dir.path("in.pdb") + "}",
                          "OUTFILE:{" + longName + "}"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.text, std::string(kBanner) +
                          "ERROR:\nThe value given with OUTFILE: is longer than 1023 "
                          "characters.\n\n\n");
}

TEST(RunApp, OutOfRangeOrUnusableValuesAreRefused) {
  const struct {
    std::vector<std::string> args;
    const char* option;
  } cases[] = {
      {{"COMMAND:TOCSV", "DATEFORMAT:{7}"}, "DATEFORMAT:{7}"},
      {{"COMMAND:TOPDB", "TIMEFORMAT:{-1}"}, "TIMEFORMAT:{-1}"},
      {{"COMMAND:TOCSV", "SEPARATOR:{\xA7}", "ENCODING:{UTF-8}"}, "SEPARATOR:"},
  };
  for (const auto& c : cases) {
    const AppRun run = RunWithArgs(c.args);
    EXPECT_EQ(run.status, 2) << c.option;
    EXPECT_EQ(run.text.rfind(std::string(kBanner) + "ERROR:\n", 0), 0u) << run.text;
    EXPECT_NE(run.text.find(c.option), std::string::npos) << run.text;
    EXPECT_EQ(run.text.find("Convert"), std::string::npos) << run.text;
  }
}

std::string SampleDatabase() {
  std::ifstream in(QV_SOURCE_DIR "/examples/sample.pdb", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(RunApp, FileNamesAreDataAndTheCommandMayComeLast) {
  testing::TempDir dir;
  const std::string database = SampleDatabase();
  ASSERT_FALSE(database.empty());
  ASSERT_TRUE(dir.Write("db.pdb", database));
  ASSERT_TRUE(dir.Write("x.csv", "old\n"));
  ASSERT_EQ(RunWithArgs({"COMMAND:TOCSV", "INFILE:{" + dir.path("db.pdb") + "}",
                         "OUTFILE:{" + dir.path("want.csv") + "}"})
                .status,
            0);
  const std::string want = dir.Read("want.csv");

  // The command after the files still makes INFILE the database to read.
  const AppRun late = RunWithArgs({"INFILE:{" + dir.path("db.pdb") + "}",
                                   "OUTFILE:{" + dir.path("x.csv") + "}", "COMMAND:TOCSV",
                                   "OVERWRITE"});
  EXPECT_EQ(late.status, 0) << late.text;
  EXPECT_EQ(dir.Read("x.csv"), want);
  EXPECT_EQ(dir.Read("db.pdb"), database);

  // Names holding "/HELP", a keyword, or "-h" and "--version" between blanks
  // (the shell splits them into arguments of their own) are converted.
  const struct {
    const char* file;
    std::vector<std::string> infile;
  } names[] = {
      {"Helpdesk.pdb", {"INFILE:{./Helpdesk.pdb}"}},
      {"placequotes.pdb", {"INFILE:{placequotes.pdb}"}},
      {"my -h --version db.pdb", {"INFILE:{my", "-h", "--version", "db.pdb}"}},
  };
  for (const auto& name : names) {
    ASSERT_TRUE(dir.Write(name.file, database));
    std::vector<std::string> args = name.infile;
    args.insert(args.begin(), "COMMAND:TOCSV");
    args.push_back("OUTFILE:{out.csv}");
    args.push_back("OVERWRITE");
    const testing::RunResult run = testing::RunQv(QV_BINARY, args, dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(dir.Read("out.csv"), want) << name.file;
    ASSERT_TRUE(dir.Write("out.csv", ""));
  }

  // A password that reads "overwrite" is a password, not the flag.
  const AppRun password = RunWithArgs({"COMMAND:TOCSV", "INFILE:{" + dir.path("db.pdb") + "}",
                                       "OUTFILE:{" + dir.path("x.csv") + "}",
                                       "PASSWORD:{overwrite}"});
  EXPECT_EQ(password.status, 1);
  EXPECT_NE(password.text.find("already Exists"), std::string::npos) << password.text;
}

TEST(RunApp, FailedConversionExitsWithOne) {
  testing::TempDir dir;
  // Both drivers refuse to run without their files and cancel.
  const AppRun toCsv = RunWithArgs({"COMMAND:TOCSV"});
  EXPECT_EQ(toCsv.status, 1);
  EXPECT_EQ(toCsv.text.rfind(kBanner, 0), 0u);
  EXPECT_NE(toCsv.text.find("You need to specify an input (.PDB) file to convert!"),
            std::string::npos)
      << toCsv.text;
  const AppRun toPdb = RunWithArgs({"COMMAND:TOPDB", "INFILE:{" + dir.path("missing.csv") + "}"});
  EXPECT_EQ(toPdb.status, 1);
  EXPECT_NE(toPdb.text.find("You need to specify an output (.PDB) file to create!"),
            std::string::npos)
      << toPdb.text;
}

TEST(RunApp, RealBinaryExitStatusAndOutput) {
  testing::TempDir dir;
  const testing::RunResult none = testing::RunQv(QV_BINARY, {}, dir.path());
  EXPECT_EQ(none.exitStatus, 2);
  EXPECT_EQ(none.output, std::string(kBanner) + "No Actions to Perform\n\n\n" + kUsage);
  EXPECT_EQ(none.errors, "");

  const testing::RunResult help = testing::RunQv(QV_BINARY, {"COMMAND:TOCSV", "/?"}, dir.path());
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_EQ(help.output, std::string(kBanner) + kUsage);

  // Values spread over arguments arrive unquoted, blanks and all.
  dir.Write("a.csv", "x\n");
  const testing::RunResult failed = testing::RunQv(
      QV_BINARY, {"COMMAND:TOCSV", "INFILE:{no such.pdb}", "OUTFILE:{a.csv}"}, dir.path());
  EXPECT_EQ(failed.exitStatus, 1);
  EXPECT_NE(failed.output.find("File:a.csv already Exists!"), std::string::npos)
      << failed.output;
  EXPECT_EQ(dir.Read("a.csv"), "x\n");
  EXPECT_EQ(failed.errors, "");
}

}  // namespace
}  // namespace qv
