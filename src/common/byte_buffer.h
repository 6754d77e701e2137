// A growable byte buffer whose growth can fail without an exception: images, bins and PNG data
// can be large, and running out of memory must be a reason, not an abort. Kept from one use to
// the next, it only grows, so a long run allocates only when a piece is larger than every one
// before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct ByteBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    /// Bytes held, at the start of data.
    std::size_t size = 0;
    std::size_t capacity = 0;

    std::span<const std::uint8_t> view() const { return {data.get(), size}; }
};

/// Makes room for capacity bytes, growing to exactly that and keeping the bytes held. Returns
/// false when the memory cannot be had; buffer is then unchanged.
bool reserveBytes(ByteBuffer& buffer, std::size_t capacity);

/// Appends count bytes, growing the buffer by doubling. Returns false when the memory cannot be
/// had; buffer is then unchanged.
bool appendBytes(ByteBuffer& buffer, const std::uint8_t* bytes, std::size_t count);
