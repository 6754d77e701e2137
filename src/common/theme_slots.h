// The theme numbers of a run: folders 0 to 9 under the root, 0 the base theme.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kThemeSlots = 10;

/// Per theme number, 1 when that theme folder is present.
using ThemeFlags = std::array<std::int32_t, kThemeSlots>;
