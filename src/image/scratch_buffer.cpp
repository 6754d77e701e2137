// Grow-only buffers.
#include "image/scratch_buffer.h"

#include <cstring>
#include <new>

bool reserveScratch(ScratchBuffer& buffer, std::size_t needed, std::size_t kept) {
    if (needed <= buffer.capacity) {
        return true;
    }
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[needed]);
    if (!grown) {
        return false;
    }
    if (kept != 0) {
        std::memcpy(grown.get(), buffer.storage.get(), kept);
    }
    buffer.storage = std::move(grown);
    buffer.capacity = needed;
    return true;
}
