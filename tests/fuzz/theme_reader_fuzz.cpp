// libFuzzer target: the device reader on arbitrary bytes. The input is 16 bytes of choices (the
// framebuffer, the clip, the place, the flags and colour key, the window), then Index.bin and
// Theme.bin, each a 2-byte little-endian length and its bytes (the last takes what is left). Every
// image the index names is opened, checked, drawn into a framebuffer with guard rows, walked over
// the draw's clip (which must give the draw's pixels) and walked row by row across a reopen, from
// memory and through a read callback; besides not crashing, both paths must give the same
// statuses and pixels, a draw may change nothing outside its clip, and no read may leave the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "common/byte_order.h"
#include "device/theme_reader.h"
#include "fuzz_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes takePart(std::span<const std::uint8_t>& input) {
    std::size_t length = input.size();
    if (input.size() >= 2) {
        length = std::min<std::size_t>(loadU16Le(input.data()), input.size() - 2);
        input = input.subspan(2);
    }
    const Bytes part(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(length));
    input = input.subspan(length);
    return part;
}

int readPart(void* ctx, std::uint32_t offset, void* dst, std::uint32_t len) {
    const Bytes& bytes = *static_cast<const Bytes*>(ctx);
    FUZZ_CHECK(len > 0 && std::uint64_t{offset} + len <= bytes.size());
    std::memcpy(dst, bytes.data() + offset, len);
    return 0;
}

struct Choices {
    std::uint32_t stride, rows, window, flags;
    theme_rect clip;
    std::int32_t x, y, lineX, lineWidth;
};

Choices choose(const std::uint8_t* c) {
    Choices ch{};
    ch.stride = 1u + c[0] % 48u;
    ch.rows = 1u + c[1] % 48u;
    ch.window = THEME_MIN_WINDOW + c[2];
    // Bit 0 swaps, bit 1 keys with the colour in bytes 13 and 14; now and then a wrong flag.
    const std::uint32_t key = THEME_COLOR_KEY(loadU16Le(c + 13));
    ch.flags = c[3] % 8u == 6u   ? 4u
               : c[3] % 8u == 7u ? key & ~THEME_KEYED
                                 : (c[3] & THEME_SWAP_BYTES) | ((c[3] & 2u) != 0 ? key : 0u);
    const auto cx = static_cast<std::int32_t>(c[4] % (ch.stride + 1));
    const auto cy = static_cast<std::int32_t>(c[5] % (ch.rows + 1));
    ch.clip = {cx, cy,
               static_cast<std::int32_t>(c[6] % (ch.stride + 1 - static_cast<std::uint32_t>(cx))),
               static_cast<std::int32_t>(c[7] % (ch.rows + 1 - static_cast<std::uint32_t>(cy)))};
    if (c[8] == 0xFF) {
        ch.clip.w = static_cast<std::int32_t>(ch.stride) + 1; // wider than the framebuffer
    }
    ch.x = static_cast<std::int8_t>(c[9]);
    ch.y = static_cast<std::int8_t>(c[10]);
    ch.lineX = static_cast<std::int8_t>(c[11]);
    ch.lineWidth = c[12] % 40;
    return ch;
}

// What one path gives for one image: statuses, the framebuffer (guard rows included) and lines.
struct Drawn {
    theme_status open, check, draw;
    int32_t width, height;
    std::vector<std::uint16_t> fb;
    std::vector<theme_status> rowStatus;
    std::vector<std::uint16_t> lines;
    bool operator==(const Drawn&) const = default;
};

std::uint16_t guard(std::size_t i) {
    return static_cast<std::uint16_t>(0xC35A + i * 0x9E37);
}

// The draw again as a walk over the clip's rows, each written where the draw writes it: the same
// pixels and status.
void expectPlacedWalk(const theme_image& image, const Choices& ch, const Drawn& d) {
    std::vector<std::uint16_t> fb(d.fb.size());
    for (std::size_t i = 0; i < fb.size(); ++i) {
        fb[i] = guard(i);
    }
    theme_rows rows;
    theme_status st = theme_rows_begin_at(&rows, &image, ch.x, ch.y, ch.clip, ch.flags);
    for (std::int32_t r = 0; st == THEME_OK && r < ch.clip.h; ++r) {
        const auto row = static_cast<std::size_t>(ch.clip.y + r) + 1; // below the guard row
        st = theme_rows_next(&rows, &fb[row * ch.stride + static_cast<std::size_t>(ch.clip.x)], 0,
                             ch.clip.w);
    }
    FUZZ_CHECK(st == d.draw && fb == d.fb);
}

Drawn drawImage(const Bytes& theme, theme_slot slot, const Choices& ch, bool io) {
    Drawn d{};
    theme_image image;
    Bytes window(ch.window);
    const auto size = static_cast<std::uint32_t>(theme.size());
    const auto open = [&](theme_slot at) {
        return io ? theme_image_open_io(&image, readPart, const_cast<Bytes*>(&theme), size, at,
                                        window.data(), ch.window)
                  : theme_image_open(&image, theme.empty() ? window.data() : theme.data(), size,
                                     at);
    };
    d.open = open(slot);
    d.width = theme_image_width(&image);
    d.height = theme_image_height(&image);
    d.check = theme_image_check(&image);
    // One guard row above and below the framebuffer.
    d.fb.resize(static_cast<std::size_t>(ch.stride) * (ch.rows + 2));
    for (std::size_t i = 0; i < d.fb.size(); ++i) {
        d.fb[i] = guard(i);
    }
    d.draw = theme_draw(&image, d.fb.data() + ch.stride, ch.stride, ch.clip, ch.x, ch.y, ch.flags);
    for (std::size_t i = 0; i < d.fb.size(); ++i) {
        const auto fx = static_cast<std::int64_t>(i % ch.stride);
        const auto fy = static_cast<std::int64_t>(i / ch.stride) - 1;
        const bool inClip = d.draw != THEME_E_ARGUMENT && fx >= ch.clip.x &&
                            fx < std::int64_t{ch.clip.x} + ch.clip.w && fy >= ch.clip.y &&
                            fy < std::int64_t{ch.clip.y} + ch.clip.h;
        FUZZ_CHECK(inClip || d.fb[i] == guard(i));
    }
    if (d.draw != THEME_E_ARGUMENT) {
        expectPlacedWalk(image, ch, d);
    }
    // A walk across a reopen of its image on half its slot.
    theme_rows rows;
    if (theme_rows_begin(&rows, &image, ch.flags) == THEME_OK) {
        for (int r = 0; r < 4; ++r) {
            if (r == 2) {
                d.rowStatus.push_back(open({slot.offset, slot.size / 2}));
            }
            std::vector<std::uint16_t> line(static_cast<std::size_t>(ch.lineWidth) + 2, 0x5AA5);
            d.rowStatus.push_back(theme_rows_next(&rows, line.data() + 1, ch.lineX, ch.lineWidth));
            FUZZ_CHECK(line.front() == 0x5AA5 && line.back() == 0x5AA5);
            d.lines.insert(d.lines.end(), line.begin(), line.end());
        }
    }
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) {
        return 0;
    }
    const Choices ch = choose(data);
    std::span<const std::uint8_t> input(data + 16, size - 16);
    const Bytes index = takePart(input);
    const Bytes theme = takePart(input);
    const auto indexSize = static_cast<std::uint32_t>(index.size());
    Bytes window(ch.window);
    theme_index mapped, read;
    // An empty vector may give no pointer at all, which the reader refuses as an argument.
    static const std::uint8_t kNoByte = 0;
    const theme_status opened =
        theme_index_open(&mapped, index.empty() ? &kNoByte : index.data(), indexSize);
    FUZZ_CHECK(theme_index_open_io(&read, readPart, const_cast<Bytes*>(&index), indexSize,
                                   window.data(), ch.window) == opened);
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
        FUZZ_CHECK(drawImage(theme, slot, ch, false) == drawImage(theme, slot, ch, true));
    }
    return 0;
}
