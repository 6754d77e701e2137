// Little-endian integers in byte buffers, one byte at a time, so that the result is the same on
// any host and no pointer needs any alignment. The load and store forms trust the caller with
// the bounds; the read forms check them against the buffer first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline std::uint16_t loadU16Le(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t loadU32Le(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void storeU16Le(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void storeU32Le(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
    bytes[2] = static_cast<std::uint8_t>(value >> 16);
    bytes[3] = static_cast<std::uint8_t>(value >> 24);
}

/// Sets value to the 16-bit little-endian integer at bytes[offset]. Returns false, with value
/// untouched, unless both of its bytes lie inside bytes.
inline bool readU16Le(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                      std::uint16_t& value) {
    if (offset > bytes.size() || bytes.size() - offset < 2) {
        return false;
    }
    value = loadU16Le(bytes.data() + offset);
    return true;
}

/// readU16Le for a 32-bit integer.
inline bool readU32Le(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                      std::uint32_t& value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        return false;
    }
    value = loadU32Le(bytes.data() + offset);
    return true;
}
