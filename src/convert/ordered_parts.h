// Work cut in parts that helper threads make ahead while the calling thread
// makes its own parts and hands over every part in order, so that what comes
// out (an output, messages) is what one thread would have made.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qv {

// Goes through parts 0 to parts - 1 on `threads` threads: this one and
// threads - 1 helpers, part p being thread p % threads's. This thread does
// its own parts with here(p), in order. A helper makes each of its parts
// into a Held with make(p, held), at most two parts ahead of the handing,
// and this thread hands each over with hand(p, held) when its turn comes;
// the Held is then made again for the helper's next part, so make must
// start from what an earlier part left (clearing its text, say). A part
// whose helper could not be started, or whose make threw (ran out of
// memory, say), is done with here(p) instead, where a failure is what it
// would be on one thread. An exception from here or hand stops the helpers
// and leaves after they have ended.
template <class Held, class Make, class Hand, class Here>
void RunOrderedParts(uint32_t parts, uint32_t threads, const Make& make, const Hand& hand,
                     const Here& here) {
  if (threads <= 1 || parts <= 1) {
    for (uint32_t p = 0; p < parts; ++p) here(p);
    return;
  }
  constexpr uint32_t kAhead = 2;  // parts a helper may hold
  struct Slot {
    Held held;
    bool ready = false;   // made, not yet handed over
    bool failed = false;  // ran out of memory
  };
  // Helper h (1 to threads - 1) makes its k-th part into
  // slots[(h - 1) * kAhead + k % kAhead].
  std::vector<Slot> slots((threads - 1) * kAhead);
  const auto slotOf = [&](uint32_t part) -> Slot& {
    return slots[(part % threads - 1) * kAhead + part / threads % kAhead];
  };
  std::mutex lock;
  std::condition_variable turn;
  bool stopping = false;  // this thread is leaving by an exception
  const auto help = [&](uint32_t helper) {
    for (uint32_t p = helper; p < parts; p += threads) {
      Slot& slot = slotOf(p);
      {
        std::unique_lock<std::mutex> guard(lock);
        turn.wait(guard, [&] { return stopping || !slot.ready; });
        if (stopping) return;
      }
      try {
        make(p, slot.held);
        slot.failed = false;
      } catch (...) {
        // Made again by here(p), on the thread that can report it.
        slot.failed = true;
      }
      const std::lock_guard<std::mutex> guard(lock);
      slot.ready = true;
      turn.notify_all();
    }
  };
  std::vector<std::thread> helpers;
  // Stops and joins every started helper when this thread leaves, also by
  // an exception.
  struct JoinAll {
    std::vector<std::thread>& helpers;
    std::mutex& lock;
    std::condition_variable& turn;
    bool& stopping;
    ~JoinAll() {
      {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
      }
      turn.notify_all();
      for (std::thread& helper : helpers) {
        if (helper.joinable()) helper.join();
      }
    }
  } joinAll{helpers, lock, turn, stopping};
  helpers.reserve(threads - 1);
  try {
    for (uint32_t h = 1; h < threads; ++h) helpers.emplace_back(help, h);
  } catch (const std::system_error&) {
    // No more threads to be had: this thread does the other parts.
  }

  for (uint32_t p = 0; p < parts; ++p) {
    const uint32_t helper = p % threads;
    if (helper == 0 || helper > helpers.size()) {
      here(p);
      continue;
    }
    Slot& slot = slotOf(p);
    {
      std::unique_lock<std::mutex> guard(lock);
      turn.wait(guard, [&] { return slot.ready; });
    }
    if (slot.failed) {
      here(p);
    } else {
      hand(p, slot.held);
    }
    const std::lock_guard<std::mutex> guard(lock);
    slot.ready = false;
    turn.notify_all();
  }
}

}  // namespace qv
