// Work cut in parts that helper threads make ahead while the calling thread
// makes its own parts and hands over every part in order, so that what comes
// out (an output, messages) is what one thread would have made.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace qv {

// Goes through parts 0 to parts - 1 on `threads` threads: this one and
// threads - 1 helpers. Each helper takes the next part nobody has taken and
// makes it into a Held with make(p, held); this thread hands the parts over
// in order with hand(p, held), and when the next part to hand over is one
// nobody has taken yet, it takes it and does it itself with here(p), so
// that it renders only what it would otherwise wait for. At most two parts
// a helper are held at a time. The Held of a handed part is made again for
// a later one, so make must start from what an earlier part left (clearing
// its text, say). A part whose make ran out of memory (std::bad_alloc, the
// only exception make may throw) is done with here(p) instead; without
// helpers (none could be started) this thread does every part. An
// exception from here or hand stops the helpers and leaves after they
// have ended.
template <class Held, class Make, class Hand, class Here>
void RunOrderedParts(uint32_t parts, uint32_t threads, const Make& make, const Hand& hand,
                     const Here& here) {
  if (threads <= 1 || parts <= 1) {
    for (uint32_t p = 0; p < parts; ++p) here(p);
    return;
  }
  struct Slot {
    Held held;
    bool ready = false;   // made, not yet handed over
    bool failed = false;  // ran out of memory
  };
  // Part p, taken by a helper, is made in slots[p % window]; the parts in
  // the making or held all lie in [handed, handed + window).
  const uint32_t window = 2 * (threads - 1);
  std::vector<Slot> slots(window);
  std::mutex lock;
  std::condition_variable turn;
  uint32_t taken = 0;      // the parts before this one have been taken
  uint32_t handed = 0;     // the parts before this one have been handed over
  bool stopping = false;   // this thread is leaving by an exception
  const auto help = [&] {
    for (;;) {
      uint32_t p = 0;
      {
        std::unique_lock<std::mutex> guard(lock);
        turn.wait(guard, [&] { return stopping || taken >= parts || taken < handed + window; });
        if (stopping || taken >= parts) return;
        p = taken++;
      }
      Slot& slot = slots[p % window];
      try {
        make(p, slot.held);
        slot.failed = false;
      } catch (const std::bad_alloc&) {
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
    for (uint32_t h = 1; h < threads; ++h) helpers.emplace_back(help);
  } catch (const std::system_error&) {
    // No more threads to be had: those started share the parts with this
    // one, or this one does them all.
  }

  for (uint32_t p = 0; p < parts; ++p) {
    bool mine = false;
    {
      std::unique_lock<std::mutex> guard(lock);
      if (taken == p) {
        mine = true;
        ++taken;
      } else {
        turn.wait(guard, [&] { return slots[p % window].ready; });
      }
    }
    Slot& slot = slots[p % window];
    if (mine || slot.failed) {
      here(p);
    } else {
      hand(p, slot.held);
    }
    const std::lock_guard<std::mutex> guard(lock);
    if (!mine) slot.ready = false;
    handed = p + 1;
    turn.notify_all();
  }
}

}  // namespace qv
