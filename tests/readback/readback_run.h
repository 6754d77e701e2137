// Running the real theme-inspect on builds that the real theme-packager made, and reading the
// PNG files it writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/packager_run.h"

#ifdef _WIN32
#include <zlib.h>

#include <cstring>
#else
#include <png.h>
#endif

/// Runs the real theme-inspect in root with the words of arguments, then path when given.
inline ProgramResult runInspect(const TempFolder& root, const std::string& arguments,
                                const std::string& path = "") {
    std::vector<std::string> command = words(arguments);
    command.insert(command.begin(), programPath("theme-inspect"));
    if (!path.empty()) {
        command.push_back(path);
    }
    return runProgram(root.path(), command);
}

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // 3 bytes a pixel, top row first

    std::uint32_t at(int x, int y) const {
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x));
        return static_cast<std::uint32_t>(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    }
};

#ifdef _WIN32
inline std::uint32_t loadU32Be(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}

/// The pixels of the PNG file at path; an empty picture when it cannot be read. Windows builds
/// write PNG files on zlib alone, in one form (8-bit RGB, no interlace, every row unfiltered),
/// and only that form is read here, every chunk's CRC checked.
inline RgbPicture readPng(const std::string& path) {
    const std::vector<std::uint8_t> png = TempFolder::readFile(path);
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || std::memcmp(png.data(), signature, 8) != 0) {
        return {};
    }
    RgbPicture picture;
    std::vector<std::uint8_t> stream;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = loadU32Be(&png[at]);
        const std::uint8_t* data = &png[at + 8];
        if (length > png.size() - at - 12 ||
            crc32(0, &png[at + 4], length + 4) != loadU32Be(data + length)) {
            return {};
        }
        if (std::memcmp(&png[at + 4], "IHDR", 4) == 0 &&
            std::memcmp(data + 8, "\x08\x02\x00\x00\x00", 5) == 0) {
            picture.width = static_cast<int>(loadU32Be(data));
            picture.height = static_cast<int>(loadU32Be(data + 4));
        } else if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) {
            stream.insert(stream.end(), data, data + length);
        }
        at += 12 + length;
    }
    const std::size_t row = 1 + 3 * static_cast<std::size_t>(picture.width);
    std::vector<std::uint8_t> rows(row * static_cast<std::size_t>(picture.height));
    uLongf size = static_cast<uLongf>(rows.size());
    if (picture.width == 0 ||
        uncompress(rows.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK ||
        size != rows.size()) {
        return {};
    }
    for (std::size_t y = 0; y < rows.size(); y += row) {
        if (rows[y] != 0) {
            return {};
        }
        picture.rgb.insert(picture.rgb.end(), rows.begin() + static_cast<std::ptrdiff_t>(y + 1),
                           rows.begin() + static_cast<std::ptrdiff_t>(y + row));
    }
    return picture;
}
#else
/// The pixels of the PNG file at path as 8-bit RGB; an empty picture when it cannot be read.
inline RgbPicture readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    RgbPicture picture;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) == 0) {
        return {};
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}
#endif

/// An RGB565 value widened to 0xRRGGBB by repeating each channel's top bits.
inline std::uint32_t widened(std::uint16_t v) {
    const std::uint32_t r = v >> 11, g = (v >> 5) & 0x3F, b = v & 0x1F;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

/// What a 0xRRGGBB colour becomes once packed (RGB565) and extracted.
inline std::uint32_t packedColour(std::uint32_t rgb) {
    return widened(rgb565Of(rgb));
}
