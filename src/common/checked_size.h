// Size arithmetic that reports overflow instead of wrapping: each size is checked where it is
// computed, so no check depends on another having run first.
#pragma once

#include <cstdint>
#include <limits>

/// Sets result to a * b + c and returns true when that fits in 64 bits; returns false, with
/// result untouched, when it does not.
inline bool mulAddU64(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t& result) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (b != 0 && a > (kMax - c) / b) {
        return false;
    }
    result = a * b + c;
    return true;
}
