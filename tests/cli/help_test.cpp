// The conventional flags, run through the built program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/usage.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RunQv;
using testing::RunResult;

TEST(HelpFlags, HelpShowsUsageAndEveryOptionWithoutConverting) {
  testing::TempDir dir;
  for (const char* flag : {"--help", "-h"}) {
    SCOPED_TRACE(flag);
    // A command next to the flag does not run.
    const RunResult run =
        RunQv(QV_BINARY, {"COMMAND:TOCSV", "INFILE:{missing.pdb}", "OUTFILE:{out.csv}", flag},
              dir.path());
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.output.find(UsageText()), std::string::npos);
    for (const char* option :
         {"COMMAND:INFO", "EXTRADIAG", "POPUPS:", "SCHEMA:", "ENCODING:{UTF-8}",
          "ENCODING:{UTF-8-BOM}", "SEPARATOR:", "TAB", "COMMA", "SEMICOLON", "--help", "-h", "--version", "DBNAME:",
          "USEEXISTING:", "PASSWORD:", "THREADS:", "Exit status"}) {
      EXPECT_NE(run.output.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(run.output.find("Converting"), std::string::npos);
    EXPECT_FALSE(dir.Exists("out.csv"));
  }
}

TEST(HelpFlags, VersionPrintsOnlyTheVersion) {
  testing::TempDir dir;
  const RunResult run = RunQv(QV_BINARY, {"--version"}, dir.path());
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.output, "qv " QV_VERSION "\n");
  EXPECT_EQ(run.errors, "");
}

}  // namespace
}  // namespace qv
