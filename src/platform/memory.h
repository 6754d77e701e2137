// Memory straight from the OS, and what the process has taken of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

/// A block of size bytes for data kept for the rest of the run, or null when the memory cannot be
/// had. Where the OS offers it (Linux), a block of 2 MiB or more is backed by huge pages, so that
/// filling it costs a page fault per 2 MiB instead of one per 4 KiB. Its pages are the OS's own
/// (mmap, VirtualAlloc), so that releaseBlockTail can give some back.
std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size);

/// Gives the OS back the pages of a block of size bytes from allocateLargeBlock that lie wholly
/// past its first kept bytes, which must never be touched again: an address-space limit then
/// counts only what is kept.
void releaseBlockTail(const std::shared_ptr<std::uint8_t[]>& block, std::size_t size,
                      std::size_t kept);

/// The largest resident set this process has had so far, in KiB; -1 when the OS cannot tell.
long peakResidentKilobytes();
