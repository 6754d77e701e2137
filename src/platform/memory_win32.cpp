// Large blocks on Windows: plain heap blocks, since large pages there need a privilege that a
// user's account does not hold by default.
#include "platform/platform.h"

#include "common/byte_buffer.h"

std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size) {
    return allocateSharedBytes(size);
}
