// The platform layer: the folder walk (order, links, duplicates, unreadable
// subfolders), reading only the files it listed, folder creation, and large
// blocks of memory.
#include "cli/platform.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::TempDir;

std::vector<std::string> Paths(const std::vector<FolderProblem>& problems) {
  std::vector<std::string> paths;
  for (const FolderProblem& problem : problems) paths.push_back(problem.path + ": " + problem.reason);
  return paths;
}

TEST(ListFilesBelow, ListsEveryFileBelowInPathOrder) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(MakeFolders(dir.path("root/a/deep")).ok());
  ASSERT_TRUE(MakeFolders(dir.path("root/empty")).ok());
  for (const char* name : {"root/b.pdb", "root/a.pdb", "root/a/deep/z.pdb", "root/a/x.pdb", "else.pdb"}) {
    ASSERT_TRUE(dir.Write(name, name));
  }
  const FolderListing listing = ListFilesBelow(dir.path("root"));
  EXPECT_EQ(listing.files, (std::vector<std::string>{"a.pdb", "a/deep/z.pdb", "a/x.pdb", "b.pdb"}));
  EXPECT_TRUE(listing.errors.empty()) << ::testing::PrintToString(Paths(listing.errors));
  EXPECT_TRUE(listing.skippedLinks.empty());
}

// Symbolic links, hard links, pipes, and folder permissions with another
// user: what the POSIX walk must handle.
#if !defined(_WIN32)
TEST(ListFilesBelow, ListsEachFileOnceInPathOrderWithoutLeavingTheFolder) {
  TempDir outside;
  ASSERT_TRUE(outside.Write("elsewhere.pdb", "x"));
  TempDir dir;
  ASSERT_EQ(mkdir(dir.path("root").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.path("root/a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.path("root/a/deep").c_str(), 0755), 0);
  ASSERT_TRUE(dir.Write("root/b.pdb", "b"));
  ASSERT_TRUE(dir.Write("root/a.pdb", "a"));
  ASSERT_TRUE(dir.Write("root/a/deep/z.pdb", "z"));
  ASSERT_TRUE(dir.Write("root/a/x.pdb", "x"));
  ASSERT_TRUE(dir.Write("outside-root.pdb", "o"));
  // The same files again under other names: listed once, under their own
  // path rather than a link's, and under the first of two hard links.
  ASSERT_EQ(link(dir.path("root/b.pdb").c_str(), dir.path("root/c-hard.pdb").c_str()), 0);
  ASSERT_EQ(symlink("a/x.pdb", dir.path("root/y-link.pdb").c_str()), 0);
  ASSERT_EQ(symlink("a/deep/z.pdb", dir.path("root/0-link.pdb").c_str()), 0);
  // Links that are never followed: a loop, a folder inside, files outside,
  // a link to nothing; and a pipe, which is not a regular file.
  ASSERT_EQ(symlink(".", dir.path("root/a/loop").c_str()), 0);
  ASSERT_EQ(symlink("..", dir.path("root/a/deep/up").c_str()), 0);
  ASSERT_EQ(symlink(outside.path("elsewhere.pdb").c_str(), dir.path("root/out.pdb").c_str()), 0);
  ASSERT_EQ(symlink("../../outside-root.pdb", dir.path("root/a/up.pdb").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), dir.path("root/outdir").c_str()), 0);
  ASSERT_EQ(symlink("missing.pdb", dir.path("root/dangling.pdb").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.path("root/pipe").c_str(), 0600), 0);

  // The walked folder may itself be reached through a link.
  ASSERT_EQ(symlink("root", dir.path("via").c_str()), 0);
  for (const std::string& folder : {dir.path("root"), dir.path("via") + "/"}) {
    SCOPED_TRACE(folder);
    const FolderListing listing = ListFilesBelow(folder);
    EXPECT_EQ(listing.files,
              (std::vector<std::string>{"a.pdb", "a/deep/z.pdb", "a/x.pdb", "b.pdb"}));
    EXPECT_TRUE(listing.errors.empty()) << ::testing::PrintToString(Paths(listing.errors));
    EXPECT_EQ(Paths(listing.skippedLinks),
              (std::vector<std::string>{"a/up.pdb: symbolic link leading out of the folder",
                                        "dangling.pdb: symbolic link leading nowhere",
                                        "out.pdb: symbolic link leading out of the folder",
                                        "outdir: symbolic link leading out of the folder"}));
  }
}

#endif

TEST(ListFilesBelow, AFolderThatCannotBeOpenedIsOneError) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("file.pdb", "x"));
  for (const std::string& path : {dir.path("missing"), dir.path("file.pdb")}) {
    const FolderListing listing = ListFilesBelow(path);
    EXPECT_TRUE(listing.files.empty());
    ASSERT_EQ(listing.errors.size(), 1u);
    EXPECT_EQ(listing.errors[0].path, "");
    EXPECT_FALSE(listing.errors[0].reason.empty());
  }
}

#if !defined(_WIN32)
// Root reads any folder, so there the walk runs in a child process as user
// nobody; the child sends its listing back as lines.
TEST(ListFilesBelow, AnUnreadableSubfolderIsAnErrorAndTheRestIsListed) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.path("locked").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.path("open").c_str(), 0755), 0);
  ASSERT_TRUE(dir.Write("locked/secret.pdb", "s"));
  ASSERT_TRUE(dir.Write("open/one.pdb", "1"));
  ASSERT_TRUE(dir.Write("two.pdb", "2"));
  ASSERT_EQ(chmod(dir.path("locked").c_str(), 0), 0);

  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(channel[0]);
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(125);
    }
    const FolderListing listing = ListFilesBelow(dir.path());
    std::string out;
    for (const std::string& file : listing.files) out += "file " + file + "\n";
    for (const FolderProblem& error : listing.errors) out += "error " + error.path + "\n";
    _exit(write(channel[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  close(channel[1]);
  std::string received;
  char buffer[256];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) received.append(buffer, n);
  close(channel[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  chmod(dir.path("locked").c_str(), 0755);  // so that the folder can be removed
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 125) GTEST_SKIP() << "cannot switch to user nobody here";
  EXPECT_EQ(received, "file open/one.pdb\nfile two.pdb\nerror locked\n");
}
#endif

TEST(MakeFolders, CreatesEveryMissingFolderAndRefusesAFileInThePath) {
  TempDir dir;
  Status made = MakeFolders(dir.path("out//a/b/"));
  EXPECT_TRUE(made) << made.message();
  EXPECT_EQ(GetPathKind(dir.path("out/a/b")), PathKind::kFolder);
  made = MakeFolders(dir.path("out/a"));  // already there
  EXPECT_TRUE(made) << made.message();

  ASSERT_TRUE(dir.Write("file", "x"));
  EXPECT_EQ(GetPathKind(dir.path("file")), PathKind::kFile);
  made = MakeFolders(dir.path("file/sub"));
  EXPECT_FALSE(made);
  EXPECT_EQ(made.message(), "Not a directory");
  EXPECT_FALSE(MakeFolders(dir.path("file")));
  EXPECT_EQ(GetPathKind(dir.path("nothing")), PathKind::kMissing);
  EXPECT_EQ(JoinPath("out", "a/b.csv"), "out/a/b.csv");
  EXPECT_EQ(JoinPath("out/", "b.csv"), "out/b.csv");
}

// Blocks around the size that moves them onto huge pages hold every byte,
// and a size that rounding up would wrap is refused, not made small.
TEST(LargeBlocks, HoldEveryByteAndRefuseWhatTheAddressSpaceCannotHold) {
  constexpr size_t kHuge = size_t{2} << 20;
  for (const size_t size : {kHuge - 1, kHuge, kHuge + 1, 5 * kHuge + 7}) {
    std::vector<uint8_t> block(size);
    for (size_t i = 0; i < size; i += 4093) block[i] = static_cast<uint8_t>(i);
    block.back() = 0xA5;
    size_t wrong = 0;
    for (size_t i = 0; i + 1 < size; i += 4093) wrong += block[i] != static_cast<uint8_t>(i);
    EXPECT_EQ(wrong, 0u) << size;
    EXPECT_EQ(block.back(), 0xA5) << size;
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they abort instead
  volatile size_t hopeless = std::numeric_limits<size_t>::max() - kHuge / 2;
  EXPECT_THROW(::operator delete(::operator new(hopeless)), std::bad_alloc);
  // The new-handler is asked for memory until it gives up.
  static int calls = 0;
  std::set_new_handler([] {
    if (++calls == 2) std::set_new_handler(nullptr);
  });
  EXPECT_THROW(::operator delete(::operator new(hopeless)), std::bad_alloc);
  EXPECT_EQ(calls, 2);
#endif
}

// Each file of a listing is opened only while its path still leads to the
// file listed, whatever took its place meanwhile.
TEST(OpenListed, OpensOnlyTheFileTheWalkListed) {
  TempDir dir;
  const std::vector<std::string> names = {"kept", "removed", "renamed-over"
#if !defined(_WIN32)
                                          , "fifo", "link-out", "sub/in-folder"
#endif
  };
  ASSERT_TRUE(dir.Write("outside", "elsewhere"));
  for (const std::string& name : names) {
    ASSERT_TRUE(MakeFolders(dir.path("in/" + FolderOf(name))).ok());
    ASSERT_TRUE(dir.Write("in/" + name, name));
  }
  const FolderListing listing = ListFilesBelow(dir.path("in"));
  ASSERT_EQ(listing.files.size(), names.size());
  ASSERT_EQ(listing.ids.size(), names.size());

  std::filesystem::remove(dir.path("in/removed"));
  ASSERT_TRUE(dir.Write("in/new", "new"));
  std::filesystem::rename(dir.path("in/new"), dir.path("in/renamed-over"));
#if !defined(_WIN32)
  std::filesystem::remove(dir.path("in/fifo"));
  ASSERT_EQ(mkfifo(dir.path("in/fifo").c_str(), 0600), 0);  // no writer: opening would wait
  std::filesystem::remove(dir.path("in/link-out"));
  ASSERT_EQ(symlink("../outside", dir.path("in/link-out").c_str()), 0);
  std::filesystem::rename(dir.path("in/sub"), dir.path("in/moved"));
  ASSERT_EQ(symlink("..", dir.path("in/sub").c_str()), 0);  // sub/in-folder: the outside's sibling
  ASSERT_TRUE(dir.Write("in-folder", "elsewhere"));
#endif
  for (size_t i = 0; i < listing.files.size(); ++i) {
    const std::string& name = listing.files[i];
    SCOPED_TRACE(name);
    bool replaced = false;
    SystemError error = 0;
    File file = File::OpenListed(JoinPath(dir.path("in"), name), listing.ids[i], replaced, error);
    EXPECT_EQ(file.IsOpen(), name == "kept");
    EXPECT_EQ(replaced, name != "kept" && name != "removed");
    if (name == "kept") {
      char buffer[16];
      EXPECT_EQ(file.Read(buffer, sizeof buffer, error), 4);
    }
  }
}

#if !defined(_WIN32)  // symbolic links
TEST(PathBelow, PlacesAPathInAFolderThroughLinks) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(MakeFolders(dir.path("in/out/deep")).ok());
  ASSERT_EQ(symlink("in/out", dir.path("link").c_str()), 0);
  EXPECT_EQ(PathBelow(dir.path("in"), dir.path("in/./")), "");
  EXPECT_EQ(PathBelow(dir.path("in"), dir.path("link/deep")), "out/deep");
  const std::optional<std::string> fromRoot = PathBelow("/", dir.path("in"));
  ASSERT_TRUE(fromRoot && fromRoot->size() > 3);
  EXPECT_NE(fromRoot->front(), '/');
  EXPECT_EQ(fromRoot->substr(fromRoot->size() - 3), "/in");
  EXPECT_EQ(PathBelow(dir.path("in/out"), dir.path("in")), std::nullopt);
  EXPECT_EQ(PathBelow(dir.path("in"), dir.path("in-other")), std::nullopt);  // missing
}
#endif

}  // namespace
}  // namespace qv
