// Helpers shared by the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run with a message when an invariant of the code under test
// does not hold; the fuzzer records the input as a crash.
#define QV_FUZZ_CHECK(condition)                                                       \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)
