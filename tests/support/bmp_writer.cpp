// BMP bytes built field by field, little-endian, and UI-like picture content.
#include "support/bmp_writer.h"

#include <algorithm>
#include <cstdio>

namespace {

void appendU16Le(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32Le(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    appendU16Le(bytes, value & 0xFFFF);
    appendU16Le(bytes, value >> 16);
}

void appendInfoHeader(std::vector<std::uint8_t>& bytes, const BmpForm& form) {
    appendU32Le(bytes, form.infoHeaderSize);
    if (form.infoHeaderSize == 12) {
        appendU16Le(bytes, static_cast<std::uint32_t>(form.width));
        appendU16Le(bytes, static_cast<std::uint32_t>(form.height));
        appendU16Le(bytes, 1); // planes
        appendU16Le(bytes, form.bitsPerPixel);
        return;
    }
    const std::size_t start = bytes.size() - 4;
    appendU32Le(bytes, static_cast<std::uint32_t>(form.width));
    appendU32Le(bytes, static_cast<std::uint32_t>(form.topDown ? -form.height : form.height));
    appendU16Le(bytes, 1); // planes
    appendU16Le(bytes, form.bitsPerPixel);
    appendU32Le(bytes, form.compression);
    appendU32Le(bytes, 0);    // image size, optional without compression
    appendU32Le(bytes, 2835); // 72 dpi, both ways
    appendU32Le(bytes, 2835);
    appendU32Le(bytes, form.coloursUsed);
    appendU32Le(bytes, 0); // important colours
    if (form.infoHeaderSize > 40) {
        for (const std::uint32_t mask : form.masks) {
            appendU32Le(bytes, mask);
        }
    }
    // Alpha mask, colour space and the rest of the larger forms stay zero.
    bytes.resize(start + std::max<std::size_t>(form.infoHeaderSize, bytes.size() - start), 0);
    if (form.infoHeaderSize == 40 && form.masksAfterHeader) {
        for (const std::uint32_t mask : form.masks) {
            appendU32Le(bytes, mask);
        }
    }
}

void appendPixel(std::vector<std::uint8_t>& row, unsigned bitsPerPixel, std::uint32_t value,
                 std::size_t x) {
    switch (bitsPerPixel) {
    case 32:
        appendU32Le(row, value);
        return;
    case 24:
        appendU16Le(row, value & 0xFFFF);
        row.push_back(static_cast<std::uint8_t>(value >> 16));
        return;
    case 16:
        appendU16Le(row, value);
        return;
    default: { // packed colour indices, most significant bits first
        const std::size_t bit = x * bitsPerPixel;
        if (bit % 8 == 0) {
            row.push_back(0);
        }
        const unsigned shift = 8 - bitsPerPixel - static_cast<unsigned>(bit % 8);
        row.back() = static_cast<std::uint8_t>(row.back() | (value << shift));
    }
    }
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
    int below(int limit) { return limit <= 0 ? 0 : static_cast<int>(next() % limit); }
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

struct Canvas {
    int width;
    int height;
    std::vector<std::uint32_t> pixels;

    void fill(int x0, int y0, int w, int h, std::uint32_t colour) {
        for (int y = std::max(y0, 0); y < std::min(y0 + h, height); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x0 + w, width); ++x) {
                pixels[static_cast<std::size_t>(y) * width + x] = colour;
            }
        }
    }
    void gradient(int x0, int y0, int w, int h, std::uint32_t from, std::uint32_t to,
                  bool vertical) {
        for (int y = std::max(y0, 0); y < std::min(y0 + h, height); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x0 + w, width); ++x) {
                pixels[static_cast<std::size_t>(y) * width + x] =
                    vertical ? blend(from, to, y - y0, h) : blend(from, to, x - x0, w);
            }
        }
    }
};

void drawButton(Canvas& canvas, Random& random) {
    const int w = 4 + random.below(canvas.width / 3);
    const int h = 3 + random.below(canvas.height / 8 + 1);
    const int x = random.below(canvas.width - w + 1);
    const int y = random.below(canvas.height - h + 1);
    canvas.fill(x, y, w, h, random.colour());
    if (random.below(2) == 0) {
        canvas.gradient(x + 1, y + 1, w - 2, h - 2, random.colour(), random.colour(), true);
    } else {
        canvas.fill(x + 1, y + 1, w - 2, h - 2, random.colour());
    }
}

void drawTextLine(Canvas& canvas, Random& random, int y, std::uint32_t ink) {
    const int glyphHeight = std::max(2, canvas.height / 60);
    for (int x = 2 + random.below(8); x + 4 < canvas.width * 3 / 4; x += 1 + random.below(5)) {
        const int glyphWidth = 1 + random.below(4);
        canvas.fill(x, y + random.below(2), glyphWidth, glyphHeight, ink);
        x += glyphWidth;
    }
}

void drawPhoto(Canvas& canvas, Random& random) {
    const int w = std::max(1, canvas.width / 3);
    const int h = std::max(1, canvas.height / 4);
    const int x0 = random.below(canvas.width - w + 1);
    const int y0 = random.below(canvas.height - h + 1);
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
            canvas.pixels[static_cast<std::size_t>(y) * canvas.width + x] = noisy;
        }
    }
}

} // namespace

std::size_t bmpPixelOffset(const BmpForm& form) {
    const bool shortForm = form.infoHeaderSize == 12;
    const std::size_t masks = form.infoHeaderSize == 40 && form.masksAfterHeader ? 12 : 0;
    const std::size_t table = form.palette.size() * (shortForm ? 3 : 4);
    return 14 + form.infoHeaderSize + masks + table + form.gap;
}

std::vector<std::uint8_t> makeBmp(const BmpForm& form, const std::vector<std::uint32_t>& pixels) {
    const std::size_t pixelOffset = bmpPixelOffset(form);
    const auto width = static_cast<std::size_t>(form.width);
    const auto height = static_cast<std::size_t>(form.height);
    const std::size_t stride = (width * form.bitsPerPixel + 31) / 32 * 4;
    std::vector<std::uint8_t> bytes{'B', 'M'};
    appendU32Le(bytes, static_cast<std::uint32_t>(pixelOffset + stride * height));
    appendU32Le(bytes, 0); // reserved
    appendU32Le(bytes, static_cast<std::uint32_t>(pixelOffset));
    appendInfoHeader(bytes, form);
    for (const std::uint32_t colour : form.palette) {
        appendU16Le(bytes, colour & 0xFFFF);
        bytes.push_back(static_cast<std::uint8_t>(colour >> 16));
        if (form.infoHeaderSize != 12) {
            bytes.push_back(0);
        }
    }
    bytes.resize(pixelOffset, form.fill);
    std::vector<std::uint8_t> row;
    for (std::size_t k = 0; k < height; ++k) {
        const std::size_t y = form.topDown ? k : height - 1 - k;
        row.clear();
        for (std::size_t x = 0; x < width; ++x) {
            appendPixel(row, form.bitsPerPixel, pixels.at(y * width + x), x);
        }
        row.resize(stride, form.fill);
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    return bytes;
}

void putU16Le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void putU32Le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    putU16Le(bytes, offset, static_cast<std::uint16_t>(value));
    putU16Le(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
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

std::vector<std::uint32_t> makeUiLikePixels(int width, int height, std::uint32_t seed) {
    Random random{(seed * 2654435761u + 0x9E3779B9u) | 1u}; // never the stuck state 0
    Canvas canvas{width, height,
                  std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    canvas.fill(0, 0, width, height, random.colour());
    const int barHeight = std::max(1, height / 10);
    canvas.gradient(0, 0, width, barHeight, random.colour(), random.colour(), true);
    const int buttons = 2 + static_cast<int>(static_cast<long long>(width) * height / 20000);
    for (int i = 0; i < buttons; ++i) {
        drawButton(canvas, random);
    }
    const std::uint32_t ink = random.colour() & 0x3F3F3F;
    const int lineStep = std::max(4, height / 25);
    for (int y = barHeight + 2; y + lineStep < height / 2; y += lineStep) {
        drawTextLine(canvas, random, y, ink);
    }
    drawPhoto(canvas, random);
    return canvas.pixels;
}

std::vector<std::uint8_t> makeUiLikeBmp(int width, int height, std::uint32_t seed) {
    BmpForm form;
    form.width = width;
    form.height = height;
    return makeBmp(form, makeUiLikePixels(width, height, seed));
}
