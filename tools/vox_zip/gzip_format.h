// The numbers of the gzip format (RFC 1952) that the compressor, the restorers and the packager's
// check of a .gz all look at:
//   0      1  ID1    0x1f
//   1      1  ID2    0x8b
//   2      1  CM     0x08, deflate
//   ...
//   end-8  4  CRC32  of the restored bytes
//   end-4  4  ISIZE  the restored length modulo 2^32, little-endian
#pragma once

#include <cstdint>

/// The two bytes every gzip member starts with, and the compression method that follows them.
inline constexpr std::uint8_t kGzipMagic0 = 0x1F;
inline constexpr std::uint8_t kGzipMagic1 = 0x8B;
inline constexpr std::uint8_t kGzipDeflate = 0x08;

/// A compressed file is named after its original: the original's name and this.
inline constexpr char kGzipSuffix[] = ".gz";
