// Running the real theme-inspect on builds that the real theme-packager made, and reading the
// PNG files it writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/packager_run.h"

#ifdef _WIN32
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
    std::vector<std::uint8_t> rgb;   // 3 bytes a pixel, top row first
    std::vector<std::uint8_t> alpha; // 1 byte a pixel, when the file has an alpha channel

    std::uint32_t at(int x, int y) const {
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x));
        return static_cast<std::uint32_t>(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    }
};

#ifdef _WIN32
/// The size of the PNG file at path, from its header; no pixels. The Windows build writes PNG files
/// without libpng, and has none to read them: CrossBuildTest reads those files back with the
/// Linux build's libpng and compares them pixel for pixel.
inline RgbPicture readPng(const std::string& path) {
    const std::vector<std::uint8_t> png = TempFolder::readFile(path);
    RgbPicture picture;
    const auto u32Be = [&png](std::size_t at) {
        return static_cast<int>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
    };
    if (png.size() >= 24 && std::memcmp(&png[12], "IHDR", 4) == 0) {
        picture.width = u32Be(16);
        picture.height = u32Be(20);
    }
    return picture;
}
#else
/// The pixels of the PNG file at path as 8-bit RGB, and alpha; an empty picture when it cannot be
/// read.
inline RgbPicture readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    RgbPicture picture;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return picture;
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<std::uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr) == 0) {
        return {};
    }
    for (std::size_t i = 0; i < bytes.size(); i += alpha ? 4 : 3) {
        picture.rgb.insert(picture.rgb.end(), &bytes[i], &bytes[i + 3]);
        if (alpha) {
            picture.alpha.push_back(bytes[i + 3]);
        }
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}
#endif

/// A BMP file at path under root of w x h pixels of one colour, 0xRRGGBB.
inline void writeSolid(const TempFolder& root, const std::string& path, int w, int h,
                       std::uint32_t rgb) {
    root.writeBytes(path,
                    makeBmp(BmpForm{.width = w, .height = h},
                            std::vector<std::uint32_t>(static_cast<std::size_t>(w * h), rgb)));
}

/// An RGB565 value widened to 0xRRGGBB by repeating each channel's top bits.
inline std::uint32_t widened(std::uint16_t v) {
    const std::uint32_t r = v >> 11, g = (v >> 5) & 0x3F, b = v & 0x1F;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

/// What a 0xRRGGBB colour becomes once packed (RGB565) and extracted.
inline std::uint32_t packedColour(std::uint32_t rgb) {
    return widened(rgb565Of(rgb));
}
