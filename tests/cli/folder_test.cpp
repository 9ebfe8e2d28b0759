// Folder mode through the built program: which files are converted and where
// their outputs go, the summary and exit status, INFO's lines, the same
// outputs on any number of threads, links, and outputs inside the input.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "cli/platform.h"
#include "pdb/database.h"
#include "pdb/identify.h"
#include "pdb/master_record.h"
#include "support/db_builder.h"
#include "support/random_database.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RunQv;
using testing::RunResult;
using testing::TempDir;

RunResult Qv(const TempDir& dir, const std::vector<std::string>& args, bool asNobody = false) {
  return RunQv(QV_BINARY, args, dir.path(), asNobody);
}

// Writes `name` (with its folders) in `dir`.
void Put(const TempDir& dir, const std::string& name, ByteView bytes) {
  std::string error;
  ASSERT_TRUE(MakeFolders(dir.path(name.substr(0, name.rfind('/')))).ok());
  ASSERT_TRUE(dir.Write(name, bytes));
}

TEST(FolderMode, OutputsAndMessagesAreTheSameWhateverTheThreadCount) {
  TempDir dir;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    testing::RandomDatabaseSpec spec;
    spec.seed = seed;
    spec.rows = 40;
    spec.password = false;
    const std::string folder = seed % 3 == 0 ? "in/a/" : seed % 3 == 1 ? "in/b/c/" : "in/";
    Put(dir, folder + "db" + std::to_string(seed) + ".pdb", testing::MakeRandomDatabase(spec).file);
  }
  for (const char* command : {"COMMAND:TOCSV", "COMMAND:TOJSON", "COMMAND:TOSQLITE"}) {
    SCOPED_TRACE(command);
    const RunResult one = Qv(dir, {command, "INFILE:{in}", "OUTFILE:{one}", "THREADS:{1}"});
    const RunResult many = Qv(dir, {command, "INFILE:{in}", "OUTFILE:{many}", "THREADS:{5}"});
    ASSERT_EQ(one.exitStatus, 0) << one.output;
    ASSERT_EQ(many.exitStatus, 0) << many.output;
    const std::vector<std::string> files = ListFilesBelow(dir.path("one")).files;
    ASSERT_EQ(files.size(), 12u);
    ASSERT_EQ(ListFilesBelow(dir.path("many")).files, files);
    for (const std::string& file : files) {
      EXPECT_EQ(dir.ReadBytes("one/" + file), dir.ReadBytes("many/" + file)) << file;
    }
    std::string messages = many.output;
    for (size_t at; (at = messages.find(" to many/")) != std::string::npos;) {
      messages.replace(at, 9, " to one/");
    }
    EXPECT_EQ(messages, one.output);
    std::filesystem::remove_all(dir.path("one"));
    std::filesystem::remove_all(dir.path("many"));
  }
}

// The cases below need names that differ only in letter case (one file on
// Windows), symbolic and hard links, permissions and another user.
#if !defined(_WIN32)

// A database of one text field holding `items`; `password` protects its
// export, and `creator` makes it another application's.
Bytes Database(const char* name, const std::vector<const char*>& items, const char* password = "",
               uint32_t creator = 0) {
  testing::TestDatabase db(name);
  db.AddField(0, kText, "Item");
  for (const char* item : items) db.AddRow(testing::RowBuilder().Text(item).EndMark().Build());
  if (*password != '\0') {
    SetFixedText(db.master.password, password);
    SetPermission(db.master, 0, 1);
  }
  if (creator != 0) db.header.creatorCode = creator;
  return db.Build();
}

// The summary: everything from its first line on.
std::string Summary(const std::string& output) {
  const size_t start = output.find("Summary:");
  return start == std::string::npos ? output : output.substr(start);
}

TEST(FolderMode, ConvertsEachQuorvexDatabaseBelowTheFolderAndSumsUpTheRest) {
  TempDir dir;
  Put(dir, "Backup/Sales.PDB", Database("Sales", {"pen", "ink"}));
  Put(dir, "Backup/Sales.pdb", Database("Sales", {"cap"}));  // the same output name
  Put(dir, "Backup/old/2009/Orders.dat", Database("Orders", {"box"}, "pw"));
  Put(dir, "Backup/Locked.pdb", Database("Locked", {"key"}, "other"));
  Put(dir, "Backup/Address.pdb", Database("AddressDB", {"Ann"}, "", 0x61646472));  // "addr"
  DatabaseHeader tool = SetNewDatabaseHeader("Tool");  // an application without resources
  tool.attributes = kResourceAttribute;
  tool.typeCode = 0x6170706C;     // "appl"
  tool.creatorCode = 0x546F6F6C;  // "Tool"
  Bytes application;
  ByteWriter out(application);
  WriteDatabaseHeader(tool, out);
  out.WriteZeros(2);
  Put(dir, "Backup/Tool.prc", application);
  Put(dir, "Backup/notes.txt", AsBytes(std::string(100, '-') + "\nbuy milk\n"));
  Put(dir, "Backup/empty.pdb", {});
  Bytes broken = Database("Broken", {"a", "b"});
  broken.resize(broken.size() - 12);
  Put(dir, "Backup/Broken.pdb", broken);

  const RunResult run =
      Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{out}", "PASSWORD:{pw}"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(Summary(run.output),
            "Summary: 3 converted, 4 skipped, 2 failed.\n"
            "Skipped:\n"
            "  Backup/Address.pdb: a Palm database of another application: \"AddressDB\", "
            "type PmDB, creator addr, 32 records\n"
            "  Backup/Tool.prc: a Palm resource database or application: \"Tool\", "
            "type appl, creator Tool, 0 resources\n"
            "  Backup/empty.pdb: an empty file\n"
            "  Backup/notes.txt: not a Palm file: it looks like text\n"
            "Failed:\n"
            "  Backup/Broken.pdb: a Quorvex database \"Broken\" with a damaged record list: "
            "record 32 starts at offset 2633, past the end of the file (2628 bytes)\n"
            "  Backup/Locked.pdb: Password Incorrect! ACCESS DENIED\n");
  // Each output is what converting its database alone gives.
  const std::vector<std::pair<std::string, std::string>> outputs = {
      {"Backup/Sales.PDB", "out/Sales.csv"},
      {"Backup/Sales.pdb", "out/Sales-2.csv"},
      {"Backup/old/2009/Orders.dat", "out/old/2009/Orders.csv"}};
  EXPECT_EQ(ListFilesBelow(dir.path("out")).files,
            (std::vector<std::string>{"Sales-2.csv", "Sales.csv", "old/2009/Orders.csv"}));
  for (const auto& [input, output] : outputs) {
    const RunResult alone =
        Qv(dir, {"COMMAND:TOCSV", "INFILE:{" + input + "}", "OUTFILE:{-}", "PASSWORD:{pw}"});
    EXPECT_EQ(dir.Read(output), alone.output) << input;
    EXPECT_NE(run.output.find("Converting " + input + " to " + output + "...\n"),
              std::string::npos);
  }

  const RunResult info = Qv(dir, {"COMMAND:INFO", "INFILE:{Backup}"});
  EXPECT_EQ(info.exitStatus, 0);
  for (const char* line :
       {"\nBackup/Sales.PDB: a Quorvex database \"Sales\": 2 data rows, 1 field\n",
        "\nBackup/Sales.pdb: a Quorvex database \"Sales\": 1 data row, 1 field\n",
        "\nBackup/old/2009/Orders.dat: a Quorvex database \"Orders\": 1 data row, 1 field\n",
        "\nBackup/empty.pdb: an empty file\n"}) {
    EXPECT_NE(info.output.find(line), std::string::npos) << line << info.output;
  }

  // Existing outputs stay without OVERWRITE; with it, a folder of sound
  // databases converts quietly.
  ASSERT_EQ(unlink(dir.path("Backup/Broken.pdb").c_str()), 0);
  ASSERT_EQ(unlink(dir.path("Backup/Locked.pdb").c_str()), 0);
  const RunResult again =
      Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{out}", "PASSWORD:{pw}", "QUIET"});
  EXPECT_EQ(again.exitStatus, 1);
  EXPECT_NE(again.output.find("  Backup/Sales.pdb: File:out/Sales-2.csv already Exists!"),
            std::string::npos) << again.output;
  const RunResult replaced = Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{out}",
                                      "PASSWORD:{pw}", "QUIET", "OVERWRITE"});
  EXPECT_EQ(replaced.exitStatus, 0);
  EXPECT_EQ(replaced.output + replaced.errors, "");
}

TEST(FolderMode, StaysInsideTheFolderConvertsEachFileOnceAndNeverReadsItsOwnOutputs) {
  TempDir dir;
  Put(dir, "outside/Secret.pdb", Database("Secret", {"s"}));
  Put(dir, "Backup/a.pdb", Database("A", {"a"}));
  Put(dir, "Backup/Backup/b.pdb", Database("B", {"b"}));
  ASSERT_EQ(link(dir.path("Backup/a.pdb").c_str(), dir.path("Backup/hard.pdb").c_str()), 0);
  ASSERT_EQ(symlink("a.pdb", dir.path("Backup/soft.pdb").c_str()), 0);
  ASSERT_EQ(symlink("../outside/Secret.pdb", dir.path("Backup/secret.pdb").c_str()), 0);
  ASSERT_EQ(symlink("../outside", dir.path("Backup/elsewhere").c_str()), 0);

  // The output folder inside the input folder: its files are no inputs,
  // on the first run or any later one.
  for (const char* overwrite : {"", "OVERWRITE"}) {
    const RunResult run =
        Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{Backup/csv}", overwrite});
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(Summary(run.output),
              "Summary: 2 converted, 2 skipped, 0 failed.\n"
              "Skipped:\n"
              "  Backup/elsewhere: symbolic link leading out of the folder, not followed\n"
              "  Backup/secret.pdb: symbolic link leading out of the folder, not followed\n");
  }
  EXPECT_EQ(ListFilesBelow(dir.path("Backup/csv")).files,
            (std::vector<std::string>{"Backup/b.csv", "a.csv"}));
  // INFO names the links it did not follow too.
  const RunResult info = Qv(dir, {"COMMAND:INFO", "INFILE:{Backup}"});
  EXPECT_EQ(info.exitStatus, 0) << info.output;
  EXPECT_NE(info.output.find("Backup/secret.pdb: symbolic link leading out of the folder, not "
                             "followed\n"),
            std::string::npos) << info.output;

  // The input folder inside the output folder: an output that would land in
  // the input folder is not written.
  const RunResult above = Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{.}", "QUIET"});
  EXPECT_EQ(above.exitStatus, 1);
  EXPECT_EQ(above.output,
            "Failed:\n"
            "  Backup/Backup/b.pdb: its output ./Backup/b.csv would be inside the folder being "
            "converted\n");
  EXPECT_TRUE(dir.Exists("a.csv"));
  // Nor through a link in the output folder.
  Put(dir, "linked/x", {});
  ASSERT_EQ(symlink("../Backup/a.pdb", dir.path("linked/a.csv").c_str()), 0);
  const RunResult linked = Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{linked}",
                                    "OVERWRITE", "QUIET"});
  EXPECT_NE(linked.output.find("  Backup/a.pdb: its output linked/a.csv would be inside"),
            std::string::npos) << linked.output;
  EXPECT_EQ(dir.ReadBytes("Backup/a.pdb"), Database("A", {"a"}));
  // A file where an output's folder would go.
  Put(dir, "blocked/Backup", {});
  const RunResult blocked =
      Qv(dir, {"COMMAND:TOCSV", "INFILE:{Backup}", "OUTFILE:{blocked}", "QUIET"});
  EXPECT_EQ(blocked.output,
            "Failed:\n"
            "  Backup/Backup/b.pdb: cannot create the folder of blocked/Backup/b.csv: "
            "Not a directory\n");

  ASSERT_TRUE(dir.Write("file.txt", "x"));
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } refusals[] = {
      {{"COMMAND:TOCSV", "OUTFILE:{Backup/}"}, 1, "The output folder Backup/ is the input folder"},
      {{"COMMAND:TOCSV", "OUTFILE:{file.txt}"}, 1, "File:file.txt is not a Folder!"},
      {{"COMMAND:TOCSV", "OUTFILE:{file.txt/sub}"}, 1, "Cannot create the folder file.txt/sub"},
      {{"COMMAND:TOCSV"}, 1, "You need to specify an output folder"},
      {{"COMMAND:TOJSON", "OUTFILE:{-}"}, 2, "OUTFILE:{-}: a folder converts into a folder"},
      {{"COMMAND:TOCSV", "OUTFILE:{o}", "POPUPS:{p.csv}"}, 2, "POPUPS: each database"},
      {{"COMMAND:INFO", "OUTFILE:{o}"}, 2, "OUTFILE: COMMAND:INFO on a folder"},
  };
  for (const auto& refusal : refusals) {
    std::vector<std::string> args = refusal.args;
    args.push_back("INFILE:{Backup}");
    const RunResult run = Qv(dir, args);
    EXPECT_EQ(run.exitStatus, refusal.status) << refusal.message;
    EXPECT_NE((run.output + run.errors).find(refusal.message), std::string::npos)
        << run.output << run.errors;
  }
}

TEST(FolderMode, AFileOrFolderThatCannotBeReadFailsAloneWithItsReason) {
  TempDir dir;
  Put(dir, "in/good.pdb", Database("Good", {"g"}));
  Put(dir, "in/locked.pdb", Database("Locked", {"l"}));
  Put(dir, "in/closed/inner.pdb", Database("Inner", {"i"}));
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir.path("in/locked.pdb").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.path("in/closed").c_str(), 0), 0);
  for (const char* command : {"COMMAND:TOCSV", "COMMAND:INFO"}) {
    const bool convert = std::string(command) == "COMMAND:TOCSV";
    const RunResult run =
        Qv(dir, {command, "INFILE:{in}", convert ? "OUTFILE:{out}" : "", "QUIET"}, true);
    if (run.exitStatus == 125) GTEST_SKIP() << "cannot switch to user nobody here";
    EXPECT_EQ(run.exitStatus, 1);
    if (convert) {
      EXPECT_EQ(run.output,
                "Failed:\n"
                "  in/closed: cannot be read: Permission denied\n"
                "  in/locked.pdb: cannot be read (gone, or no permission)\n");
      EXPECT_TRUE(dir.Exists("out/good.csv"));
    } else {
      EXPECT_NE(run.output.find("in/locked.pdb: cannot be read (gone, or no permission)\n"),
                std::string::npos) << run.output;
    }
  }
  ASSERT_EQ(chmod(dir.path("in/closed").c_str(), 0755), 0);
}
#endif

}  // namespace
}  // namespace qv
