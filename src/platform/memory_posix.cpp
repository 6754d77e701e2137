// Large blocks on POSIX: aligned to huge pages and, on Linux, advised to use them; transparent
// huge pages are commonly enabled only for memory that asks for them.
#include "platform/platform.h"

#include "common/byte_buffer.h"
#include <cstdlib>

#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

} // namespace

std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size) {
#ifdef MADV_HUGEPAGE
    if (size >= kHugePageSize && size <= SIZE_MAX - kHugePageSize) {
        // aligned_alloc wants a multiple of the alignment.
        const std::size_t rounded = (size + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
        void* block = std::aligned_alloc(kHugePageSize, rounded);
        if (block == nullptr) {
            return nullptr;
        }
        // Advice only: where it is refused, the block works the same with small pages.
        madvise(block, rounded, MADV_HUGEPAGE);
        return std::shared_ptr<std::uint8_t[]>(static_cast<std::uint8_t*>(block),
                                               [](std::uint8_t* bytes) { std::free(bytes); });
    }
#endif
    return allocateSharedBytes(size);
}
