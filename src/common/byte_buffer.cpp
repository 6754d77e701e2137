// Growth of ByteBuffer through the C heap's realloc, which grows a large block in place.
#include "common/byte_buffer.h"

#include <cstring>

bool reserveBytes(ByteBuffer& buffer, std::size_t capacity) {
    if (capacity <= buffer.capacity) {
        return true;
    }
    void* grown = std::realloc(buffer.data.get(), capacity);
    if (grown == nullptr) {
        return false;
    }
    static_cast<void>(buffer.data.release()); // realloc has taken it over
    buffer.data.reset(static_cast<std::uint8_t*>(grown));
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
