// Large blocks on POSIX: mapped directly, aligned to huge pages and, on Linux, advised to use them
// (transparent huge pages are commonly enabled only for memory that asks for them); a block's
// unused tail is unmapped.
#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

std::size_t pageSize() {
    static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t roundUp(std::size_t size, std::size_t unit) {
    return (size + unit - 1) / unit * unit;
}

// Unmaps what is still mapped of a block: once its tail is given back, the OS may map something
// else there, which must outlive the block.
struct UnmapBlock {
    std::size_t length;
    void operator()(std::uint8_t* bytes) const {
        if (length != 0) {
            munmap(bytes, length);
        }
    }
};

} // namespace

std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size) {
    if (size == 0 || size > SIZE_MAX - 2 * kHugePageSize) {
        return nullptr;
    }
    // Mapped with room to start on a huge page; what lies before and after goes back at once.
    const std::size_t length = roundUp(size, pageSize());
    const std::size_t mapped = length + kHugePageSize;
    void* map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
        return nullptr;
    }
    auto* start = static_cast<std::uint8_t*>(map);
    const std::size_t skip = roundUp(reinterpret_cast<std::uintptr_t>(start), kHugePageSize) -
                             reinterpret_cast<std::uintptr_t>(start);
    if (skip != 0) {
        munmap(start, skip);
    }
    munmap(start + skip + length, mapped - skip - length);
    std::uint8_t* block = start + skip;
#ifdef MADV_HUGEPAGE
    // Advice only: where it is refused, the block works the same with small pages.
    madvise(block, length, MADV_HUGEPAGE);
#endif
    return std::shared_ptr<std::uint8_t[]>(block, UnmapBlock{length});
}

void releaseBlockTail(const std::shared_ptr<std::uint8_t[]>& block, std::size_t, std::size_t kept) {
    auto* unmap = std::get_deleter<UnmapBlock>(block);
    const std::size_t from = roundUp(kept, pageSize());
    if (unmap != nullptr && from < unmap->length) {
        munmap(block.get() + from, unmap->length - from);
        unmap->length = from;
    }
}
