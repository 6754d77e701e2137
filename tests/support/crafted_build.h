// Builds put together byte by byte, as no packer writes them: many images in one slot, slots of
// any size, for what theme-inspect must bear.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "examples/bmp_writer.h"

using CraftedBytes = std::vector<std::uint8_t>;

inline void appendText(CraftedBytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

inline void appendU32(CraftedBytes& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    putU32Le(bytes, bytes.size() - 4, value);
}

/// Index.bin of one group, g, whose images i0.bmp, i1.bmp, ... have the slots given as (offset
/// in the group's data, size).
inline CraftedBytes
craftedIndex(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& slots) {
    CraftedBytes index;
    appendText(index, std::string_view("Index\0\0\0\1\0\0\0\x10\0\0\0g\0\0\0\0\0\0\0\0\0\0\2", 28));
    appendU32(index, 32); // where the group's block is
    appendU32(index, static_cast<std::uint32_t>(slots.size()));
    appendText(index, std::string_view("\x10\0\0\0\0\0\0\0\0\0\0\0", 12));
    for (std::size_t k = 0; k < slots.size(); ++k) {
        char field[40] = {}; // the name, zero-filled, then 0x02
        const std::string name = std::to_string(k);
        field[0] = 'i';
        name.copy(field + 1, name.size());
        std::string_view(".bmp").copy(field + 1 + name.size(), 4);
        field[39] = 2;
        appendText(index, std::string_view(field, sizeof field));
        appendU32(index, slots[k].first);
        appendU32(index, slots[k].second);
    }
    appendText(index, "EndOfIndex");
    return index;
}

/// Theme.bin of the slots' bytes, one after another.
inline CraftedBytes craftedTheme(const CraftedBytes& slots) {
    CraftedBytes theme;
    appendText(theme, std::string_view("Theme\0\0\0\0\0\0\0\0\0\0\0", 16));
    theme.insert(theme.end(), slots.begin(), slots.end());
    appendText(theme, "EndOfTheme");
    return theme;
}
