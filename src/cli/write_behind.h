// Flushing an output to the disk while the rest of it is still being made.
//
// An output is put in place only once the disk holds all of it, and on many
// machines that flush costs time in proportion to the bytes it finds
// unflushed (about 1.4 ms a megabyte on a virtual disk measured here, most of
// it the device's own cache, which the system's early write-back does not
// empty). A WriteBehind flushes the file on a thread of its own each time it
// is asked, while the conversion goes on writing, so that the last flush,
// the one that decides, finds little left to wait for. The thread spends its
// time waiting on the disk, not on a core.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "cli/platform.h"

namespace qv {

class WriteBehind {
 public:
  // Flushes `file`, which stays open at least until Stop has returned.
  explicit WriteBehind(File& file) : file_(file) {}
  ~WriteBehind() { (void)Stop(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Asks for everything written so far to be flushed and returns at once;
  // asks made while a flush runs are served by one flush after it. The
  // thread starts at the first ask; where none can be had, nothing is
  // flushed early and the last flush does it all.
  void Request();

  // 0, or the error number of the first early flush that failed so far.
  SystemError Failure();

  // Waits for the flush under way, if any, and ends the thread. Gives 0, or
  // the error number of the first flush that failed: a system may report a
  // failed write to one flush only, so the last flush could miss it.
  SystemError Stop();

 private:
  void Run();

  File& file_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;  // guarded by mutex_
  bool stopping_ = false;   // guarded by mutex_
  SystemError error_ = 0;   // guarded by mutex_
  bool started_ = false;    // the writing thread's only
  std::thread thread_;
};

}  // namespace qv
