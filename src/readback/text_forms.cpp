// Escaping of raw name bytes and numbers for the console, JSON and HTML.
#include "readback/text_forms.h"

#include <algorithm>
#include <cstdio>

namespace {

void appendHexByte(std::string& out, const char* format, unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, format, byte);
    out += text;
}

} // namespace

std::string displayName(std::string_view raw) {
    return escapeUnsafe(raw, true);
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

std::string hexNumber(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string countOf(std::uint64_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string alignRows(const std::vector<std::vector<std::string>>& rows,
                      const std::vector<bool>& rightAligned, const std::string& indent) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line = indent;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - row[c].size(), ' ');
            const bool right = c < rightAligned.size() && rightAligned[c];
            line += (right ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : "")) + "  ";
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}
