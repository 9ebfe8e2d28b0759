// The ordered parallel runner: whole messages in job order whatever the
// thread count, handed on as soon as possible, and jobs that throw failed
// rather than fatal.
#include "cli/parallel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

struct Collected {
  std::string text;
  std::vector<size_t> order;
};

// Jobs that finish in roughly reverse order (the later, the quicker) and
// write their messages in several pieces, so that any interleaving or
// reordering shows in the collected text.
Collected RunStaggered(size_t count, unsigned threads) {
  Collected out;
  const auto outcomes = RunOrdered(
      count, threads,
      [count](size_t index, Console& console) {
        console.Write("job " + std::to_string(index) + " begins\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(count - index));
        console.PrintMessage("job " + std::to_string(index) + " ends");
        return Status();
      },
      [&out](size_t index, const std::string& messages) {
        out.order.push_back(index);
        out.text += messages;
      });
  for (const JobOutcome& outcome : outcomes) EXPECT_TRUE(outcome.ok());
  return out;
}

TEST(RunOrdered, OutputIsWholeAndInJobOrderWhateverTheThreadCount) {
  const size_t count = 24;
  std::string expected;
  std::vector<size_t> order;
  for (size_t i = 0; i < count; ++i) {
    expected += "job " + std::to_string(i) + " begins\njob " + std::to_string(i) + " ends\n\n\n";
    order.push_back(i);
  }
  for (unsigned threads : {1u, 4u, 0u}) {
    SCOPED_TRACE(threads);
    const Collected run = RunStaggered(count, threads);
    EXPECT_EQ(run.text, expected);
    EXPECT_EQ(run.order, order);
  }
  EXPECT_TRUE(RunOrdered(0, 4, [](size_t, Console&) { return Status(); },
                         [](size_t, const std::string&) { ADD_FAILURE(); })
                  .empty());
}

// Job 1 waits until job 0's messages have been handed on: a runner that
// held them back until the end would make it wait in vain.
TEST(RunOrdered, HandsOnAJobsMessagesAsSoonAsItAndThoseBeforeItAreDone) {
  std::mutex mutex;
  std::condition_variable changed;
  bool firstHandedOn = false;
  const auto outcomes = RunOrdered(
      2, 2,
      [&](size_t index, Console& console) -> Status {
        console.Write(std::to_string(index));
        if (index == 0) return Status();
        std::unique_lock<std::mutex> lock(mutex);
        if (changed.wait_for(lock, std::chrono::seconds(10), [&] { return firstHandedOn; })) {
          return Status();
        }
        return Failure{"job 0's messages were held back"};
      },
      [&](size_t index, const std::string&) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (index == 0) firstHandedOn = true;
        changed.notify_all();
      });
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_TRUE(outcomes[0].ok());
  EXPECT_TRUE(outcomes[1].ok()) << "job 0's messages were held back";
}

TEST(RunOrdered, AJobThatThrowsFailsAloneWithItsMessagesKept) {
  for (unsigned threads : {1u, 3u}) {
    SCOPED_TRACE(threads);
    std::vector<std::string> printed(5);
    const auto outcomes = RunOrdered(
        5, threads,
        [](size_t index, Console& console) -> Status {
          console.Write("started\n");
          if (index == 1) throw std::bad_alloc();
          if (index == 2) throw std::runtime_error("disk on fire");
          if (index == 3) throw 42;
          return index != 4 ? Status() : Status(Failure{""});
        },
        [&printed](size_t index, const std::string& messages) { printed[index] = messages; });
    ASSERT_EQ(outcomes.size(), 5u);
    EXPECT_TRUE(outcomes[0].ok());
    EXPECT_EQ(outcomes[0].message(), "");
    EXPECT_EQ(printed[0], "started\n");
    const char* faults[] = {"not enough memory", "disk on fire", "unknown failure"};
    for (size_t i = 1; i <= 3; ++i) {
      EXPECT_FALSE(outcomes[i].ok());
      EXPECT_EQ(outcomes[i].message(), faults[i - 1]);
      EXPECT_EQ(printed[i],
                std::string("started\nERROR:\nConversion stopped: ") + faults[i - 1] + "\n\n\n");
    }
    // A job that reports failure itself gets no fault from the runner.
    EXPECT_FALSE(outcomes[4].ok());
    EXPECT_EQ(outcomes[4].message(), "");
  }
}

// A sink that throws fails that job alone; a job that failed already keeps
// its own reason.
TEST(RunOrdered, ASinkThatThrowsFailsThatJobAndTheRunGoesOn) {
  std::vector<size_t> handed;
  const auto outcomes = RunOrdered(
      3, 2,
      [](size_t index, Console&) -> Status {
        return index == 2 ? Status(Failure{"its own reason"}) : Status();
      },
      [&handed](size_t index, const std::string&) {
        handed.push_back(index);
        if (index != 0) throw std::runtime_error("no room");
      });
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(handed, (std::vector<size_t>{0, 1, 2}));
  EXPECT_TRUE(outcomes[0].ok());
  EXPECT_EQ(outcomes[1].message(), "its messages could not be printed");
  EXPECT_EQ(outcomes[2].message(), "its own reason");
}

TEST(RunOrdered, ThreadCountComesFromTheValueOrTheCores) {
  EXPECT_EQ(ResolveThreadCount(3), 3u);
  EXPECT_GE(ResolveThreadCount(0), 1u);
}

}  // namespace
}  // namespace qv
