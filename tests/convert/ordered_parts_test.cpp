// Parts made on helper threads and handed over in order: every part once,
// in order, whichever thread made it, also when making one runs out of
// memory; and an exception from the handing thread ends the helpers.
#include "convert/ordered_parts.h"

#include <gtest/gtest.h>

#include <new>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace qv {
namespace {

TEST(RunOrderedParts, HandsEveryPartOnceInOrder) {
  for (const uint32_t threads : {1u, 2u, 3u, 8u}) {
    for (const uint32_t parts : {0u, 1u, 2u, 7u, 50u}) {
      std::vector<uint32_t> order;
      const auto make = [](uint32_t part, uint32_t& held) {
        if (part % 5 == 3) throw std::bad_alloc();  // done by `here` instead
        if (part % 7 == 5) throw std::runtime_error("any failure");
        held = part * 10;
      };
      const auto hand = [&](uint32_t part, const uint32_t& held) {
        EXPECT_EQ(held, part * 10);
        order.push_back(part);
      };
      const auto here = [&](uint32_t part) { order.push_back(part); };
      RunOrderedParts<uint32_t>(parts, threads, make, hand, here);
      std::vector<uint32_t> expected(parts);
      std::iota(expected.begin(), expected.end(), 0u);
      EXPECT_EQ(order, expected) << threads << " threads, " << parts << " parts";
    }
  }
}

TEST(RunOrderedParts, AnExceptionWhileHandingOverEndsTheHelpers) {
  const auto make = [](uint32_t part, uint32_t& held) { held = part; };
  const auto hand = [](uint32_t part, const uint32_t&) {
    if (part >= 3) throw std::runtime_error("sink failed");
  };
  const auto here = [](uint32_t part) {
    if (part >= 3) throw std::runtime_error("sink failed");
  };
  EXPECT_THROW(RunOrderedParts<uint32_t>(100, 4, make, hand, here), std::runtime_error);
}

}  // namespace
}  // namespace qv
