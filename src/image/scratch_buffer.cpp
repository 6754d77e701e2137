// Grow-only buffers.
#include "image/scratch_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kMinCapacity = 64 * 1024;

} // namespace

bool reserveScratch(ScratchBuffer& buffer, std::size_t needed, std::size_t kept) {
    if (needed <= buffer.capacity) {
        return true;
    }
    const std::size_t doubled = kept != 0 ? 2 * buffer.capacity : 0;
    const std::size_t capacity = std::max({needed, kMinCapacity, doubled});
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[capacity]);
    if (!grown) {
        return false;
    }
    if (kept != 0) {
        std::memcpy(grown.get(), buffer.storage.get(), kept);
    }
    buffer.storage = std::move(grown);
    buffer.capacity = capacity;
    return true;
}
