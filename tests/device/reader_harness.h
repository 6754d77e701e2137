// How the device reader's fault table and its fuzz target read a build: each file in memory or
// through a read callback and a window, and one image opened, checked, drawn into a framebuffer
// with a guard row above and below, and walked row by row across a reopen, with what no bytes may
// make the reader do (write outside the clip or a line, read outside the file) noted.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "device/theme_reader.h"

// A file as the reader is given it: its bytes in memory (window size 0), or through read into a
// window of that size. A read outside the bytes fails, and is noted.
struct ReaderFile {
    const std::vector<std::uint8_t>& bytes;
    std::uint32_t windowSize = 0;
    std::vector<std::uint8_t> window = std::vector<std::uint8_t>(windowSize);
    bool outside = false;

    static int read(void* ctx, std::uint32_t offset, void* dst, std::uint32_t len) {
        ReaderFile& file = *static_cast<ReaderFile*>(ctx);
        if (len == 0 || std::uint64_t{offset} + len > file.bytes.size()) {
            file.outside = true;
            return -1;
        }
        std::memcpy(dst, file.bytes.data() + offset, len);
        return 0;
    }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }
    // An empty vector may give no pointer at all, which the reader refuses as an argument.
    const std::uint8_t* mapped() const {
        static const std::uint8_t kNoByte = 0;
        return bytes.empty() ? &kNoByte : bytes.data();
    }
    theme_status openIndex(theme_index& index) {
        return windowSize == 0
                   ? theme_index_open(&index, mapped(), size())
                   : theme_index_open_io(&index, read, this, size(), window.data(), windowSize);
    }
    theme_status openImage(theme_image& image, theme_slot slot) {
        return windowSize == 0 ? theme_image_open(&image, mapped(), size(), slot)
                               : theme_image_open_io(&image, read, this, size(), slot,
                                                     window.data(), windowSize);
    }
};

// A draw: the framebuffer, the clip, where the image's top-left pixel goes, the flags; the
// columns of each walked row (up to 4 rows); where the image is opened again once the walk is
// past row 0 (nowhere when the slot's size is 0).
struct ReaderDraw {
    std::uint32_t stride = 0, rows = 0;
    theme_rect clip{};
    std::int32_t x = 0, y = 0;
    std::uint32_t flags = 0;
    std::int32_t lineX = 0, lineWidth = 0;
    theme_slot reopen{};
};

// What reading one image gave: each step's status (the walk's last), the framebuffer (guard rows
// included) and each walked line between its two guards; sound when nothing was written outside
// the clip or a line, nothing read outside the file, and a walk over the clip gave the draw's
// pixels and status.
struct ReaderOutcome {
    theme_status open = THEME_OK, check = THEME_OK, draw = THEME_OK, walk = THEME_OK,
                 reopen = THEME_OK;
    std::vector<std::uint16_t> fb, lines;
    bool sound = true;
    bool operator==(const ReaderOutcome&) const = default;
};

// The framebuffer of a draw before it: a guard value in each pixel, a guard row above and below.
inline std::vector<std::uint16_t> guardedFrame(const ReaderDraw& d) {
    std::vector<std::uint16_t> fb(std::size_t{d.stride} * (d.rows + 2));
    for (std::size_t i = 0; i < fb.size(); ++i) {
        fb[i] = static_cast<std::uint16_t>(0xC35A + i * 0x9E37);
    }
    return fb;
}

// The draw again as a walk over the clip's rows, each written where the draw writes it.
inline bool walkGivesTheDraw(const theme_image& image, const ReaderDraw& d,
                             const ReaderOutcome& out) {
    std::vector<std::uint16_t> fb = guardedFrame(d);
    theme_rows rows;
    theme_status st = theme_rows_begin_at(&rows, &image, d.x, d.y, d.clip, d.flags);
    for (std::int32_t r = 0; st == THEME_OK && r < d.clip.h; ++r) {
        const auto row = static_cast<std::size_t>(d.clip.y + r) + 1; // below the guard row
        st = theme_rows_next(&rows, &fb[row * d.stride + static_cast<std::size_t>(d.clip.x)], 0,
                             d.clip.w);
    }
    return st == out.draw && fb == out.fb;
}

inline ReaderOutcome readImage(ReaderFile& theme, theme_slot slot, const ReaderDraw& d) {
    ReaderOutcome out;
    theme_image image;
    out.open = theme.openImage(image, slot);
    out.check = theme_image_check(&image);
    out.fb = guardedFrame(d);
    const std::vector<std::uint16_t> before = out.fb;
    out.draw = theme_draw(&image, out.fb.data() + d.stride, d.stride, d.clip, d.x, d.y, d.flags);
    for (std::size_t i = 0; i < out.fb.size(); ++i) {
        const auto fx = static_cast<std::int64_t>(i % d.stride);
        const auto fy = static_cast<std::int64_t>(i / d.stride) - 1;
        const bool inClip = out.draw != THEME_E_ARGUMENT && fx >= d.clip.x &&
                            fx < std::int64_t{d.clip.x} + d.clip.w && fy >= d.clip.y &&
                            fy < std::int64_t{d.clip.y} + d.clip.h;
        out.sound = out.sound && (inClip || out.fb[i] == before[i]);
    }
    if (out.draw != THEME_E_ARGUMENT) {
        out.sound = out.sound && walkGivesTheDraw(image, d, out);
    }
    theme_rows rows;
    out.walk = theme_rows_begin(&rows, &image, d.flags);
    for (std::int32_t r = 0, steps = std::min(4, theme_image_height(&image)); r < steps; ++r) {
        if (r == 1 && d.reopen.size != 0) {
            out.reopen = theme.openImage(image, d.reopen);
        }
        std::vector<std::uint16_t> line(static_cast<std::size_t>(d.lineWidth) + 2, 0x5AA5);
        out.walk = theme_rows_next(&rows, line.data() + 1, d.lineX, d.lineWidth);
        out.sound = out.sound && line.front() == 0x5AA5 && line.back() == 0x5AA5;
        out.lines.insert(out.lines.end(), line.begin(), line.end());
    }
    out.sound = out.sound && !theme.outside;
    return out;
}
