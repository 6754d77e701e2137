// What the fuzz targets share: their assertion, where a broken property aborts so that libFuzzer
// keeps the input that broke it; and how an input is cut into files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "common/byte_order.h"

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The next part of input, given as a 2-byte little-endian length and its bytes (cut to what is
// left), or all that is left when no length is; input goes on after it.
inline std::span<const std::uint8_t> takePart(std::span<const std::uint8_t>& input) {
    std::size_t length = input.size();
    if (input.size() >= 2) {
        length = std::min<std::size_t>(loadU16Le(input.data()), input.size() - 2);
        input = input.subspan(2);
    }
    const auto part = input.first(length);
    input = input.subspan(length);
    return part;
}
