// BMP bytes built field by field, little-endian, and UI-like picture content.
#include "examples/bmp_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/byte_order.h"

namespace {

// The low size bytes of value, little-endian.
void append(std::vector<std::uint8_t>& bytes, std::uint32_t value, std::size_t size = 4) {
    std::uint8_t field[4];
    storeU32Le(field, value);
    bytes.insert(bytes.end(), field, field + size);
}

void appendInfoHeader(std::vector<std::uint8_t>& bytes, const BmpForm& form) {
    const auto width = static_cast<std::uint32_t>(form.width);
    const auto height = static_cast<std::uint32_t>(form.height);
    append(bytes, form.infoHeaderSize);
    if (form.infoHeaderSize == 12) {
        append(bytes, width | height << 16);
        append(bytes, 1u | std::uint32_t{form.bitsPerPixel} << 16); // planes, bits per pixel
        return;
    }
    append(bytes, width);
    append(bytes, form.topDown ? 0 - height : height);
    append(bytes, 1u | std::uint32_t{form.bitsPerPixel} << 16); // planes, bits per pixel
    append(bytes, form.compression);
    bytes.resize(bytes.size() + 12, 0); // image size and resolution, unused
    append(bytes, form.coloursUsed);
    append(bytes, 0); // important colours
    for (const std::uint32_t mask : form.masks) {
        append(bytes, mask);
    }
    // Alpha mask, colour space and the rest of the larger forms stay zero.
    bytes.resize(std::max<std::size_t>(bytes.size(), 14 + form.infoHeaderSize), 0);
}

/// A small fixed generator, so the same seed gives the same picture with any standard library.
struct Random {
    std::uint32_t state;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int limit) {
        return limit <= 0 ? 0 : static_cast<int>(next() % static_cast<std::uint32_t>(limit));
    }
    std::uint32_t colour() { return next() & 0xFFFFFF; }
};

std::uint32_t blend(std::uint32_t a, std::uint32_t b, int step, int steps) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int ca = (a >> shift) & 0xFF;
        const int cb = (b >> shift) & 0xFF;
        const int c = steps <= 1 ? ca : ca + (cb - ca) * step / (steps - 1);
        out |= static_cast<std::uint32_t>(c) << shift;
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> makeBmp(const BmpForm& form, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::uint8_t> bytes(14, 0); // file size and pixel offset are set at the end
    putU32Le(bytes, 0, 'B' | 'M' << 8);
    appendInfoHeader(bytes, form);
    for (const std::uint32_t colour : form.palette) {
        append(bytes, colour, form.infoHeaderSize == 12 ? 3 : 4);
    }
    bytes.resize(bytes.size() + form.gap, 0xA5);
    const std::size_t pixelOffset = bytes.size();
    const auto width = static_cast<std::size_t>(form.width);
    const auto height = static_cast<std::size_t>(form.height);
    const unsigned bits = form.bitsPerPixel;
    for (std::size_t k = 0; k < height; ++k) {
        const std::size_t y = form.topDown ? k : height - 1 - k;
        const std::size_t rowStart = bytes.size();
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t value = pixels.at(y * width + x);
            const auto bit = static_cast<unsigned>(x * bits % 8);
            if (bits >= 16) {
                append(bytes, value, bits / 8);
            } else if (bit == 0) { // packed colour indices, most significant bits first
                bytes.push_back(static_cast<std::uint8_t>(value << (8 - bits)));
            } else {
                bytes.back() = static_cast<std::uint8_t>(bytes.back() | value << (8 - bits - bit));
            }
        }
        bytes.resize(rowStart + (width * bits + 31) / 32 * 4, 0xA5);
    }
    putU32Le(bytes, 2, static_cast<std::uint32_t>(bytes.size()));
    putU32Le(bytes, 10, static_cast<std::uint32_t>(pixelOffset));
    return bytes;
}

void putU32Le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        std::abort(); // a caller that breaks a field past the file's end is wrong itself
    }
    storeU32Le(bytes.data() + offset, value);
}

bool writeBytesFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

std::vector<std::uint32_t> makeUiLikePixels(int width, int height, std::uint32_t seed,
                                            int photoPercent) {
    Random random{(seed * 2654435761u + 0x9E3779B9u) | 1u}; // never the stuck state 0
    // Coordinates are ints and every one of them inside the picture: indices they give are too.
    const auto at = [width](int x, int y) {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    };
    std::vector<std::uint32_t> pixels(at(0, height));
    // A vertical gradient from one colour to the other, clipped; flat when they are equal.
    const auto paint = [&](int x0, int y0, int w, int h, std::uint32_t from, std::uint32_t to) {
        for (int y = std::max(y0, 0); y < std::min(y0 + h, height); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x0 + w, width); ++x) {
                pixels[at(x, y)] = blend(from, to, y - y0, h);
            }
        }
    };
    const auto fill = [&](int x0, int y0, int w, int h, std::uint32_t colour) {
        paint(x0, y0, w, h, colour, colour);
    };
    fill(0, 0, width, height, random.colour());
    const int barHeight = std::max(1, height / 10);
    paint(0, 0, width, barHeight, random.colour(), random.colour());
    const int buttons = 2 + static_cast<int>(static_cast<long long>(width) * height / 20000);
    for (int i = 0; i < buttons; ++i) {
        const int w = 4 + random.below(width / 3);
        const int h = 3 + random.below(height / 8 + 1);
        const int x = random.below(width - w + 1);
        const int y = random.below(height - h + 1);
        fill(x, y, w, h, random.colour());
        if (random.below(2) == 0) {
            paint(x + 1, y + 1, w - 2, h - 2, random.colour(), random.colour());
        } else {
            fill(x + 1, y + 1, w - 2, h - 2, random.colour());
        }
    }
    // Rows of text marks in the upper half.
    const std::uint32_t ink = random.colour() & 0x3F3F3F;
    const int lineStep = std::max(4, height / 25);
    for (int y = barHeight + 2; y + lineStep < height / 2; y += lineStep) {
        for (int x = 2 + random.below(8); x + 4 < width * 3 / 4; x += 1 + random.below(5)) {
            const int glyphWidth = 1 + random.below(4);
            fill(x, y + random.below(2), glyphWidth, std::max(2, height / 60), ink);
            x += glyphWidth;
        }
    }
    // A noisy photo: a diagonal gradient with every channel moved by up to 16.
    const int w = std::max(1, width / 3);
    const int h = std::max(1, height * std::clamp(photoPercent, 1, 100) / 100);
    const int x0 = random.below(width - w + 1);
    const int y0 = random.below(height - h + 1);
    const std::uint32_t from = random.colour();
    const std::uint32_t to = random.colour();
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            const std::uint32_t base = blend(from, to, (x - x0) + (y - y0), w + h - 1);
            std::uint32_t noisy = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const int c = static_cast<int>((base >> shift) & 0xFF) + random.below(33) - 16;
                noisy |= static_cast<std::uint32_t>(std::clamp(c, 0, 255)) << shift;
            }
            pixels[at(x, y)] = noisy;
        }
    }
    return pixels;
}

std::vector<std::uint8_t> makeUiLikeBmp(int width, int height, std::uint32_t seed,
                                        int photoPercent) {
    return makeBmp({.width = width, .height = height},
                   makeUiLikePixels(width, height, seed, photoPercent));
}

std::uint16_t rgb565Of(std::uint32_t rgb) {
    return static_cast<std::uint16_t>((rgb >> 8 & 0xF800) | (rgb >> 5 & 0x07E0) |
                                      (rgb >> 3 & 0x1F));
}

std::vector<std::uint8_t> uiLikePri0Block(int width, int height, std::uint32_t seed,
                                          int photoPercent) {
    const std::vector<std::uint32_t> pixels = makeUiLikePixels(width, height, seed, photoPercent);
    std::vector<std::uint8_t> block(16 + 2 * pixels.size());
    putU32Le(block, 0, 'P' | 'R' << 8 | 'I' << 16 | '0' << 24);
    putU32Le(block, 4, static_cast<std::uint32_t>(width));
    putU32Le(block, 8, static_cast<std::uint32_t>(height));
    putU32Le(block, 12, 16);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        storeU16Le(&block[16 + 2 * i], rgb565Of(pixels[i]));
    }
    return block;
}
