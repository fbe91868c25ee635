#pragma once

// An invariant of a fuzz target: when it does not hold, the input is a finding. The check
// aborts, which libFuzzer reports with the input and FuzzReplay (a plain test) as a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
