// Escaping of raw name bytes and numbers for the console, JSON and HTML.
#include "readback/text_forms.h"

#include <cstdio>

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

namespace {

void appendHexByte(std::string& out, const char* format, unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, format, byte);
    out += text;
}

} // namespace

std::string displayName(std::string_view raw) {
    std::string out;
    for (std::size_t at = 0; at < raw.size();) {
        const auto byte = static_cast<unsigned char>(raw[at]);
        const std::size_t length = utf8SequenceLength(raw, at);
        if (byte == '\\') {
            out += "\\\\";
        } else if (length == 0 || byte < 0x20 || byte == 0x7F) {
            appendHexByte(out, "\\x%02x", byte);
        } else {
            out.append(raw.substr(at, length));
            at += length;
            continue;
        }
        ++at;
    }
    return out;
}

std::string hexBytes(std::string_view raw) {
    std::string out;
    for (const char c : raw) {
        appendHexByte(out, "%02x", static_cast<unsigned char>(c));
    }
    return out;
}

std::string jsonString(std::string_view raw) {
    std::string out = "\"";
    for (std::size_t at = 0; at < raw.size();) {
        const auto byte = static_cast<unsigned char>(raw[at]);
        const std::size_t length = utf8SequenceLength(raw, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            appendHexByte(out, "\\u%04x", byte);
        } else {
            out.append(raw.substr(at, length));
        }
        at += length;
    }
    return out + "\"";
}

std::string htmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void appendBase64(std::span<const std::uint8_t> bytes, std::string& out) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t at = 0;
    for (; bytes.size() - at >= 3; at += 3) {
        const std::uint32_t v = static_cast<std::uint32_t>(bytes[at]) << 16 |
                                static_cast<std::uint32_t>(bytes[at + 1]) << 8 | bytes[at + 2];
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    const std::size_t left = bytes.size() - at;
    if (left != 0) {
        const std::uint32_t v = static_cast<std::uint32_t>(bytes[at]) << 16 |
                                (left == 2 ? static_cast<std::uint32_t>(bytes[at + 1]) << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += left == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
}

std::string groupedNumber(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, 1, ',');
    }
    return digits;
}

std::string countOf(std::uint64_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}
