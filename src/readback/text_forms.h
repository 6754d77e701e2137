// Names and values as text for people and for scripts. The names in a build are raw bytes from
// fixed fields: any byte can be in them, so every form here is safe for its medium whatever the
// bytes are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/terminal_text.h"

/// raw as printable UTF-8: valid UTF-8 stays; each byte of a character that would act on a
/// terminal (a C0 or C1 control, DEL, a bidirectional override: isUnsafeCharacter) or lies outside
/// valid UTF-8 becomes \xNN; a backslash becomes \\ so that the form reads back unambiguously.
std::string displayName(std::string_view raw);

/// raw in lower-case hexadecimal, two digits a byte.
std::string hexBytes(std::string_view raw);

/// A JSON string literal, quotes included, of raw read as UTF-8: each byte outside a valid
/// UTF-8 sequence becomes U+FFFD, control characters and " and \ are escaped.
std::string jsonString(std::string_view raw);

/// text with &, <, >, " and ' written as HTML character references.
std::string htmlText(std::string_view text);

/// bytes in base64 (RFC 4648, with padding), appended to out.
void appendBase64(std::span<const std::uint8_t> bytes, std::string& out);

/// value in upper-case hexadecimal with at least digits digits: "0x0A", "0x1A2B3C4D".
std::string hexNumber(std::uint32_t value, int digits);

/// value with a thousands separator every three digits: 1234567 -> "1,234,567".
std::string groupedNumber(std::uint64_t value);

/// count and the noun, plural unless count is 1: "1 image", "2 images".
std::string countOf(std::uint64_t count, std::string_view noun);

/// Rows of cells as lines that start with indent, each cell padded to the widest of its column
/// (numeric columns, those rightAligned marks, to the right), no blanks at a line's end.
std::string alignRows(const std::vector<std::vector<std::string>>& rows,
                      const std::vector<bool>& rightAligned, const std::string& indent);
