// The theme numbers of a run: folders 0 to 9 under the root, 0 the base theme.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr int kThemeSlots = 10;

/// One T per theme number, indexed by the theme number itself (an int, as it is everywhere else).
template <class T> struct PerTheme {
    std::array<T, kThemeSlots> slots{};

    T& operator[](int theme) { return slots[static_cast<std::size_t>(theme)]; }
    const T& operator[](int theme) const { return slots[static_cast<std::size_t>(theme)]; }
    auto begin() { return slots.begin(); }
    auto end() { return slots.end(); }
    auto begin() const { return slots.begin(); }
    auto end() const { return slots.end(); }
    bool operator==(const PerTheme&) const = default;
};

/// Per theme number, 1 when that theme folder is present.
using ThemeFlags = PerTheme<std::int32_t>;
