// The entry points every fuzz target defines, as libFuzzer names them. The same target code runs under
// libFuzzer (fuzz build) and under ReplayMain (normal build), which feeds it the committed corpus.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Fails the run with a message when a property that must hold for every input does not.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            fuzzCheckFailed(#condition, __FILE__, __LINE__);                                                 \
    } while (false)

[[noreturn]] void fuzzCheckFailed(const char *condition, const char *file, int line);
