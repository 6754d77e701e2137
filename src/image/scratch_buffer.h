// Buffers reused from image to image: they only grow, so converting thousands of images
// allocates only when one is larger than every image before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct ScratchBuffer {
    std::unique_ptr<std::uint8_t[]> storage;
    std::size_t capacity = 0;
};

/// Makes room for at least needed bytes, growing to exactly needed, and keeps the first kept
/// bytes. Returns false, with the buffer as it was, when the memory cannot be had.
bool reserveScratch(ScratchBuffer& buffer, std::size_t needed, std::size_t kept = 0);
