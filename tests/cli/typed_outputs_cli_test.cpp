// COMMAND:TOJSON and COMMAND:TOSQLITE through the built program: the
// export's messages and refusals, and outputs that appear only when whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/db_builder.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RowBuilder;
using testing::RunQv;
using testing::RunResult;
using testing::TempDir;
using testing::TestDatabase;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct Command {
  const char* keyword;
  const char* converting;
  const char* fileKind;
};
constexpr Command kCommands[] = {
    {"COMMAND:TOJSON", "Converting to JSON Lines...", "(JSON Lines)"},
    {"COMMAND:TOSQLITE", "Converting to SQLite...", "(SQLite)"},
};

TEST(TypedOutputsEndToEnd, MessagesAndRefusalsFollowTheExport) {
  TestDatabase db("People");
  db.AddField(0, kText, "Name");
  db.AddRow(RowBuilder().Text("Ann").EndMark().Build());
  for (const Command& command : kCommands) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("in.pdb", db.Build()));
    const RunResult run =
        RunQv(QV_BINARY, {command.keyword, "INFILE:{in.pdb}", "OUTFILE:{out}", "EXTRADIAG"},
              dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, std::string(command.converting) +
                                         "\n\n\nReading Record: 1:\n\n\nWriting Record: 31:\n\n\n"
                                         "Conversion Successful!\n\n\n"))
        << run.output;
    const std::string written = dir.Read("out");
    EXPECT_FALSE(written.empty()) << command.keyword;

    // An existing output is kept without OVERWRITE and replaced with it.
    ASSERT_TRUE(dir.Write("old", "keep"));
    const RunResult kept =
        RunQv(QV_BINARY, {command.keyword, "INFILE:{in.pdb}", "OUTFILE:{old}"}, dir.path());
    EXPECT_EQ(kept.exitStatus, 1);
    EXPECT_TRUE(Contains(kept.output, "File:old already Exists!")) << kept.output;
    EXPECT_EQ(dir.Read("old"), "keep");
    const RunResult replaced = RunQv(
        QV_BINARY, {command.keyword, "INFILE:{in.pdb}", "OUTFILE:{old}", "OVERWRITE"}, dir.path());
    EXPECT_EQ(replaced.exitStatus, 0) << replaced.output;
    EXPECT_EQ(dir.Read("old"), written);

    const RunResult missing = RunQv(QV_BINARY, {command.keyword, "INFILE:{in.pdb}"}, dir.path());
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_TRUE(Contains(missing.output, std::string("You need to specify an output ") +
                                             command.fileKind + " file to create!"))
        << missing.output;
    const RunResult same = RunQv(
        QV_BINARY, {command.keyword, "INFILE:{in.pdb}", "OUTFILE:{./in.pdb}", "OVERWRITE"},
        dir.path());
    EXPECT_EQ(same.exitStatus, 1);
    EXPECT_TRUE(Contains(same.output, "is the input file")) << same.output;
  }
}

TEST(TypedOutputsEndToEnd, RefusedDatabaseWritesNothing) {
  TestDatabase db;
  SetFixedText(db.master.password, "Secret");
  SetPermission(db.master, 0, 1);
  for (const Command& command : kCommands) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("in.pdb", db.Build()));
    const RunResult run =
        RunQv(QV_BINARY, {command.keyword, "INFILE:{in.pdb}", "OUTFILE:{out}"}, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(Contains(run.output, "Password Incorrect! ACCESS DENIED")) << run.output;
    EXPECT_FALSE(dir.Exists("out"));
  }
}

}  // namespace
}  // namespace qv
