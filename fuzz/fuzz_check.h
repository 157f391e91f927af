#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise must stop the fuzzer on the input that broke it; abort() is what libFuzzer
// reports as a crash and saves the input for. Unlike assert(), this stays in release builds.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
