// COMMAND:TOCSV through the built program: files, messages, exit status.
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

Bytes SmallDatabase() {
  TestDatabase db;
  db.AddField(0, kText, "Name").AddField(1, kPopup, "Colour");
  db.SetPopup(1, {"Red", "Green"});
  db.AddRow(RowBuilder().Text("Ann").Byte(1).EndMark().Build());
  db.AddRow(RowBuilder().Text("Bo, Jr.").Byte(0).EndMark().Build());
  return db.Build();
}

RunResult RunExport(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), "COMMAND:TOCSV");
  return RunQv(QV_BINARY, args, dir.path());
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ExportEndToEnd, ConvertsWithPopupFile) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SmallDatabase()));
  const RunResult run = RunExport(dir, {"INFILE:{in.pdb}", "OUTFILE:{out.csv}", "FIELDNAMES",
                                  "POPUPS:{pop.csv}"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "Converting to .CSV...\n\n\nConversion Successful!\n\n\n"))
      << run.output;
  EXPECT_EQ(dir.Read("out.csv"), "Name,Colour\nAnn,Green\n\"Bo, Jr.\",Red\n");
  std::string popups = dir.Read("pop.csv");
  EXPECT_EQ(popups.substr(0, popups.find('\n', popups.find('\n') + 1) + 1), ",\nRed,Green,\n");
}

TEST(ExportEndToEnd, RefusalsLeaveFilesAlone) {
  TempDir dir;
  const Bytes database = SmallDatabase();
  ASSERT_TRUE(dir.Write("in.pdb", database));
  ASSERT_TRUE(dir.Write("out.csv", std::string_view("keep me")));

  RunResult run = RunExport(dir, {"INFILE:{in.pdb}", "OUTFILE:{out.csv}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output,
                       "ERROR:\nFile:out.csv already Exists!  Please specify to overwrite and try "
                       "again.\n\n\nConversion Cancelled!\n\n\n"))
      << run.output;
  EXPECT_EQ(dir.Read("out.csv"), "keep me");

  // The database named again through another path, as the CSV or as the
  // popup file; and a popup file that is the CSV, which does not exist yet,
  // however it is spelt.
  const std::vector<std::vector<std::string>> clashes = {
      {"INFILE:{in.pdb}", "OUTFILE:{./in.pdb}", "OVERWRITE"},
      {"INFILE:{in.pdb}", "OUTFILE:{new.csv}", "POPUPS:{./in.pdb}"},
      {"INFILE:{in.pdb}", "OUTFILE:{new.csv}", "POPUPS:{new.csv}"},
      {"INFILE:{in.pdb}", "OUTFILE:{new.csv}", "POPUPS:{./new.csv}"},
      {"INFILE:{in.pdb}", "OUTFILE:{new.csv}", "POPUPS:{sub/../new.csv}"},
      {"INFILE:{in.pdb}", "OUTFILE:{new.csv}", "POPUPS:{" + dir.path("new.csv") + "}"},
  };
  for (const auto& args : clashes) {
    run = RunExport(dir, args);
    EXPECT_EQ(run.exitStatus, 1) << args[2];
    EXPECT_TRUE(Contains(run.output, "Conversion Cancelled!")) << run.output;
    EXPECT_FALSE(Contains(run.output, "Converting to .CSV")) << run.output;
    EXPECT_EQ(dir.ReadBytes("in.pdb"), database);
    EXPECT_FALSE(dir.Exists("new.csv"));
  }

  // A database that refuses the export leaves an existing CSV as it was.
  TestDatabase locked;
  SetPermission(locked.master, 0, 2);
  ASSERT_TRUE(dir.Write("locked.pdb", locked.Build()));
  run = RunExport(dir, {"INFILE:{locked.pdb}", "OUTFILE:{out.csv}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output, "ACCESS DENIED")) << run.output;
  EXPECT_TRUE(Contains(run.output, "ERROR:In Conversion!\n\n\n")) << run.output;
  EXPECT_EQ(dir.Read("out.csv"), "keep me");
}

TEST(ExportEndToEnd, MissingOptionsAndInputs) {
  TempDir dir;
  RunResult run = RunExport(dir, {"OUTFILE:{out.csv}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output,
                       "ERROR:\nYou need to specify an input (.PDB) file to convert!\n\n\n"
                       "Conversion Cancelled!\n\n\n"))
      << run.output;

  run = RunExport(dir, {"INFILE:{in.pdb}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output,
                       "ERROR:\nYou need to specify an output (.CSV) file to create!\n\n\n"))
      << run.output;

  run = RunExport(dir, {"INFILE:{none.pdb}", "OUTFILE:{out.csv}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output,
                       "Converting to .CSV...\n\n\nERROR:\nCannot Open File: none.pdb for "
                       "reading\n\n\nERROR:In Conversion!\n\n\n"))
      << run.output;
  EXPECT_FALSE(dir.Exists("out.csv"));
}

TEST(ExportEndToEnd, OutputFailures) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SmallDatabase()));

  // A CSV that cannot be created.
  RunResult run = RunExport(dir, {"INFILE:{in.pdb}", "OUTFILE:{no/such/dir.csv}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output,
                       "ERROR:\nOpening no/such/dir.csv for writing!\n\n\n\n"
                       "ERROR:In Conversion!\n\n\n"))
      << run.output;

  // A full device: created, but the write fails.
  run = RunExport(dir, {"INFILE:{in.pdb}", "OUTFILE:{/dev/full}", "OVERWRITE"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output, "/dev/full")) << run.output;
  EXPECT_TRUE(Contains(run.output, "ERROR:In Conversion!")) << run.output;
  EXPECT_FALSE(Contains(run.output, "Conversion Successful!")) << run.output;

  run = RunExport(dir, {"INFILE:{in.pdb}", "OUTFILE:{out.csv}", "POPUPS:{/dev/full}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.output, "ERROR:In Conversion!")) << run.output;

  // A popup file that cannot be created costs only the popup file.
  run = RunExport(dir, {"INFILE:{in.pdb}", "OUTFILE:{out.csv}", "OVERWRITE", "POPUPS:{no/dir/p.csv}"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "ERROR:\nCould not open Popup File!!\n\n\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Conversion Successful!")) << run.output;
  EXPECT_EQ(dir.Read("out.csv"), "Ann,Green\n\"Bo, Jr.\",Red\n");
}

}  // namespace
}  // namespace qv
