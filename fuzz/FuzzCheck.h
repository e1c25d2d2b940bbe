#pragma once

#include <cstdio>
#include <cstdlib>

// A property a harness relies on. A broken one aborts, so that libFuzzer records the input
// as a crash and the fault can be replayed from it.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)
