// One BMP form of every kind the reader accepts: the reader's tests convert each at every width,
// and the fuzz target of the image path starts from one file of each.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

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
