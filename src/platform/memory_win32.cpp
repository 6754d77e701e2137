// Large blocks on Windows: pages of their own (VirtualAlloc), so that a block's unused tail can be
// decommitted; plain small pages, since large ones need a privilege that a user's account does
// not hold by default.
#include "platform/memory.h"

#include <windows.h>

std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size) {
    void* block = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<std::uint8_t[]>(
        static_cast<std::uint8_t*>(block),
        [](std::uint8_t* bytes) { VirtualFree(bytes, 0, MEM_RELEASE); });
}

void releaseBlockTail(const std::shared_ptr<std::uint8_t[]>& block, std::size_t size,
                      std::size_t kept) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
    const std::size_t from = (kept + page - 1) / page * page;
    if (from < size) {
        // Decommitted, still reserved: the block is released whole.
        VirtualFree(block.get() + from, size - from, MEM_DECOMMIT);
    }
}
