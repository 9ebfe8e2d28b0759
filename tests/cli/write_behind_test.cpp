// Flushing an output while it is written: the bytes of a file written in
// many pieces as the flushes run, and a failed early flush reported.
#include "cli/write_behind.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace qv {
namespace {

TEST(WriteBehind, AFileWrittenWhileItIsFlushedHoldsEveryByte) {
  testing::TempDir dir;
  std::string expected;
  for (int i = 0; expected.size() < (size_t{7} << 19); ++i) expected += std::to_string(i) + ',';
  PendingFile file;
  SystemError error = 0;
  ASSERT_TRUE(file.Create(dir.path(), error)) << error;
  for (size_t at = 0; at < expected.size(); at += 65521) {
    const std::string piece = expected.substr(at, 65521);
    ASSERT_TRUE(file.Write(piece.data(), piece.size(), error)) << error;
  }
  ASSERT_TRUE(file.Commit(dir.path("out.csv"), false, error)) << error;
  EXPECT_TRUE(dir.Read("out.csv") == expected);
}

#if !defined(_WIN32)
// The null device cannot be flushed (EINVAL): the failure is reported as
// soon as the flush has run, and again when the flushing ends.
TEST(WriteBehind, ReportsTheFirstFlushThatFailed) {
  SystemError error = 0;
  File null = File::OpenInPlace("/dev/null", error);
  ASSERT_TRUE(null.IsOpen()) << error;
  WriteBehind behind(null);
  EXPECT_EQ(behind.Failure(), 0);
  behind.Request();
  for (int i = 0; i < 1000 && behind.Failure() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(behind.Failure(), EINVAL);
  behind.Request();
  EXPECT_EQ(behind.Stop(), EINVAL);
}
#endif

}  // namespace
}  // namespace qv
