// One BMP form of every kind the reader accepts, and random pictures in them with the RGB565 rows
// they convert to: the reader's tests convert each form at every width, and the fuzz target of
// the image path starts from one file of each.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "common/byte_order.h"
#include "examples/bmp_writer.h"

inline const std::vector<std::uint32_t> k555Masks{0x7C00, 0x03E0, 0x001F};

/// count distinct colour table entries, 0xRRGGBB.
inline std::vector<std::uint32_t> samplePalette(std::size_t count) {
    std::vector<std::uint32_t> colours(count);
    for (std::size_t i = 0; i < count; ++i) {
        colours[i] = static_cast<std::uint32_t>(i * 0x2F1D07 + 0x102030) & 0xFFFFFF;
    }
    return colours;
}

/// The forms, named, with width and height left for the caller.
inline const std::vector<std::pair<const char*, BmpForm>> kSampleForms = {
    {"Bgr24", {}},
    {"Bgr24TopDown", {.topDown = true}},
    {"Bgr24Header56WithGap", {.infoHeaderSize = 56, .gap = 13}},
    {"Bgrx32", {.bitsPerPixel = 32}},
    {"Rgb555", {.bitsPerPixel = 16}},
    {"Rgb555ShortForm", {.bitsPerPixel = 16, .infoHeaderSize = 12}},
    {"Rgb555Masks56",
     {.bitsPerPixel = 16, .infoHeaderSize = 56, .compression = 3, .masks = k555Masks}},
    {"Rgb555MasksAfter40", {.bitsPerPixel = 16, .compression = 3, .masks = k555Masks}},
    {"Rgb565OtherMasksAfter40",
     {.bitsPerPixel = 16, .compression = 3, .masks = {0x7C00, 0x03E0, 0x001E}}},
    {"Palette1", {.bitsPerPixel = 1, .palette = samplePalette(2)}},
    {"Palette4TopDownColoursUsed",
     {.bitsPerPixel = 4, .topDown = true, .palette = samplePalette(5), .coloursUsed = 5}},
    {"Palette8TableCutByPixelArray", {.bitsPerPixel = 8, .palette = samplePalette(3)}},
    {"Palette8ShortFormWithGap",
     {.bitsPerPixel = 8, .infoHeaderSize = 12, .palette = samplePalette(256), .gap = 5}}};

/// What a pixel value of form converts to.
inline std::uint32_t convertedValue(const BmpForm& form, std::uint32_t v) {
    if (form.bitsPerPixel == 16) {
        const bool is555 = form.compression == 0 || form.masks == k555Masks;
        return is555 ? (v & 0x7FE0) << 1 | (v & 0x1F) : v;
    }
    return rgb565Of(form.bitsPerPixel <= 8 ? form.palette.at(v) : v);
}

/// A random picture of form, its last row without padding, in a buffer of its own size so that
/// a read past it shows under AddressSanitizer; and the RGB565 rows it converts to.
inline std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>
sample(BmpForm form, int width, int height) {
    form.width = width;
    form.height = height;
    const auto limit = form.palette.empty() ? 1ull << form.bitsPerPixel : form.palette.size();
    std::mt19937 rng(static_cast<unsigned>(width * 7 + height));
    std::vector<std::uint32_t> values(static_cast<std::size_t>(width * height));
    std::generate(values.begin(), values.end(), [&] { return rng() % limit; });
    std::vector<std::uint8_t> pixels(2 * values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        storeU16Le(&pixels[2 * i], static_cast<std::uint16_t>(convertedValue(form, values[i])));
    }
    const std::vector<std::uint8_t> full = makeBmp(form, values);
    const auto bits = static_cast<std::size_t>(form.bitsPerPixel * width);
    const auto padding = static_cast<std::ptrdiff_t>((bits + 31) / 32 * 4 - (bits + 7) / 8);
    return {{full.begin(), full.end() - padding}, pixels};
}
