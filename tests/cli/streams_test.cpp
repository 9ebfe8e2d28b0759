// Standard input and output as INFILE:{-} and OUTFILE:{-}, messages moved to
// standard error, and QUIET.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RunQv;
using testing::RunResult;
using testing::TempDir;

const std::string kSample = QV_SOURCE_DIR "/examples/sample.pdb";

RunResult Qv(const TempDir& dir, const std::vector<std::string>& args,
             const std::string& input = "/dev/null") {
  return RunQv(QV_BINARY, args, dir.path(), false, input);
}

TEST(Streams, ExportToStandardOutputHoldsOnlyTheCsv) {
  TempDir dir;
  const RunResult file = Qv(dir, {"COMMAND:TOCSV", "INFILE:{" + kSample + "}", "OUTFILE:{a.csv}",
                                  "FIELDNAMES"});
  ASSERT_EQ(file.exitStatus, 0) << file.output;
  for (const std::string& input : {std::string("INFILE:{" + kSample + "}"), std::string("INFILE:{-}")}) {
    const RunResult piped =
        Qv(dir, {"COMMAND:TOCSV", input, "OUTFILE:{-}", "FIELDNAMES"}, kSample);
    EXPECT_EQ(piped.exitStatus, 0) << piped.errors;
    EXPECT_EQ(piped.output, dir.Read("a.csv")) << input;
    // The messages a file output prints on standard output, on standard error.
    EXPECT_EQ(piped.errors, file.output) << input;
  }
  EXPECT_FALSE(dir.Exists("-"));
}

TEST(Streams, ExportAndImportThroughPipesKeepTheRecords) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "Ann,\"12, Main Street\",5\nBob,,7\n\"Multi\nline\",x,0\n"));
  ASSERT_EQ(Qv(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{a.pdb}", "DBNAME:{A}"})
                .exitStatus, 0);
  const RunResult exported = Qv(dir, {"COMMAND:TOCSV", "INFILE:{-}", "OUTFILE:{-}"},
                                dir.path("a.pdb"));
  ASSERT_EQ(exported.exitStatus, 0) << exported.errors;
  ASSERT_TRUE(dir.Write("piped.csv", exported.output));
  const RunResult imported =
      Qv(dir, {"COMMAND:TOPDB", "INFILE:{-}", "OUTFILE:{b.pdb}", "DBNAME:{A}", "USEEXISTING:{a.pdb}"},
         dir.path("piped.csv"));
  ASSERT_EQ(imported.exitStatus, 0) << imported.output;
  const RunResult again = Qv(dir, {"COMMAND:TOCSV", "INFILE:{b.pdb}", "OUTFILE:{-}"});
  EXPECT_EQ(again.output, exported.output);
  EXPECT_EQ(dir.Read("in.csv"), exported.output);
  // A database made on standard output, which cannot be written back into,
  // is whole there too.
  const RunResult made = Qv(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{-}", "DBNAME:{A}"});
  ASSERT_EQ(made.exitStatus, 0) << made.errors;
  ASSERT_TRUE(dir.Write("c.pdb", made.output));
  EXPECT_EQ(Qv(dir, {"COMMAND:TOCSV", "INFILE:{c.pdb}", "OUTFILE:{-}"}).output, exported.output);
}

TEST(Streams, InfoWritesItsSchemaToStandardOutput) {
  TempDir dir;
  ASSERT_EQ(Qv(dir, {"COMMAND:INFO", "INFILE:{" + kSample + "}", "OUTFILE:{s.txt}"}).exitStatus, 0);
  const RunResult run = Qv(dir, {"COMMAND:INFO", "INFILE:{-}", "OUTFILE:{-}"}, kSample);
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(run.output, dir.Read("s.txt"));
  EXPECT_NE(run.errors.find("Database name:"), std::string::npos) << run.errors;
}

TEST(Streams, QuietPrintsOnlyProblems) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "a,1\n"));
  ASSERT_TRUE(dir.Write("long.csv", std::string(70000, 'x') + "\n"));
  const RunResult done =
      Qv(dir, {"COMMAND:TOPDB", "QUIET", "INFILE:{in.csv}", "OUTFILE:{a.pdb}", "DBNAME:{A}"});
  EXPECT_EQ(done.exitStatus, 0);
  EXPECT_EQ(done.output + done.errors, "");
  const RunResult exported =
      Qv(dir, {"COMMAND:TOCSV", "QUIET", "INFILE:{a.pdb}", "OUTFILE:{a.csv}"});
  EXPECT_EQ(exported.exitStatus, 0);
  EXPECT_EQ(exported.output + exported.errors, "");
  const RunResult warned = Qv(dir, {"COMMAND:TOPDB", "QUIET", "INFILE:{long.csv}",
                                    "OUTFILE:{b.pdb}", "DBNAME:{B}"});
  EXPECT_EQ(warned.exitStatus, 0);
  EXPECT_EQ(warned.output.rfind("WARNING:", 0), 0u) << warned.output;
  const RunResult failed =
      Qv(dir, {"COMMAND:TOCSV", "QUIET", "INFILE:{in.csv}", "OUTFILE:{-}"});
  EXPECT_EQ(failed.exitStatus, 1);
  EXPECT_EQ(failed.output, "");
  EXPECT_EQ(failed.errors.rfind("ERROR:\nERROR: Reading header!", 0), 0u) << failed.errors;
  EXPECT_NE(failed.errors.find("This is a file of 4 bytes, shorter than a database header (78 bytes); it looks like text.\n"),
            std::string::npos);
}

TEST(Streams, OnlyTheInputAndOutputTakeTheStream) {
  TempDir dir;
  for (const char* option : {"POPUPS:{-}", "USEEXISTING:{-}", "SCHEMA:{-}"}) {
    const RunResult run =
        Qv(dir, {"COMMAND:TOCSV", "INFILE:{" + kSample + "}", "OUTFILE:{a.csv}", option});
    EXPECT_EQ(run.exitStatus, 2) << option;
    EXPECT_NE(run.output.find("only INFILE: and OUTFILE: take -"), std::string::npos) << option;
  }
  EXPECT_FALSE(dir.Exists("a.csv"));
  const RunResult sqlite =
      Qv(dir, {"COMMAND:TOSQLITE", "INFILE:{" + kSample + "}", "OUTFILE:{-}"});
  EXPECT_EQ(sqlite.exitStatus, 2);
  EXPECT_NE(sqlite.errors.find("COMMAND:TOSQLITE writes a database file"), std::string::npos);
}

// JSON Lines on standard output are the bytes of the file output, with the
// messages on standard error.
TEST(Streams, JsonLinesGoToStandardOutputClean) {
  TempDir dir;
  ASSERT_EQ(Qv(dir, {"COMMAND:TOJSON", "INFILE:{" + kSample + "}", "OUTFILE:{a.jsonl}"}).exitStatus, 0);
  const RunResult run = Qv(dir, {"COMMAND:TOJSON", "INFILE:{" + kSample + "}", "OUTFILE:{-}"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.output, dir.Read("a.jsonl"));
}

}  // namespace
}  // namespace qv
