// A growable byte buffer whose growth can fail without an exception: images, bins and PNG data
// can be large, and running out of memory must be a reason, not an abort. Kept from one use to
// the next, it only grows, so a long run allocates only when a piece is larger than every one
// before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

/// Releases what allocateBytes gave.
struct FreeBytes {
    void operator()(void* bytes) const { std::free(bytes); }
};

/// A block of the C heap, released with it.
template <class T> using HeapBlock = std::unique_ptr<T[], FreeBytes>;

/// count elements of T (no constructor runs) from the C heap, or null when they cannot be had.
/// Unlike operator new, which ends the process when memory runs out, running out is a result.
template <class T> HeapBlock<T> allocateBytes(std::size_t count) {
    return HeapBlock<T>(count <= SIZE_MAX / sizeof(T)
                            ? static_cast<T*>(std::malloc(count == 0 ? 1 : count * sizeof(T)))
                            : nullptr);
}

/// allocateBytes for data shared by several owners: null when the bytes cannot be had.
inline std::shared_ptr<std::uint8_t[]> allocateSharedBytes(std::size_t count) {
    HeapBlock<std::uint8_t> bytes = allocateBytes<std::uint8_t>(count);
    return bytes ? std::shared_ptr<std::uint8_t[]>(bytes.release(), FreeBytes()) : nullptr;
}

struct ByteBuffer {
    HeapBlock<std::uint8_t> data;
    /// Bytes held, at the start of data.
    std::size_t size = 0;
    std::size_t capacity = 0;

    std::span<const std::uint8_t> view() const { return {data.get(), size}; }
};

/// Makes room for capacity bytes, growing to exactly that and keeping the bytes held (in place
/// where the C heap can: a large block then never needs two copies at once). Returns false when
/// the memory cannot be had; buffer is then unchanged.
bool reserveBytes(ByteBuffer& buffer, std::size_t capacity);

/// Appends count bytes, growing the buffer by doubling. Returns false when the memory cannot be
/// had; buffer is then unchanged.
bool appendBytes(ByteBuffer& buffer, const std::uint8_t* bytes, std::size_t count);
