// Row converters to RGB565. Output bytes are written one at a time in little-endian order so the
// result is the same on any host; compilers merge the two stores.
#include "image/rgb565_rows.h"

#include "common/byte_order.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define TP_X86_DISPATCH 1
#endif

void convertRowBgr24Plain(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, source += 3, out += 2) {
        storeU16Le(out, rgb565(source[0], source[1], source[2]));
    }
}

namespace {

#ifdef TP_X86_DISPATCH
// Eight pixels per step: two overlapping 16-byte loads cover their 24 bytes, byte shuffles
// build a 16-bit lane of green:blue and one of red:0 per pixel, and shifts and masks cut the
// channels. A row whose width is not a multiple of 8 ends with a step that overlaps the one
// before it, so no byte outside the row's pixels is read or written.
__attribute__((target("ssse3"))) void convertRowBgr24Ssse3(const std::uint8_t* source,
                                                           std::uint8_t* out, std::size_t width) {
    if (width < 8) {
        convertRowBgr24Plain(source, out, width);
        return;
    }
    const __m128i greenBlueLow =
        _mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i greenBlueHigh =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 7, 8, 10, 11, 13, 14);
    const __m128i redLow =
        _mm_setr_epi8(-1, 2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i redHigh =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, 6, -1, 9, -1, 12, -1, 15);
    const __m128i redMask = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i greenMask = _mm_set1_epi16(0x07E0);
    const __m128i blueMask = _mm_set1_epi16(0x001F);
    for (std::size_t x = 0;; x += 8) {
        if (x + 8 > width) {
            x = width - 8;
        }
        const std::uint8_t* p = source + 3 * x;
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        const __m128i greenBlue = _mm_or_si128(_mm_shuffle_epi8(first, greenBlueLow),
                                               _mm_shuffle_epi8(second, greenBlueHigh));
        const __m128i red =
            _mm_or_si128(_mm_shuffle_epi8(first, redLow), _mm_shuffle_epi8(second, redHigh));
        const __m128i green = _mm_and_si128(_mm_srli_epi16(greenBlue, 5), greenMask);
        const __m128i blue = _mm_and_si128(_mm_srli_epi16(greenBlue, 3), blueMask);
        const __m128i pixels = _mm_or_si128(_mm_and_si128(red, redMask), _mm_or_si128(green, blue));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), pixels);
        if (x + 8 == width) {
            return;
        }
    }
}
#endif

using RowConverter = void (*)(const std::uint8_t*, std::uint8_t*, std::size_t);

RowConverter pickBgr24Converter() {
#ifdef TP_X86_DISPATCH
    // SSSE3 is not part of baseline x86-64, so the processor is asked once at run time.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3")) {
        return convertRowBgr24Ssse3;
    }
#endif
    return convertRowBgr24Plain;
}

} // namespace

void convertRowBgr24(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    static const RowConverter convert = pickBgr24Converter();
    convert(source, out, width);
}

void convertRowBgrx32(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, source += 4, out += 2) {
        storeU16Le(out, rgb565(source[0], source[1], source[2]));
    }
}

void convertRowRgb555(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, source += 2, out += 2) {
        const std::uint16_t v = loadU16Le(source);
        // Red and green move up one bit, over the ignored top bit: the result stays in 16 bits.
        storeU16Le(out, static_cast<std::uint16_t>(((v & 0x7FE0u) << 1) | (v & 0x001Fu)));
    }
}

void convertRowRgb565(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    std::memcpy(out, source, 2 * width);
}

void convertRowPalette(const std::uint8_t* source, std::uint8_t* out, std::size_t width,
                       unsigned bitsPerPixel, const std::uint16_t* palette) {
    for (std::size_t x = 0; x < width; ++x, out += 2) {
        storeU16Le(out, palette[paletteIndex(source, x, bitsPerPixel)]);
    }
}
