// The ordered parallel runner: a shared job counter, one console per job,
// and a single printer at a time that hands on the finished jobs in order.
#include "cli/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace qv {
namespace {

class OrderedRun {
 public:
  OrderedRun(size_t count, const OrderedJob& job, const OrderedSink& sink)
      : job_(job), sink_(sink), consoles_(count), outcomes_(count), done_(count, false) {}

  // Takes jobs until none is left. Never throws.
  void Work() {
    for (;;) {
      const size_t index = next_.fetch_add(1);
      if (index >= consoles_.size()) return;
      RunOne(index);
      Finish(index);
    }
  }

  std::vector<JobOutcome> TakeOutcomes() { return std::move(outcomes_); }

 private:
  void RunOne(size_t index) {
    try {
      outcomes_[index] = job_(index, consoles_[index]);
    } catch (const std::bad_alloc&) {
      Fail(index, "not enough memory");
    } catch (const std::exception& error) {
      Fail(index, error.what());
    } catch (...) {
      Fail(index, "unknown failure");
    }
  }

  // Fails job `index` and says why after its messages. Reporting needs
  // memory too; without it the outcome still says failed.
  void Fail(size_t index, const char* why) noexcept {
    // An empty message needs no memory.
    outcomes_[index] = Failure{""};
    try {
      outcomes_[index] = Failure{why};
      consoles_[index].PrintError(std::string("Conversion stopped: ") + why);
    } catch (...) {
    }
  }

  // Marks job `index` done and, unless another thread is printing already
  // (it will pick this job up), hands on every job that is now next in line.
  void Finish(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_[index] = true;
    if (printing_) return;
    printing_ = true;
    while (printed_ < done_.size() && done_[printed_]) {
      const size_t next = printed_;
      lock.unlock();
      // Job `next` is finished and nobody else touches its console now.
      try {
        sink_(next, consoles_[next].text());
      } catch (...) {
        // A job that failed already keeps its own reason.
        if (outcomes_[next].ok()) outcomes_[next] = Failure{""};
        try {
          if (outcomes_[next].message().empty()) {
            outcomes_[next] = Failure{"its messages could not be printed"};
          }
        } catch (...) {
        }
      }
      consoles_[next] = Console();
      lock.lock();
      ++printed_;
    }
    printing_ = false;
  }

  const OrderedJob& job_;
  const OrderedSink& sink_;
  std::vector<Console> consoles_;
  std::vector<JobOutcome> outcomes_;
  std::vector<bool> done_;  // guarded by mutex_
  std::atomic<size_t> next_{0};
  std::mutex mutex_;
  size_t printed_ = 0;     // guarded by mutex_
  bool printing_ = false;  // guarded by mutex_
};

}  // namespace

unsigned ResolveThreadCount(unsigned requested) {
  if (requested > 0) return requested;
  return std::max(1u, std::thread::hardware_concurrency());
}

std::vector<JobOutcome> RunOrdered(size_t count, unsigned threads, const OrderedJob& job,
                                   const OrderedSink& sink) {
  OrderedRun run(count, job, sink);
  const size_t helpers = std::min<size_t>(std::max(threads, 1u), count) - (count > 0 ? 1 : 0);
  std::vector<std::thread> pool;
  try {
    pool.reserve(helpers);
    for (size_t k = 0; k < helpers; ++k) pool.emplace_back([&run] { run.Work(); });
  } catch (...) {
    // No more threads to be had: the ones started and this one do the work.
  }
  run.Work();
  for (std::thread& thread : pool) thread.join();
  return run.TakeOutcomes();
}

}  // namespace qv
