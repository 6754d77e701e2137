// Growth of ByteBuffer through new (std::nothrow).
#include "common/byte_buffer.h"

#include <cstring>
#include <new>

bool reserveBytes(ByteBuffer& buffer, std::size_t capacity) {
    if (capacity <= buffer.capacity) {
        return true;
    }
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[capacity]);
    if (!grown) {
        return false;
    }
    if (buffer.size != 0) {
        std::memcpy(grown.get(), buffer.data.get(), buffer.size);
    }
    buffer.data = std::move(grown);
    buffer.capacity = capacity;
    return true;
}

bool appendBytes(ByteBuffer& buffer, const std::uint8_t* bytes, std::size_t count) {
    if (count > SIZE_MAX - buffer.size) {
        return false;
    }
    const std::size_t needed = buffer.size + count;
    if (needed > buffer.capacity) {
        const std::size_t doubled = buffer.capacity > SIZE_MAX / 2 ? SIZE_MAX : buffer.capacity * 2;
        if (!reserveBytes(buffer, needed > doubled ? needed : doubled) &&
            !reserveBytes(buffer, needed)) {
            return false;
        }
    }
    if (count != 0) {
        std::memcpy(buffer.data.get() + buffer.size, bytes, count);
    }
    buffer.size = needed;
    return true;
}
