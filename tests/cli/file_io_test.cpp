// The file layer on its own: reading, comparing paths, and outputs that are
// written whole or not at all.
#include "cli/file_io.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace qv {
namespace {

// How an output step ended, told from its Status: the refusal of an existing
// destination fails with the words the tests give for it, kExists.
enum class OutputStatus { kDone, kAlreadyExists, kFailed };
constexpr const char* kExists = "exists";

// The step's outcome; a failure's message goes to `error`.
OutputStatus Outcome(const Status& status, std::string& error) {
  if (status) return OutputStatus::kDone;
  if (status.message() == kExists) return OutputStatus::kAlreadyExists;
  error = status.message();
  return OutputStatus::kFailed;
}

// ReadInput's input, or nothing; `tooLarge` tells whether it failed as too
// large (its only failure).
std::optional<InputBytes> ReadInputOrTooLarge(const std::string& path, bool& tooLarge,
                                              uint64_t limit = kLargestInput) {
  Result<std::optional<InputBytes>> read = ReadInput(path, limit);
  tooLarge = !read;
  if (tooLarge) {
    EXPECT_EQ(read.message(), TooLargeMessage(path));
  }
  return read ? std::move(*read) : std::nullopt;
}

// Names of files in the folder other than the ones a test made itself.
int CountEntries(const std::string& folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

#if !defined(_WIN32)
mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}
#endif

TEST(FileIo, ReadsWholeFilesAndTheirLength) {
  testing::TempDir dir;
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_TRUE(dir.Write("data", binary));
  ASSERT_TRUE(dir.Write("empty", ""));
  EXPECT_EQ(ReadWholeFile(dir.path("data")).value(), binary);
  EXPECT_EQ(ReadWholeFile(dir.path("empty")).value(), "");
  EXPECT_EQ(ReadWholeFile(dir.path("missing")).value(), std::nullopt);
  EXPECT_EQ(ReadWholeFile(dir.path()).value(), std::nullopt);  // a folder is not a file
  EXPECT_EQ(FileLength(dir.path("data")), 6u);
  EXPECT_EQ(FileLength(dir.path("missing")), 0u);

  const std::string big(300000, 'z');  // more than one read's worth
  ASSERT_TRUE(dir.Write("big", big));
  EXPECT_EQ(ReadWholeFile(dir.path("big")).value(), big);
}

// Mapped (regular files) or read (the rest), an input gives the bytes and
// the refusals ReadWholeFile gives.
TEST(FileIo, InputsMatchWholeFileReads) {
  testing::TempDir dir;
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_TRUE(dir.Write("data", binary));
  ASSERT_TRUE(dir.Write("empty", ""));
  bool tooLarge = true;
  for (const char* name : {"data", "empty"}) {
    const std::optional<InputBytes> input = ReadInputOrTooLarge(dir.path(name), tooLarge);
    ASSERT_TRUE(input.has_value()) << name;
    EXPECT_EQ(input->view(), ReadWholeFile(dir.path(name)).value().value()) << name;
    EXPECT_FALSE(tooLarge);
  }
  EXPECT_FALSE(ReadInputOrTooLarge(dir.path("missing"), tooLarge).has_value());
  EXPECT_FALSE(ReadInputOrTooLarge(dir.path(), tooLarge).has_value());
  EXPECT_FALSE(tooLarge);
  EXPECT_FALSE(ReadInputOrTooLarge(dir.path("data"), tooLarge, 5).has_value());
  EXPECT_TRUE(tooLarge);
  // A moved input keeps its bytes.
  std::optional<InputBytes> first = ReadInputOrTooLarge(dir.path("data"), tooLarge);
  ASSERT_TRUE(first.has_value());
  const InputBytes moved = std::move(*first);
  EXPECT_EQ(moved.view(), binary);
}

#if !defined(_WIN32)
// An input shortened by another program while it is mapped stops the
// program with a message and exit status 1, not with a signal.
TEST(FileIo, AShortenedMappedInputStopsWithAMessage) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("data", std::string(1 << 16, 'x')));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool tooLarge = false;
    const std::optional<InputBytes> input = ReadInputOrTooLarge(dir.path("data"), tooLarge);
    if (!input || truncate(dir.path("data").c_str(), 0) != 0) _exit(3);
    const volatile char last = input->view().back();
    _exit(last == 'x' ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
}
#endif

TEST(FileIo, ExistenceIsFoundWithoutOpening) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("empty", ""));
  EXPECT_TRUE(FileExists(dir.path("empty")));
  EXPECT_TRUE(FileExists(dir.path()));
  EXPECT_FALSE(FileExists(dir.path("missing")));
  EXPECT_TRUE(IsFolder(dir.path()));
  EXPECT_FALSE(IsFolder(dir.path("empty")));
  EXPECT_FALSE(IsFolder(dir.path("missing")));
#if !defined(_WIN32)
  ASSERT_EQ(mkfifo(dir.path("pipe").c_str(), 0600), 0);  // opening it would wait for a writer
  ASSERT_EQ(symlink("nowhere", dir.path("dangling").c_str()), 0);
  EXPECT_TRUE(FileExists(dir.path("pipe")));
  EXPECT_TRUE(FileExists(dir.path("dangling")));
  EXPECT_FALSE(IsFolder(dir.path("pipe")));
#endif
}

TEST(FileIo, SameFileComparesTheFileNotTheSpelling) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("x", "1"));
  ASSERT_TRUE(dir.Write("y", "1"));
  std::filesystem::create_hard_link(dir.path("x"), dir.path("hard"));
  EXPECT_TRUE(SameFile(dir.path("x"), dir.path("./x")));
  EXPECT_TRUE(SameFile(dir.path("x"), dir.path() + "/../" +
                                          std::filesystem::path(dir.path()).filename().string() +
                                          "/x"));
  EXPECT_TRUE(SameFile(dir.path("x"), dir.path("hard")));
  EXPECT_FALSE(SameFile(dir.path("x"), dir.path("y")));
  EXPECT_FALSE(SameFile(dir.path("missing"), dir.path("missing")));
}

TEST(FileIo, SamePlaceMatchesEverySpellingOfAFileNotYetMade) {
  testing::TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir.path("real")));
#if !defined(_WIN32)
  ASSERT_EQ(symlink("real", dir.path("alias").c_str()), 0);
#endif
  std::string backslashed = dir.path("o.csv");
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  struct Case {
    const char* a;
    std::string b;
    bool same;
  };
  const Case cases[] = {
      {"o.csv", "./o.csv", true},
      {"o.csv", "sub/../o.csv", true},  // "sub" does not exist
      {"o.csv", dir.path("o.csv"), true},
      {"o.csv", "real/o.csv", false},
      {"o.csv", "", false},
#if defined(_WIN32)  // '\' separates too, and names ignore letter case
      {"o.csv", backslashed, true},
      {"o.csv", ".\\O.CSV", true},
#else
      {"real/o.csv", "alias/o.csv", true},
      {"o.csv", backslashed, false},
      {"o.csv", "O.csv", false},
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(SamePlace(c.a, c.b), c.same) << c.a << " " << c.b;
  std::filesystem::current_path(cwd);
}

TEST(FileIo, OutputCreatesReplacesOrRefuses) {
  testing::TempDir dir;
  std::string error;
#if !defined(_WIN32)
  const mode_t old = umask(027);
#endif
  const OutputStatus created =
      Outcome(WriteOutputFile(dir.path("new.pdb"), "abc", false, kExists), error);
#if !defined(_WIN32)
  umask(old);
  EXPECT_EQ(ModeOf(dir.path("new.pdb")), 0640u);
#endif
  ASSERT_EQ(created, OutputStatus::kDone) << error;
  EXPECT_EQ(dir.Read("new.pdb"), "abc");

  EXPECT_EQ(Outcome(WriteOutputFile(dir.path("new.pdb"), "x", false, kExists), error),
            OutputStatus::kAlreadyExists);
  EXPECT_EQ(dir.Read("new.pdb"), "abc");
  ASSERT_EQ(Outcome(WriteOutputFile(dir.path("new.pdb"), "", true, kExists), error),
            OutputStatus::kDone)
      << error;
  EXPECT_EQ(dir.Read("new.pdb"), "");
  EXPECT_EQ(CountEntries(dir.path()), 1);  // no temporary file left behind

  // A relative name lands in the working folder.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const OutputStatus relative = Outcome(WriteOutputFile("rel.pdb", "r", false, kExists), error);
  std::filesystem::current_path(cwd);
  EXPECT_EQ(relative, OutputStatus::kDone) << error;
  EXPECT_EQ(dir.Read("rel.pdb"), "r");
}

#if !defined(_WIN32)  // permission bits and owners
TEST(FileIo, ReplacedFileKeepsItsPermissionsAndOwner) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("private.pdb", "old"));
  ASSERT_EQ(chmod(dir.path("private.pdb").c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(dir.path("private.pdb").c_str(), 65534, 65534), 0);
  }
  std::string error;
  ASSERT_EQ(Outcome(WriteOutputFile(dir.path("private.pdb"), "new", true, kExists), error),
            OutputStatus::kDone)
      << error;
  EXPECT_EQ(dir.Read("private.pdb"), "new");
  EXPECT_EQ(ModeOf(dir.path("private.pdb")), 0600u);
  struct stat info {};
  ASSERT_EQ(stat(dir.path("private.pdb").c_str(), &info), 0);
  if (root) {
    EXPECT_EQ(info.st_uid, 65534u);
  }
}
#endif

TEST(FileIo, OutputAppearingWhileWrittenIsNeverReplaced) {
  testing::TempDir dir;
  std::string error;
  OutputFile file;
  ASSERT_EQ(Outcome(file.Open(dir.path("out.pdb"), false, kExists), error), OutputStatus::kDone)
      << error;
#if !defined(_WIN32)
  // Where the system has anonymous files, nothing has a name until the end.
  const int probe = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe >= 0) {
    close(probe);
    EXPECT_EQ(CountEntries(dir.path()), 0);
  }
#endif
  ASSERT_TRUE(dir.Write("out.pdb", "the other run's"));
  EXPECT_EQ(Outcome(file.Finish("mine"), error), OutputStatus::kAlreadyExists);
  EXPECT_EQ(dir.Read("out.pdb"), "the other run's");
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(FileIo, ChunksAppearOnlyWhenFinished) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("out.csv", "old"));
  std::string error;
  {
    OutputFile file;
    ASSERT_EQ(Outcome(file.Open(dir.path("out.csv"), true, kExists), error), OutputStatus::kDone)
        << error;
    ASSERT_EQ(Outcome(file.Write("ab"), error), OutputStatus::kDone) << error;
    ASSERT_EQ(Outcome(file.Write("cd"), error), OutputStatus::kDone) << error;
    EXPECT_EQ(dir.Read("out.csv"), "old");
    ASSERT_EQ(Outcome(file.Finish("e"), error), OutputStatus::kDone) << error;
  }
  EXPECT_EQ(dir.Read("out.csv"), "abcde");
  {
    OutputFile abandoned;
    ASSERT_EQ(Outcome(abandoned.Open(dir.path("out.csv"), true, kExists), error),
              OutputStatus::kDone)
        << error;
    ASSERT_EQ(Outcome(abandoned.Write("never placed"), error), OutputStatus::kDone) << error;
  }
  EXPECT_EQ(dir.Read("out.csv"), "abcde");
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

// The import writes its record list last, over the zeros that held its
// place; appending carries on after the end.
TEST(FileIo, WriteAtChangesWrittenBytesAndAppendingGoesOn) {
  testing::TempDir dir;
  std::string error;
  OutputFile file;
  ASSERT_EQ(Outcome(file.Open(dir.path("out.pdb"), true, kExists), error), OutputStatus::kDone)
      << error;
  ASSERT_TRUE(file.CanWriteAt());
  ASSERT_EQ(Outcome(file.Write("0000abcd"), error), OutputStatus::kDone) << error;
  ASSERT_EQ(Outcome(file.WriteAt(1, "XY"), error), OutputStatus::kDone) << error;
  ASSERT_EQ(Outcome(file.Write("ef"), error), OutputStatus::kDone) << error;
  ASSERT_EQ(Outcome(file.WriteAt(0, "H"), error), OutputStatus::kDone) << error;
  EXPECT_FALSE(dir.Exists("out.pdb"));
  ASSERT_EQ(Outcome(file.Finish("g"), error), OutputStatus::kDone) << error;
  EXPECT_EQ(dir.Read("out.pdb"), "HXY0abcdefg");
#if !defined(_WIN32)
  // A device takes the bytes as they come: nothing can be written back.
  OutputFile device;
  ASSERT_EQ(Outcome(device.Open("/dev/null", true, kExists), error), OutputStatus::kDone) << error;
  EXPECT_FALSE(device.CanWriteAt());
  EXPECT_EQ(Outcome(device.WriteAt(0, "x"), error), OutputStatus::kFailed);
#endif
}

TEST(FileIo, OutputFailureLeavesTheOldFile) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("out.pdb", "old contents"));
  std::string error;

#if !defined(_WIN32)
  // A file size limit makes the write itself fail halfway, after the
  // private file exists (root ignores folder permissions, so those
  // cannot be used to provoke a failure).
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const OutputStatus written =
      Outcome(WriteOutputFile(dir.path("out.pdb"), std::string(10000, '7'), true, kExists), error);
  // Written in chunks, a failed chunk loses the output: Finish fails too.
  OutputFile chunked;
  ASSERT_EQ(Outcome(chunked.Open(dir.path("out.pdb"), true, kExists), error), OutputStatus::kDone)
      << error;
  const OutputStatus chunk = Outcome(chunked.Write(std::string(10000, '8')), error);
  std::string finishError;
  const OutputStatus finished = Outcome(chunked.Finish(""), finishError);
  // A positioned write past the limit fails the output the same way, and
  // so does every write after it.
  OutputFile positioned;
  ASSERT_EQ(Outcome(positioned.Open(dir.path("out.pdb"), true, kExists), error),
            OutputStatus::kDone)
      << error;
  std::string positionedError;
  const OutputStatus far = Outcome(positioned.WriteAt(8192, "x"), positionedError);
  std::string afterError;
  const OutputStatus again = Outcome(positioned.WriteAt(0, "x"), afterError);
  const OutputStatus appended = Outcome(positioned.Write("x"), afterError);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(far, OutputStatus::kFailed);
  EXPECT_EQ(again, OutputStatus::kFailed);
  EXPECT_EQ(appended, OutputStatus::kFailed);
  EXPECT_EQ(afterError, positionedError);
  EXPECT_NE(positionedError.find("out.pdb"), std::string::npos) << positionedError;

  EXPECT_EQ(written, OutputStatus::kFailed);
  EXPECT_EQ(chunk, OutputStatus::kFailed);
  EXPECT_EQ(finished, OutputStatus::kFailed);
  EXPECT_EQ(finishError, error);
  EXPECT_NE(error.find("out.pdb"), std::string::npos) << error;
#endif
  EXPECT_EQ(dir.Read("out.pdb"), "old contents");
  EXPECT_EQ(CountEntries(dir.path()), 1);

  // A folder is never replaced; a missing folder is reported by name.
  ASSERT_TRUE(std::filesystem::create_directory(dir.path("folder")));
  ASSERT_TRUE(dir.Write("folder/inside", "i"));
  EXPECT_EQ(Outcome(WriteOutputFile(dir.path("folder"), "x", true, kExists), error),
            OutputStatus::kFailed);
  EXPECT_EQ(dir.Read("folder/inside"), "i");
  EXPECT_EQ(CountEntries(dir.path()), 2);
  EXPECT_EQ(Outcome(WriteOutputFile(dir.path("missing/out.pdb"), "x", true, kExists), error),
            OutputStatus::kFailed);
  EXPECT_NE(error.find("missing/out.pdb"), std::string::npos) << error;
}

#if defined(_WIN32)
TEST(FileIo, OutputWritesDevicesInPlace) {
  std::string error;
  EXPECT_EQ(Outcome(WriteOutputFile("NUL", "discarded", true, kExists), error), OutputStatus::kDone)
      << error;
  EXPECT_EQ(Outcome(WriteOutputFile("NUL", "discarded", false, kExists), error),
            OutputStatus::kAlreadyExists);
}
#else
TEST(FileIo, OutputKeepsLinksAndWritesDevicesInPlace) {
  testing::TempDir dir;
  std::string error;
  ASSERT_TRUE(dir.Write("real.pdb", "old"));
  ASSERT_EQ(symlink("real.pdb", dir.path("link.pdb").c_str()), 0);
  ASSERT_EQ(Outcome(WriteOutputFile(dir.path("link.pdb"), "new", true, kExists), error),
            OutputStatus::kDone)
      << error;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.pdb")));
  EXPECT_EQ(dir.Read("real.pdb"), "new");

  // A device is written through, never replaced by a regular file, and
  // only when replacing is allowed.
  EXPECT_EQ(Outcome(WriteOutputFile("/dev/null", "discarded", true, kExists), error),
            OutputStatus::kDone)
      << error;
  EXPECT_EQ(Outcome(WriteOutputFile("/dev/null", "discarded", false, kExists), error),
            OutputStatus::kAlreadyExists);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_EQ(Outcome(WriteOutputFile("/dev/full", "no room", true, kExists), error),
            OutputStatus::kFailed);
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}
#endif

}  // namespace
}  // namespace qv
