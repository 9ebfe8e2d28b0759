// Inputs that need more memory than the system grants, or more bytes than a
// database can describe: the program reports them and writes nothing; it
// never aborts, and never reads an endless input to its end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/file_io.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

// The sanitizers reserve terabytes of address space up front, so a limit on
// it cannot be set under them.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanLimitMemory = false;
#else
constexpr bool kCanLimitMemory = true;
#endif

struct ChildRun {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string output;
};

// The address space this process holds now.
size_t AddressSpace() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (statm != nullptr) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

#if defined(QV_COVERAGE)
// Writes the coverage counters, which _exit would drop.
extern "C" void __gcov_dump(void);
#endif

// Runs `body` in a child process, in `folder`, with standard output
// collected; its address space may grow by at most `headroom` bytes (0: no
// limit), and it is killed after `seconds`. An exception that leaves `body`
// aborts the child. The output must fit a pipe's buffer, as it is read once
// the child has ended.
ChildRun RunInChild(const std::string& folder, size_t headroom, unsigned seconds,
                    const std::function<int()>& body) {
  ChildRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  std::fflush(stdout);  // or the child would write this process's pending output too
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    alarm(seconds);
    const rlimit limit{AddressSpace() + headroom, AddressSpace() + headroom};
    if (chdir(folder.c_str()) != 0 || (headroom != 0 && setrlimit(RLIMIT_AS, &limit) != 0)) {
      _exit(125);
    }
    int status = 0;
    try {
      status = body();
    } catch (...) {
      std::abort();  // as the program ends on an exception nothing catches
    }
    std::fflush(stdout);
#if defined(QV_COVERAGE)
    __gcov_dump();
#endif
    _exit(status);
  }
  close(out[1]);
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  char buffer[4096];
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
    run.output.append(buffer, static_cast<size_t>(got));
  }
  close(out[0]);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.status = 128 + WTERMSIG(status);
  return run;
}

ChildRun RunQvInChild(const testing::TempDir& dir, std::vector<std::string> args,
                      size_t headroom, unsigned seconds = 60) {
  args.insert(args.begin(), "qv");
  return RunInChild(dir.path(), headroom, seconds, [&] { return RunApp(args); });
}

std::vector<std::string> Listing(const testing::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

constexpr size_t kMiB = size_t{1} << 20;

TEST(ResourceLimits, RunningOutOfMemoryFailsTheConversionAndWritesNothing) {
  if (!kCanLimitMemory) GTEST_SKIP() << "address space cannot be limited under the sanitizers";
  testing::TempDir dir;
  std::string csv;
  for (int i = 0; i < 60000; ++i) csv += std::string(250, 'x') + "," + std::to_string(i) + "\n";
  ASSERT_TRUE(dir.Write("in.csv", csv));
  const std::vector<std::vector<std::string>> runs = {
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{o.pdb}", "DBNAME:{D}"},
      // An endless input is read until the memory runs out, or the size
      // limit, whichever comes first.
      {"COMMAND:TOCSV", "INFILE:{/dev/zero}", "OUTFILE:{o.csv}"},
      {"COMMAND:INFO", "INFILE:{/dev/zero}"}};
  for (const std::vector<std::string>& args : runs) {
    const ChildRun run = RunQvInChild(dir, args, 8 * kMiB);
    EXPECT_EQ(run.status, 1) << args[0] << "\n" << run.output;
    EXPECT_NE(run.output.find("ERROR:\nOut of memory"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ERROR:In Conversion!"), std::string::npos) << run.output;
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"in.csv"});
  }
  // SQLite running out of its memory fails the conversion the same way,
  // with SQLite's words or the program's.
  ASSERT_EQ(RunQvInChild(dir, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{big.pdb}", "DBNAME:{D}"},
                         0)
                .status,
            0);
  const ChildRun sqlite = RunQvInChild(
      dir, {"COMMAND:TOSQLITE", "INFILE:{big.pdb}", "OUTFILE:{o.sqlite}"}, 8 * kMiB);
  EXPECT_EQ(sqlite.status, 1) << sqlite.output;
  EXPECT_TRUE(sqlite.output.find("out of memory") != std::string::npos ||
              sqlite.output.find("Out of memory") != std::string::npos)
      << sqlite.output;
  EXPECT_NE(sqlite.output.find("ERROR:In Conversion!"), std::string::npos) << sqlite.output;
  EXPECT_EQ(Listing(dir), (std::vector<std::string>{"big.pdb", "in.csv"}));
}

TEST(ResourceLimits, WideFirstLineOverManyShortOnesNeedsNoMoreThanItsText) {
  if (!kCanLimitMemory) GTEST_SKIP() << "address space cannot be limited under the sanitizers";
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("w.csv", std::string(100000, ',') + "\n" + [] {
    std::string lines;
    for (int i = 0; i < 60000; ++i) lines += "x\n";
    return lines;
  }()));
  const ChildRun run = RunQvInChild(
      dir, {"COMMAND:TOPDB", "INFILE:{w.csv}", "OUTFILE:{w.pdb}", "DBNAME:{x}"}, 64 * kMiB);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("but a database holds at most 30 fields"), std::string::npos)
      << run.output;
}

TEST(ResourceLimits, InputsLargerThanADatabaseAreRefusedUnread) {
  testing::TempDir dir;
  // Sparse: 5 GiB long, next to nothing on disk.
  const int fd = open(dir.path("huge").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  const bool sparse = ftruncate(fd, off_t{5} << 30) == 0;
  close(fd);
  if (!sparse) GTEST_SKIP() << "no 5 GiB file here";
  ASSERT_TRUE(dir.Write("in.csv", "a\n"));
  const std::vector<std::vector<std::string>> runs = {
      {"COMMAND:TOCSV", "INFILE:{huge}", "OUTFILE:{o.csv}"},
      {"COMMAND:INFO", "INFILE:{huge}"},
      {"COMMAND:TOPDB", "INFILE:{huge}", "OUTFILE:{o.pdb}", "DBNAME:{D}"},
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{o.pdb}", "DBNAME:{D}", "USEEXISTING:{huge}"},
      {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{o.pdb}", "DBNAME:{D}", "SCHEMA:{huge}"}};
  for (const std::vector<std::string>& args : runs) {
    const ChildRun run = RunQvInChild(dir, args, kCanLimitMemory ? 64 * kMiB : 0, 20);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("The file huge is larger than 4 GiB"), std::string::npos)
        << run.output;
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"huge", "in.csv"}));
  }

  // An endless device stops being read once past the limit.
  const ChildRun endless = RunInChild(dir.path(), 0, 20, [] {
    const Result<std::optional<std::string>> read = ReadWholeFile("/dev/zero", kMiB);
    return !read ? 0 : 1;
  });
  EXPECT_EQ(endless.status, 0);
}

}  // namespace
}  // namespace qv
