// Arena blocks from the C heap, so that running out of memory is a result.
#include "common/byte_arena.h"

#include "common/byte_buffer.h"

std::uint8_t* arenaRoom(ByteArena& arena, std::size_t size) {
    if (arena.block && size <= arena.capacity - arena.used) {
        return arena.block.get() + arena.used;
    }
    const std::size_t capacity = size > kArenaBlockSize ? size : kArenaBlockSize;
    std::shared_ptr<std::uint8_t[]> block = arena.allocateBlock != nullptr
                                                ? arena.allocateBlock(capacity)
                                                : allocateSharedBytes(capacity);
    if (!block) {
        return nullptr;
    }
    // The room handed out last for the old block was its worst case; what was kept of it is all
    // that is ever touched.
    if (arena.block && arena.releaseTail != nullptr) {
        arena.releaseTail(arena.block, arena.capacity, arena.used);
    }
    arena.block = std::move(block);
    arena.used = 0;
    arena.capacity = capacity;
    return arena.block.get();
}

std::shared_ptr<const std::uint8_t[]> arenaKeep(ByteArena& arena, std::size_t size) {
    std::shared_ptr<const std::uint8_t[]> piece(arena.block, arena.block.get() + arena.used);
    // Pieces start on 8-byte boundaries, as the allocator's own blocks would.
    arena.used += (size + 7) / 8 * 8;
    arena.used = arena.used < arena.capacity ? arena.used : arena.capacity;
    return piece;
}
