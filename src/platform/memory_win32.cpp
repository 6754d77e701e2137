// Large blocks on Windows: plain heap blocks, since large pages there need a privilege that a
// user's account does not hold by default.
#include "platform/platform.h"

#include <new>

std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size) {
    return std::shared_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}
