// What every gzip file (RFC 1952) shows without being restored, and the name it goes by: for the
// code that writes, checks or finds one.
#pragma once

#include <array>
#include <cstdint>

/// The bytes a gzip member starts with: ID1 and ID2, then CM, the method (8, deflate).
inline constexpr std::array<std::uint8_t, 3> kGzipMagic = {0x1f, 0x8b, 0x08};

/// The least size of a gzip member: a 10-byte header and an 8-byte trailer (CRC-32, ISIZE).
inline constexpr std::uint64_t kGzipLeastSize = 18;

/// What a compressed file's name adds to the name of the file it restores to.
inline constexpr char kGzipSuffix[] = ".gz";
