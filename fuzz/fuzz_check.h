// A property that must hold for every input: a failure aborts, so libFuzzer
// keeps the input as a crash.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

// Wide text as Windows holds it: the input read as little-endian UTF-16 units.
#include <cstddef>
#include <cstdint>
#include <string>

inline std::wstring utf16_units(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back((wchar_t)(data[i] | (data[i + 1] << 8)));
    return text;
}
