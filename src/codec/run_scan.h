// Finding run boundaries in a sequence of pixel units, for the encoder: where the next run of
// three or more equal units starts, and where a run ends. Units held in memory are compared 16
// bytes at a time with SSE2 (part of every x86-64, so the binary still runs on any of them);
// other machines and the tail of a sequence take one unit at a time. Both ways give the same
// index.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TP_RUN_SCAN_SSE2 1
#endif

/// The unit at bytes, in host byte order: units are only compared and copied.
template <class Unit> Unit loadUnit(const std::uint8_t* bytes) {
    Unit unit;
    std::memcpy(&unit, bytes, sizeof(Unit));
    return unit;
}

/// The first index i ≥ from where units i, i + 1 and i + 2 are equal, or count when there is
/// none; at(i) gives unit i. When from starts a run, so does the index found: a run starting
/// before it would give an earlier index.
template <class At> std::size_t findTripleEach(const At& at, std::size_t from, std::size_t count) {
    std::size_t i = from;
    while (i + 2 < count) {
        const auto middle = at(i + 1);
        if (middle != at(i + 2)) {
            i += 2; // neither i nor i + 1 starts three equal units
        } else if (at(i) == middle) {
            return i;
        } else {
            ++i;
        }
    }
    return count;
}

/// The first index i ≥ from whose unit differs from value, or count.
template <class At, class Unit>
std::size_t findRunEndEach(const At& at, std::size_t from, std::size_t count, Unit value) {
    while (from < count && at(from) == value) {
        ++from;
    }
    return from;
}

#ifdef TP_RUN_SCAN_SSE2
namespace run_scan_sse2 {

template <class Unit> __m128i load(const std::uint8_t* units, std::size_t index) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + index * sizeof(Unit)));
}

// Byte mask of the lanes where a and b hold equal units.
template <class Unit> unsigned equalMask(__m128i a, __m128i b) {
    const __m128i equal = sizeof(Unit) == 2 ? _mm_cmpeq_epi16(a, b) : _mm_cmpeq_epi32(a, b);
    return static_cast<unsigned>(_mm_movemask_epi8(equal));
}

} // namespace run_scan_sse2
#endif

/// findTripleEach over count units of sizeof(Unit) bytes at units.
template <class Unit>
std::size_t findTriple(const std::uint8_t* units, std::size_t from, std::size_t count) {
    std::size_t i = from;
#ifdef TP_RUN_SCAN_SSE2
    using namespace run_scan_sse2;
    constexpr std::size_t kLanes = 16 / sizeof(Unit);
    // Repeat runs often follow one another (outlines, gradients): try the first index alone
    // before loading vectors.
    if (i + 2 < count) {
        const Unit first = loadUnit<Unit>(units + i * sizeof(Unit));
        if (first == loadUnit<Unit>(units + (i + 1) * sizeof(Unit)) &&
            first == loadUnit<Unit>(units + (i + 2) * sizeof(Unit))) {
            return i;
        }
    }
    for (; i + kLanes + 2 <= count; i += kLanes) {
        const __m128i middle = load<Unit>(units, i + 1);
        const unsigned mask = equalMask<Unit>(load<Unit>(units, i), middle) &
                              equalMask<Unit>(middle, load<Unit>(units, i + 2));
        if (mask != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(mask)) / sizeof(Unit);
        }
    }
#endif
    const auto at = [units](std::size_t index) {
        return loadUnit<Unit>(units + index * sizeof(Unit));
    };
    return findTripleEach(at, i, count);
}

/// findRunEndEach over count units of sizeof(Unit) bytes at units.
template <class Unit>
std::size_t findRunEnd(const std::uint8_t* units, std::size_t from, std::size_t count, Unit value) {
    std::size_t i = from;
#ifdef TP_RUN_SCAN_SSE2
    using namespace run_scan_sse2;
    constexpr std::size_t kLanes = 16 / sizeof(Unit);
    const __m128i wanted = sizeof(Unit) == 2 ? _mm_set1_epi16(static_cast<short>(value))
                                             : _mm_set1_epi32(static_cast<int>(value));
    for (; i + kLanes <= count; i += kLanes) {
        const unsigned differ = ~equalMask<Unit>(load<Unit>(units, i), wanted) & 0xFFFF;
        if (differ != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(differ)) / sizeof(Unit);
        }
    }
#endif
    const auto at = [units](std::size_t index) {
        return loadUnit<Unit>(units + index * sizeof(Unit));
    };
    return findRunEndEach(at, i, count, value);
}
