// Many byte blocks of the same lifetime kept in a few large allocations: each piece is written
// in place at the end of the current block and handed out as shared data that keeps its block
// alive. A piece costs no allocation and no copy of its own, and pages that no piece reaches are
// never touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

/// The size of an arena's blocks; a piece larger than that gets a block of its own size.
inline constexpr std::size_t kArenaBlockSize = std::size_t{4} << 20;

struct ByteArena {
    /// Where the blocks come from (a block of size bytes, or null when the memory cannot be had);
    /// null: plain heap blocks.
    std::shared_ptr<std::uint8_t[]> (*allocateBlock)(std::size_t size) = nullptr;
    /// Gives back what a block of size bytes holds past its first kept bytes, when the arena has
    /// moved on to the next block; null: nothing is given back.
    void (*releaseTail)(const std::shared_ptr<std::uint8_t[]>& block, std::size_t size,
                        std::size_t kept) = nullptr;
    std::shared_ptr<std::uint8_t[]> block;
    std::size_t used = 0;
    std::size_t capacity = 0;
};

/// Room for up to size bytes at the end of the arena, starting a new block when the current one
/// has less. Returns null when the memory cannot be had.
std::uint8_t* arenaRoom(ByteArena& arena, std::size_t size);

/// Keeps the first size bytes of the room that arenaRoom gave last (size no more than it was
/// asked for) and returns them, sharing ownership of their block.
std::shared_ptr<const std::uint8_t[]> arenaKeep(ByteArena& arena, std::size_t size);
