#pragma once

#include <cstdio>
#include <cstdlib>

// A property a fuzz target checks on every input. A violation aborts, which libFuzzer
// reports as a crash and saves the input; the corpus driver's test fails the same way.
#define FUZZ_CHECK(cond, what)                                                                     \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property violated: %s (%s)\n", __FILE__, __LINE__,       \
                         what, #cond);                                                             \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
