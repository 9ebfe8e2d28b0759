#include "cli/file_io.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace qv {
namespace {

// Names of files in the folder other than the ones a test made itself.
int CountEntries(const std::string& folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

TEST(FileIo, ReadsWholeFilesAndTheirLength) {
  testing::TempDir dir;
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_TRUE(dir.Write("data", binary));
  ASSERT_TRUE(dir.Write("empty", ""));
  EXPECT_EQ(ReadWholeFile(dir.path("data")), binary);
  EXPECT_EQ(ReadWholeFile(dir.path("empty")), "");
  EXPECT_EQ(ReadWholeFile(dir.path("missing")), std::nullopt);
  EXPECT_EQ(ReadWholeFile(dir.path()), std::nullopt);  // a folder is not a file
  EXPECT_EQ(FileLength(dir.path("data")), 6u);
  EXPECT_EQ(FileLength(dir.path("missing")), 0u);
  EXPECT_TRUE(FileExists(dir.path("empty")));
  EXPECT_FALSE(FileExists(dir.path("missing")));

  const std::string big(300000, 'z');  // more than one read's worth
  ASSERT_TRUE(dir.Write("big", big));
  EXPECT_EQ(ReadWholeFile(dir.path("big")), big);
}

TEST(FileIo, SameFileComparesTheFileNotTheSpelling) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("x", "1"));
  ASSERT_TRUE(dir.Write("y", "1"));
  ASSERT_EQ(link(dir.path("x").c_str(), dir.path("hard").c_str()), 0);
  EXPECT_TRUE(SameFile(dir.path("x"), dir.path("./x")));
  EXPECT_TRUE(SameFile(dir.path("x"), dir.path() + "/../" +
                                          std::filesystem::path(dir.path()).filename().string() +
                                          "/x"));
  EXPECT_TRUE(SameFile(dir.path("x"), dir.path("hard")));
  EXPECT_FALSE(SameFile(dir.path("x"), dir.path("y")));
  EXPECT_FALSE(SameFile(dir.path("missing"), dir.path("missing")));
}

TEST(FileIo, WriteWholeFileReportsEveryFailure) {
  testing::TempDir dir;
  std::string error;
  EXPECT_TRUE(WriteWholeFile(dir.path("out"), "first", error));
  EXPECT_TRUE(WriteWholeFile(dir.path("out"), "2", error));
  EXPECT_EQ(dir.Read("out"), "2");

  EXPECT_FALSE(WriteWholeFile("/dev/full", "no room", error));
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(WriteWholeFile(dir.path("no/such/folder"), "x", error));
  EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
}

TEST(FileIo, AtomicWriteCreatesAndReplaces) {
  testing::TempDir dir;
  std::string error;
  const mode_t old = umask(027);
  const bool created = WriteFileAtomically(dir.path("new.pdb"), AsBytes("abc"), error);
  umask(old);
  ASSERT_TRUE(created) << error;
  EXPECT_EQ(dir.Read("new.pdb"), "abc");
  struct stat info {};
  ASSERT_EQ(stat(dir.path("new.pdb").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  ASSERT_TRUE(WriteFileAtomically(dir.path("new.pdb"), AsBytes(""), error)) << error;
  EXPECT_EQ(dir.Read("new.pdb"), "");
  EXPECT_EQ(CountEntries(dir.path()), 1);  // no temporary file left behind

  // A relative name lands in the working folder.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const bool relative = WriteFileAtomically("rel.pdb", AsBytes("r"), error);
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(relative) << error;
  EXPECT_EQ(dir.Read("rel.pdb"), "r");
}

TEST(FileIo, AtomicWriteFailureLeavesTheOldFile) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("out.pdb", "old contents"));
  std::string error;

  // A file size limit makes the write itself fail halfway, after the
  // temporary file exists (root ignores folder permissions, so those
  // cannot be used to provoke a failure).
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteFileAtomically(dir.path("out.pdb"), Bytes(10000, 7), error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_NE(error.find("out.pdb"), std::string::npos) << error;
  EXPECT_EQ(dir.Read("out.pdb"), "old contents");
  EXPECT_EQ(CountEntries(dir.path()), 1);

  // Replacing a folder fails at the rename; the folder stays as it was.
  ASSERT_TRUE(std::filesystem::create_directory(dir.path("folder")));
  ASSERT_TRUE(dir.Write("folder/inside", "i"));
  EXPECT_FALSE(WriteFileAtomically(dir.path("folder"), AsBytes("x"), error));
  EXPECT_EQ(dir.Read("folder/inside"), "i");
  EXPECT_EQ(CountEntries(dir.path()), 2);

  EXPECT_FALSE(WriteFileAtomically(dir.path("missing/out.pdb"), AsBytes("x"), error));
}

TEST(FileIo, AtomicWriteKeepsLinksAndDevices) {
  testing::TempDir dir;
  std::string error;
  ASSERT_TRUE(dir.Write("real.pdb", "old"));
  ASSERT_EQ(symlink("real.pdb", dir.path("link.pdb").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomically(dir.path("link.pdb"), AsBytes("new"), error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.pdb")));
  EXPECT_EQ(dir.Read("real.pdb"), "new");

  // A device is written through, never replaced by a regular file.
  EXPECT_TRUE(WriteFileAtomically("/dev/null", AsBytes("discarded"), error)) << error;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_FALSE(WriteFileAtomically("/dev/full", AsBytes("no room"), error));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
}  // namespace qv
