// Escaping for terminals. The characters that act are few and fixed; everything else that is
// valid UTF-8 shows as itself.
#include "common/terminal_text.h"

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool isUnsafeCharacter(std::string_view text, std::size_t at, std::size_t length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    switch (length) {
    case 1:
        return byte(0) < 0x20 || byte(0) == 0x7F;
    case 2: // U+0080 to U+009F: C2 80 to C2 9F
        return byte(0) == 0xC2 && byte(1) <= 0x9F;
    case 3: // U+202A to U+202E: E2 80 AA to AE; U+2066 to U+2069: E2 81 A6 to A9
        return byte(0) == 0xE2 && ((byte(1) == 0x80 && byte(2) >= 0xAA && byte(2) <= 0xAE) ||
                                   (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9));
    case 4:
        return false;
    default:
        return true;
    }
}

namespace {

void appendEscapedByte(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

} // namespace

std::string escapeUnsafe(std::string_view text, bool backslashToo) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (backslashToo && text[at] == '\\') {
            out += "\\\\";
            ++at;
        } else if (!isUnsafeCharacter(text, at, length)) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            // A byte outside valid UTF-8 is escaped alone; the next one may start a character.
            for (const std::size_t end = at + (length == 0 ? 1 : length); at < end; ++at) {
                appendEscapedByte(out, static_cast<unsigned char>(text[at]));
            }
        }
    }
    return out;
}

std::string firstFewOf(const std::vector<std::string>& items, std::size_t named) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < named; ++i) {
        text += (i == 0 ? "" : ", ") + items[i];
    }
    if (items.size() > named) {
        text += " and " + std::to_string(items.size() - named) + " more";
    }
    return text;
}
