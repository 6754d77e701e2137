// Fixed-width name fields: a bounded copy of the name followed by zero bytes. A name as long as
// the field fills it with no terminator, so readers bound names by the field's width.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

/// Clears field[0..width) and copies the first min(width, name.size()) bytes of name into it.
inline void copyNameField(char* field, std::size_t width, std::string_view name) {
    std::memset(field, 0, width);
    std::memcpy(field, name.data(), name.size() < width ? name.size() : width);
}

/// The name held in field[0..width): up to its first zero byte, or the whole field.
inline std::string_view nameFieldView(const char* field, std::size_t width) {
    const void* zero = std::memchr(field, 0, width);
    return {field, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : width};
}
