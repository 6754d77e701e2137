// libFuzzer target: the device reader on arbitrary bytes. The input is 16 bytes of choices (the
// framebuffer, the clip, the place, the flags and colour key, the window), then Index.bin and
// Theme.bin, each a 2-byte little-endian length and its bytes (the last takes what is left). Every
// image the index names is read as readImage reads it (opened, checked, drawn, walked over the
// draw's clip and row by row across a reopen on half its slot), from memory and through a read
// callback; besides not crashing, both paths must give the same statuses and pixels, and the
// reader may write nothing outside a clip or a line and read nothing outside the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/byte_order.h"
#include "device/reader_harness.h"
#include "device/theme_reader.h"
#include "fuzz_check.h"

namespace {

struct Choices {
    ReaderDraw draw;
    std::uint32_t window;
};

Choices choose(const std::uint8_t* c) {
    Choices ch{};
    ReaderDraw& d = ch.draw;
    d.stride = 1u + c[0] % 48u;
    d.rows = 1u + c[1] % 48u;
    ch.window = THEME_MIN_WINDOW + c[2];
    // Bit 0 swaps, bit 1 keys with the colour in bytes 13 and 14; now and then a wrong flag.
    const std::uint32_t key = THEME_COLOR_KEY(loadU16Le(c + 13));
    d.flags = c[3] % 8u == 6u   ? 4u
              : c[3] % 8u == 7u ? key & ~THEME_KEYED
                                : (c[3] & THEME_SWAP_BYTES) | ((c[3] & 2u) != 0 ? key : 0u);
    const auto cx = static_cast<std::int32_t>(c[4] % (d.stride + 1));
    const auto cy = static_cast<std::int32_t>(c[5] % (d.rows + 1));
    d.clip = {cx, cy,
              static_cast<std::int32_t>(c[6] % (d.stride + 1 - static_cast<std::uint32_t>(cx))),
              static_cast<std::int32_t>(c[7] % (d.rows + 1 - static_cast<std::uint32_t>(cy)))};
    if (c[8] == 0xFF) {
        d.clip.w = static_cast<std::int32_t>(d.stride) + 1; // wider than the framebuffer
    }
    d.x = static_cast<std::int8_t>(c[9]);
    d.y = static_cast<std::int8_t>(c[10]);
    d.lineX = static_cast<std::int8_t>(c[11]);
    d.lineWidth = c[12] % 40;
    return ch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) {
        return 0;
    }
    const Choices ch = choose(data);
    std::span<const std::uint8_t> input(data + 16, size - 16);
    const auto indexPart = takePart(input);
    const auto themePart = takePart(input);
    // Buffers of their own, so that AddressSanitizer sees where each file ends.
    const std::vector<std::uint8_t> index(indexPart.begin(), indexPart.end());
    const std::vector<std::uint8_t> theme(themePart.begin(), themePart.end());
    const auto indexSize = static_cast<std::uint32_t>(index.size());
    ReaderFile mappedIndex{index, 0}, readIndex{index, ch.window};
    theme_index mapped, read;
    FUZZ_CHECK(mappedIndex.openIndex(mapped) == readIndex.openIndex(read));
    FUZZ_CHECK(theme_index_count(&mapped) == theme_index_count(&read));
    FUZZ_CHECK(theme_index_verify(&mapped, indexSize, 0) ==
               theme_index_verify(&read, indexSize, 0));
    FUZZ_CHECK(theme_index_check_ids(&mapped, 0) == theme_index_check_ids(&read, 0));
    theme_slot found{}, foundIo{};
    FUZZ_CHECK(theme_index_find(&mapped, "menu", "bg.bmp", &found) ==
               theme_index_find(&read, "menu", "bg.bmp", &foundIo));
    FUZZ_CHECK(found.offset == foundIo.offset && found.size == foundIo.size);
    const std::uint32_t count = std::min<std::uint32_t>(theme_index_count(&mapped), 6);
    for (std::uint32_t k = 0; k < count; ++k) {
        theme_slot slot{}, slotIo{};
        const theme_status st = theme_index_slot(&mapped, k, &slot);
        FUZZ_CHECK(theme_index_slot(&read, k, &slotIo) == st);
        FUZZ_CHECK(slot.offset == slotIo.offset && slot.size == slotIo.size);
        ReaderDraw draw = ch.draw;
        draw.reopen = {slot.offset, slot.size / 2};
        ReaderFile mappedTheme{theme, 0}, readTheme{theme, ch.window};
        const ReaderOutcome out = readImage(mappedTheme, slot, draw);
        FUZZ_CHECK(out.sound && out == readImage(readTheme, slot, draw));
    }
    FUZZ_CHECK(!readIndex.outside);
    return 0;
}
