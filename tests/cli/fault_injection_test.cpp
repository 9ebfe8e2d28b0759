// Faults around the real program: inputs that cannot be read, outputs that
// cannot be written or that are pipes or folders, runs killed while they
// work, runs racing for one output. None may hang, be reported as a success
// or damage a file it had no business replacing.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <future>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "convert/export_core.h"
#include "support/convert.h"
#include "support/random_database.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::RunQv;
using testing::RunResult;
using testing::TempDir;

RunResult Qv(const TempDir& dir, std::vector<std::string> args) {
  return RunQv(QV_BINARY, args, dir.path());
}

#if !defined(_WIN32)
// Root reads and writes past permissions, so where the tests run as root the
// program runs as user nobody for the permission faults, in a folder that
// user may enter. False when that user cannot run the program here.
bool CanRunUnprivileged(const TempDir& dir) {
  if (geteuid() != 0) return true;
  if (chmod(dir.path().c_str(), 0755) != 0) return false;
  return RunQv(QV_BINARY, {"--version"}, dir.path(), true).exitStatus == 0;
}

RunResult QvUnprivileged(const TempDir& dir, std::vector<std::string> args) {
  return RunQv(QV_BINARY, args, dir.path(), true);
}
#endif

bool Has(const RunResult& run, std::string_view text) {
  return run.output.find(text) != std::string::npos;
}

void ExpectFailure(const RunResult& run, std::string_view message) {
  EXPECT_EQ(run.exitStatus, 1) << run.output;
  EXPECT_TRUE(Has(run, message)) << run.output;
  EXPECT_TRUE(Has(run, "ERROR:In Conversion!")) << run.output;
  EXPECT_FALSE(Has(run, "Conversion Successful!")) << run.output;
}

std::set<std::string> Listing(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// The files the program's own working files could collide with.
std::vector<std::string> OldTemporaryNames() {
  std::vector<std::string> names = {"temp.tmp"};
  for (int i = 0; i < 30; ++i) names.push_back("temp." + std::string(i < 10 ? "00" : "0") + std::to_string(i));
  return names;
}

Bytes SampleDatabase(int rows, uint32_t seed = 99) {
  testing::RandomDatabaseSpec spec;
  spec.seed = seed;
  spec.rows = rows;
  spec.fields = 6;
  spec.password = false;
  return testing::MakeRandomDatabase(spec).file;
}

std::string ExportInMemory(const Bytes& file) {
  const testing::ExportedCsv exported = testing::ExportCsv(file, ConversionOptions{});
  return exported.Succeeded() ? exported.result.csv : "(export failed) " + exported.console;
}

#if !defined(_WIN32)  // /dev/full
TEST(FaultInjection, FullDeviceFailsEveryOutputAndIsNeverASuccess) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SampleDatabase(50)));
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n1,2\n"));
  ExpectFailure(Qv(dir, {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{/dev/full}", "OVERWRITE"}),
                "/dev/full");
  ExpectFailure(Qv(dir, {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{out.csv}",
                         "POPUPS:{/dev/full}"}),
                "/dev/full");
  ExpectFailure(Qv(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{/dev/full}", "DBNAME:{D}",
                         "OVERWRITE"}),
                "/dev/full");
}
#endif

TEST(FaultInjection, MissingOrReadOnlyOutputFolder) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SampleDatabase(5)));
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n"));
  ExpectFailure(Qv(dir, {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{gone/out.csv}"}),
                "Opening gone/out.csv for writing!");
  ExpectFailure(Qv(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{gone/out.pdb}",
                         "DBNAME:{D}"}),
                "Couldn't open gone/out.pdb file for writing");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"in.csv", "in.pdb"}));

#if !defined(_WIN32)  // no other user to run as there
  if (!CanRunUnprivileged(dir)) GTEST_SKIP() << "no unprivileged user can run the program here";
  ASSERT_EQ(mkdir(dir.path("locked").c_str(), 0555), 0);
  ExpectFailure(
      QvUnprivileged(dir, {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{locked/out.csv}"}),
      "Opening locked/out.csv for writing!");
  ExpectFailure(QvUnprivileged(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}",
                                     "OUTFILE:{locked/out.pdb}", "DBNAME:{D}"}),
                "Couldn't open locked/out.pdb file for writing");
  chmod(dir.path("locked").c_str(), 0755);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path("locked")));
#endif
}

TEST(FaultInjection, InputThatIsAFolderMissingOrUnreadable) {
  TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir.path("folder")));
  ASSERT_TRUE(dir.Write("in.csv", "a\n"));
  ExpectFailure(Qv(dir, {"COMMAND:TOPDB", "INFILE:{folder}", "OUTFILE:{out.pdb}", "DBNAME:{D}"}),
                "Opening File: folder for Reading");
  ExpectFailure(Qv(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{D}",
                         "USEEXISTING:{folder}"}),
                "ERROR:Setting up MasterRecord!");
  ExpectFailure(Qv(dir, {"COMMAND:TOCSV", "INFILE:{gone.pdb}", "OUTFILE:{out.csv}"}),
                "Cannot Open File: gone.pdb for reading");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"folder", "in.csv"}));

#if !defined(_WIN32)  // no other user to run as there
  if (!CanRunUnprivileged(dir)) GTEST_SKIP() << "no unprivileged user can run the program here";
  ASSERT_TRUE(dir.Write("secret.pdb", SampleDatabase(1)));
  chmod(dir.path("secret.pdb").c_str(), 0);
  ExpectFailure(
      QvUnprivileged(dir, {"COMMAND:TOCSV", "INFILE:{secret.pdb}", "OUTFILE:{out.csv}"}),
      "Cannot Open File: secret.pdb for reading");
#endif
}

#if !defined(_WIN32)  // child processes started with fork and limits, and killed
// The largest file a started program may write, and whether going past it
// kills the program (the system's default) or only fails the write.
struct FileSizeLimit {
  rlim_t bytes = RLIM_INFINITY;
  bool kills = true;
};

// Starts the program without waiting for it; standard output is discarded.
pid_t Start(const TempDir& dir, const std::vector<std::string>& args, FileSizeLimit limit = {}) {
  std::vector<std::string> store{"qv"};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : store) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const rlimit noCore{0, 0};
    const rlimit size{limit.bytes, limit.bytes};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0) _exit(126);
    if (limit.bytes != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(126);
    signal(SIGXFSZ, limit.kills ? SIG_DFL : SIG_IGN);
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execv(QV_BINARY, argv.data());
    _exit(127);
  }
  return child;
}

int Wait(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(FaultInjection, KilledImportLeavesTheExistingOutputWhole) {
  TempDir dir;
  std::string csv;
  for (int i = 0; i < 60000; ++i) {
    csv += "row " + std::to_string(i) + ",\"some text, quoted\",12345,more text here\n";
  }
  ASSERT_TRUE(dir.Write("big.csv", csv));
  const Bytes old = SampleDatabase(3);
  ASSERT_TRUE(dir.Write("out.pdb", old));
  for (const std::string& name : OldTemporaryNames()) ASSERT_TRUE(dir.Write(name, name));
  const std::set<std::string> before = Listing(dir);

  const std::vector<std::string> args = {"COMMAND:TOPDB", "INFILE:{big.csv}", "OUTFILE:{out.pdb}",
                                         "DBNAME:{Big}", "OVERWRITE"};
  // Kill points spread over the time a whole run takes, so that some fall
  // while the records are built and some while the output is written,
  // however fast this build is.
  const long fullRunNs = [&] {
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    EXPECT_EQ(Wait(Start(dir, args)), 0);
    clock_gettime(CLOCK_MONOTONIC, &end);
    return (end.tv_sec - start.tv_sec) * 1'000'000'000L + (end.tv_nsec - start.tv_nsec);
  }();
  ASSERT_TRUE(dir.Write("out.pdb", old));
  int killed = 0;
  for (int percent : {0, 10, 30, 50, 65, 75, 80, 85, 90, 95}) {
    const pid_t child = Start(dir, args);
    ASSERT_GT(child, 0);
    const long delayNs = fullRunNs / 100 * percent;
    const timespec delay{delayNs / 1'000'000'000L, delayNs % 1'000'000'000L};
    nanosleep(&delay, nullptr);
    kill(child, SIGKILL);
    const int status = Wait(child);
    if (status != 128 + SIGKILL) {
      // Finished before the signal: the output is then the new database.
      EXPECT_EQ(status, 0);
      ASSERT_TRUE(dir.Write("out.pdb", old));
      continue;
    }
    ++killed;
    // Killed before the rename: the old file; after it: the new one, whole.
    const Bytes now = dir.ReadBytes("out.pdb");
    if (now != old) {
      EXPECT_EQ(ExportInMemory(now), csv) << "killed at " << percent << "%";
      ASSERT_TRUE(dir.Write("out.pdb", old));
    }
    // A killed process cannot remove its private file; anything left is
    // that hidden file and nothing else.
    for (const std::string& name : Listing(dir)) {
      if (before.count(name) == 0) {
        EXPECT_EQ(name.rfind(".qv-", 0), 0u) << name;
        std::filesystem::remove(dir.path(name));
      }
    }
  }
  EXPECT_GT(killed, 0);
  for (const std::string& name : OldTemporaryNames()) EXPECT_EQ(dir.Read(name), name);

  // Left alone, the same import replaces the output whole.
  EXPECT_EQ(Wait(Start(dir, args)), 0);
  EXPECT_EQ(ExportInMemory(dir.ReadBytes("out.pdb")), csv);
  EXPECT_EQ(Listing(dir), before);
}
#endif

TEST(FaultInjection, ImportsRacingForOneOutputLeaveOneWholeDatabase) {
  TempDir dir;
  std::string a, b;
  for (int i = 0; i < 4000; ++i) {
    a += "a" + std::to_string(i) + ",x\n";
    b += "b" + std::to_string(i) + "\n";
  }
  ASSERT_TRUE(dir.Write("a.csv", a));
  ASSERT_TRUE(dir.Write("b.csv", b));
  for (int round = 0; round < 3; ++round) {
    auto run = [&](std::string csv, std::string pdb) {
      return Qv(dir, {"COMMAND:TOPDB", "INFILE:{" + csv + "}", "OUTFILE:{" + pdb + "}",
                      "DBNAME:{R}", "OVERWRITE"});
    };
    auto first = std::async(std::launch::async, run, "a.csv", "same.pdb");
    auto second = std::async(std::launch::async, run, "b.csv", "same.pdb");
    auto third = std::async(std::launch::async, run, "b.csv", "other.pdb");
    EXPECT_EQ(first.get().exitStatus, 0);
    EXPECT_EQ(second.get().exitStatus, 0);
    EXPECT_EQ(third.get().exitStatus, 0);
    const std::string same = ExportInMemory(dir.ReadBytes("same.pdb"));
    EXPECT_TRUE(same == a || same == b) << same.substr(0, 200);
    EXPECT_EQ(ExportInMemory(dir.ReadBytes("other.pdb")), b);
  }
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"a.csv", "b.csv", "same.pdb", "other.pdb"}));
}

TEST(FaultInjection, OldTemporaryFileNamesSurviveEveryKindOfRun) {
  TempDir dir;
  for (const std::string& name : OldTemporaryNames()) ASSERT_TRUE(dir.Write(name, "keep " + name));
  ASSERT_TRUE(dir.Write("in.pdb", SampleDatabase(20)));
  ASSERT_TRUE(dir.Write("in.csv", "x,y\n1,2\n"));
  const std::vector<std::vector<std::string>> runs = {
      {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{out.csv}", "POPUPS:{p.csv}", "OVERWRITE"},
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{T}", "OVERWRITE"},
      {"COMMAND:TOPDB", "INFILE:{out.csv}", "OUTFILE:{copy.pdb}", "DBNAME:{T}",
       "USEEXISTING:{in.pdb}", "OVERWRITE"},
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{T}",
       "USEEXISTING:{in.csv}", "OVERWRITE"},
      {"COMMAND:TOPDB", "INFILE:{missing.csv}", "OUTFILE:{out.pdb}", "DBNAME:{T}", "OVERWRITE"},
      {"COMMAND:TOCSV", "INFILE:{in.csv}", "OUTFILE:{bad.csv}"},
  };
  for (const std::vector<std::string>& args : runs) {
    const RunResult run = Qv(dir, args);
    EXPECT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << run.output;
    for (const std::string& name : OldTemporaryNames()) {
      EXPECT_EQ(dir.Read(name), "keep " + name) << args[1];
    }
  }
  EXPECT_EQ(ExportInMemory(dir.ReadBytes("copy.pdb")), ExportInMemory(dir.ReadBytes("in.pdb")));
}

#if !defined(_WIN32)  // anonymous files, signals, pipes
// Whether files in `dir` can be made without a name, so that a killed run
// cannot leave one behind.
bool HasAnonymousFiles(const TempDir& dir) {
  const int fd = open(dir.path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// What an output says, comparable between two runs: a database by the CSV
// it exports (its header holds the time it was made), anything else as is.
std::string Comparable(const std::string& name, const std::string& bytes) {
  return name.ends_with(".pdb") ? ExportInMemory(Bytes(bytes.begin(), bytes.end())) : bytes;
}

TEST(FaultInjection, KilledOrFailingWritesLeaveOldOutputsAndNoTemporaryFile) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SampleDatabase(50)));
  ASSERT_TRUE(dir.Write("in.csv", ExportInMemory(SampleDatabase(50))));
  const std::vector<std::string> outputs = {"out.csv", "pop.csv", "out.pdb", "out.schema"};
  for (const std::string& name : outputs) ASSERT_TRUE(dir.Write(name, "old " + name));
  const std::vector<std::vector<std::string>> runs = {
      {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{out.csv}", "POPUPS:{pop.csv}", "OVERWRITE"},
      {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{out.csv}", "OVERWRITE"},
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}", "DBNAME:{D}", "OVERWRITE"},
      {"COMMAND:INFO", "INFILE:{in.pdb}", "OUTFILE:{out.schema}", "OVERWRITE"},
  };
  const bool anonymous = HasAnonymousFiles(dir);
  const std::set<std::string> before = Listing(dir);
  // Every output is longer than the limit, so each run stops in its first
  // write: killed by the signal, or told that the write failed.
  for (const auto& args : runs) {
    for (bool kills : {true, false}) {
      const int status = Wait(Start(dir, args, {16, kills}));
      EXPECT_EQ(status, kills ? 128 + SIGXFSZ : 1) << args[2];
      for (const std::string& name : outputs) EXPECT_EQ(dir.Read(name), "old " + name) << args[2];
      for (const std::string& name : Listing(dir)) {
        if (before.count(name) != 0) continue;
        // Only a killed run on a system without anonymous files may leave
        // its private file.
        EXPECT_TRUE(kills && !anonymous && name.rfind(".qv-", 0) == 0) << name << " " << args[2];
        std::filesystem::remove(dir.path(name));
      }
    }
  }
}

// The import hands its database over in chunks as the records are made; a
// write that fails after the first chunks went out still leaves nothing.
TEST(FaultInjection, ImportFailingInItsMiddleLeavesTheOldOutputAndNoTemporaryFile) {
  TempDir dir;
  std::string csv;
  for (int line = 0; line < 30000; ++line) {
    csv += std::to_string(line) + "," + std::string(100, static_cast<char>('a' + line % 26)) + "\n";
  }
  ASSERT_TRUE(dir.Write("in.csv", csv));
  ASSERT_TRUE(dir.Write("out.pdb", "old"));
  const std::set<std::string> before = Listing(dir);
  const std::vector<std::string> args = {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{out.pdb}",
                                         "DBNAME:{D}", "OVERWRITE"};
  // About 3.5 MB of output against a limit of 2.5 MB: the third chunk fails.
  EXPECT_EQ(Wait(Start(dir, args, {2'500'000, false})), 1);
  EXPECT_EQ(dir.Read("out.pdb"), "old");
  EXPECT_EQ(Listing(dir), before);
  EXPECT_EQ(Wait(Start(dir, args)), 0);
  EXPECT_GT(dir.Read("out.pdb").size(), 3'000'000u);
}

// Runs the program while this process reads the pipe "pipe" in `dir`.
// Returns the run, with exit status -1 when it did not end within 20
// seconds, and what came through the pipe.
std::pair<RunResult, std::string> RunIntoPipe(const TempDir& dir,
                                              const std::vector<std::string>& args) {
  const std::string pipe = dir.path("pipe");
  const int fd = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  auto run = std::async(std::launch::async, [&] { return Qv(dir, args); });
  std::string received;
  auto drain = [&] {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) received.append(buffer, size_t(got));
  };
  bool finished = false;
  for (int waited = 0; !finished && waited < 20'000; waited += 10) {
    drain();
    finished = run.wait_for(std::chrono::milliseconds(10)) == std::future_status::ready;
  }
  if (!finished) {
    // Release a run that waits for a writer to its output.
    const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) close(writer);
  }
  RunResult result = run.get();
  drain();
  close(fd);
  if (!finished) result.exitStatus = -1;
  return {result, received};
}

TEST(FaultInjection, PipeAsOutputIsWrittenInPlaceAndNeverWaitedOn) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SampleDatabase(20)));
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n1,2\n"));
  ASSERT_EQ(mkfifo(dir.path("pipe").c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> args;  // OUTFILE: follows
    std::string reference;          // the same output as a regular file
    const char* refusal;            // without OVERWRITE
  };
  const std::vector<Case> cases = {
      {{"COMMAND:TOCSV", "INFILE:{in.pdb}"}, "ref.csv", "File:pipe already Exists!"},
      {{"COMMAND:TOPDB", "INFILE:{in.csv}", "DBNAME:{D}"}, "ref.pdb",
       "The Database (.PDB) file you specified for output already exists."},
      {{"COMMAND:INFO", "INFILE:{in.pdb}"}, "ref.schema", "File:pipe already Exists!"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("OUTFILE:{" + c.reference + "}");
    ASSERT_EQ(Qv(dir, args).exitStatus, 0) << c.reference;
    args.back() = "OUTFILE:{pipe}";
    const auto [refused, nothing] = RunIntoPipe(dir, args);
    EXPECT_EQ(refused.exitStatus, 1) << refused.output;
    EXPECT_TRUE(Has(refused, c.refusal)) << refused.output;
    EXPECT_EQ(nothing, "");
    args.push_back("OVERWRITE");
    const auto [written, received] = RunIntoPipe(dir, args);
    EXPECT_EQ(written.exitStatus, 0) << written.output;
    EXPECT_EQ(Comparable(c.reference, received), Comparable(c.reference, dir.Read(c.reference)));
  }
  EXPECT_EQ(std::filesystem::status(dir.path("pipe")).type(), std::filesystem::file_type::fifo);
}

// Opens the pipe for writing as soon as a reader has it open; -1 when none
// did within 20 seconds.
int OpenWhenRead(const std::string& pipe) {
  for (int waited = 0; waited < 20'000; waited += 10) {
    const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) return fcntl(fd, F_SETFL, 0) == 0 ? fd : -1;
    if (errno != ENXIO) return -1;
    usleep(10'000);
  }
  return -1;
}

TEST(FaultInjection, RunsRacingForANewOutputWithoutOverwriteNeverReplaceEachOther) {
  TempDir dir;
  struct Case {
    std::vector<std::string> args;  // INFILE: and OUTFILE: follow
    std::string first, second;      // the two runs' inputs
    std::string output;
    const char* refusal;
  };
  const Bytes a = SampleDatabase(30, 1);
  const Bytes b = SampleDatabase(30, 2);
  const std::vector<Case> cases = {
      {{"COMMAND:TOCSV"}, std::string(AsText(a)), std::string(AsText(b)), "out.csv", "File:out.csv already Exists!"},
      {{"COMMAND:TOPDB", "DBNAME:{D}"}, "first\n", "second\n", "out.pdb",
       "The Database (.PDB) file you specified for output already exists."},
      {{"COMMAND:INFO"}, std::string(AsText(a)), std::string(AsText(b)), "out.schema",
       "File:out.schema already Exists!"},
  };
  ASSERT_EQ(mkfifo(dir.path("first.in").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.path("second.in").c_str(), 0600), 0);
  for (const Case& c : cases) {
    auto run = [&](const std::string& input, const std::string& output) {
      std::vector<std::string> args = c.args;
      args.push_back("INFILE:{" + input + "}");
      args.push_back("OUTFILE:{" + output + "}");
      return Qv(dir, args);
    };
    ASSERT_TRUE(dir.Write("ref.in", c.first));
    ASSERT_EQ(run("ref.in", "ref." + c.output).exitStatus, 0);
    // Both runs have passed their checks once they read their input; the
    // first then finishes, and the second must not replace its output.
    auto first = std::async(std::launch::async, run, "first.in", c.output);
    auto second = std::async(std::launch::async, run, "second.in", c.output);
    const int firstInput = OpenWhenRead(dir.path("first.in"));
    const int secondInput = OpenWhenRead(dir.path("second.in"));
    ASSERT_GE(firstInput, 0);
    ASSERT_GE(secondInput, 0);
    EXPECT_TRUE(write(firstInput, c.first.data(), c.first.size()) == ssize_t(c.first.size()));
    close(firstInput);
    const RunResult winner = first.get();
    EXPECT_TRUE(write(secondInput, c.second.data(), c.second.size()) == ssize_t(c.second.size()));
    close(secondInput);
    const RunResult loser = second.get();
    EXPECT_EQ(winner.exitStatus, 0) << winner.output;
    EXPECT_EQ(loser.exitStatus, 1) << loser.output;
    EXPECT_TRUE(Has(loser, c.refusal)) << loser.output;
    EXPECT_EQ(Comparable(c.output, dir.Read(c.output)),
              Comparable(c.output, dir.Read("ref." + c.output)));
  }
}
#endif

TEST(FaultInjection, FolderAsOutputIsReportedAsAFolder) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("in.pdb", SampleDatabase(5)));
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n"));
  ASSERT_TRUE(std::filesystem::create_directory(dir.path("folder")));
  ASSERT_TRUE(dir.Write("folder/inside", "kept"));
  const std::vector<std::vector<std::string>> runs = {
      {"COMMAND:TOCSV", "INFILE:{in.pdb}", "OUTFILE:{folder}"},
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{folder}", "DBNAME:{D}"},
      {"COMMAND:INFO", "INFILE:{in.pdb}", "OUTFILE:{folder}"},
  };
  for (std::vector<std::string> args : runs) {
    for (int round = 0; round < 2; ++round) {
      const RunResult run = Qv(dir, args);
      EXPECT_EQ(run.exitStatus, 1) << run.output;
      EXPECT_TRUE(Has(run, "ERROR:\nFile:folder is a Folder!  Please specify a file name and try "
                           "again.\n"))
          << run.output;
      EXPECT_FALSE(Has(run, "already")) << run.output;
      EXPECT_EQ(Has(run, "Conversion Cancelled!"), args[0] != "COMMAND:TOPDB") << run.output;
      EXPECT_EQ(dir.Read("folder/inside"), "kept");
      args.push_back("OVERWRITE");
    }
  }
}

}  // namespace
}  // namespace qv
