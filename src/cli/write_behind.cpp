// The flushing thread of an output being written (see write_behind.h), and
// the steps of PendingFile that use it, the same on every system.
#include "cli/write_behind.h"

#include <exception>
#include <new>

namespace qv {

void WriteBehind::Request() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
  }
  if (!started_) {
    started_ = true;
    try {
      thread_ = std::thread(&WriteBehind::Run, this);
    } catch (const std::exception&) {
      // No thread (system_error) or no memory for it (bad_alloc): the last
      // flush does it all.
    }
  }
  wake_.notify_one();
}

SystemError WriteBehind::Failure() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

SystemError WriteBehind::Stop() {
  if (thread_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  return Failure();
}

// Flushes once per wave of asks until told to stop; a flush under way is
// finished first, one only asked for is left to the last flush.
void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return requested_ || stopping_; });
    if (stopping_) return;
    requested_ = false;
    lock.unlock();
    SystemError error = 0;
    const bool flushed = file_.Sync(error);
    lock.lock();
    if (!flushed && error_ == 0) error_ = error;
  }
}

PendingFile::PendingFile() = default;

bool PendingFile::Write(const char* data, size_t size, SystemError& error) {
  if (!file_.WriteAll(data, size, error)) return false;
  written_ += size;
  if (written_ - requested_ >= kWriteBehind) {
    // Without memory for it, nothing is flushed early.
    if (!behind_) behind_.reset(new (std::nothrow) WriteBehind(file_));
    if (behind_) {
      // A disk that failed a flush fails the output now, not at its end.
      error = behind_->Failure();
      if (error != 0) return false;
      behind_->Request();
    }
    requested_ = written_;
  }
  return true;
}

bool PendingFile::FlushAll(SystemError& error) {
  // Not after the early flush under way but beside it: both wait on the
  // same disk, and this one takes everything written.
  const bool flushed = file_.Sync(error);
  if (!behind_) return flushed;
  const SystemError early = behind_->Stop();
  behind_.reset();
  if (!flushed) return false;
  error = early;
  return early == 0;
}

}  // namespace qv
