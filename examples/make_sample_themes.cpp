// Writes the sample theme tree that `make demo` packs: the home screen of a phone, 240 x 320.
// Theme 0, by day: a status bar, a clock, a wallpaper, a dock and sixteen app icons. Theme 2, by
// night, its dark variant: its own wallpaper and status bar, a night weather icon and a settings
// icon of another size. The icons are Debian's Tango icons (public domain), converted once by
// examples/icons/convert-icons into BMPs whose transparent pixels hold the colour key, magenta
// (RGB565 0xF81F); the clock and the dock use the same key around their shapes. Everything but
// the icons is drawn here, in integers, so that the same tree comes out on every machine.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "examples/bmp_writer.h"

namespace {

constexpr std::uint32_t kKey = 0xFF00FF; // RGB565 0xF81F: left undrawn by a keyed draw
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kBarHeight = 20;

struct Canvas {
    Canvas(int w, int h, std::uint32_t colour)
        : width(w), height(h), pixels(static_cast<std::size_t>(w * h), colour) {}
    void set(int x, int y, std::uint32_t colour) {
        if (x >= 0 && y >= 0 && x < width && y < height) {
            pixels[static_cast<std::size_t>(y * width + x)] = colour;
        }
    }
    void fill(int x0, int y0, int w, int h, std::uint32_t colour) {
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                set(x, y, colour);
            }
        }
    }
    int width;
    int height;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, top row first
};

// The colour step/steps of the way from a to b, channel by channel.
std::uint32_t mix(std::uint32_t a, std::uint32_t b, int step, int steps) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int from = static_cast<int>((a >> shift) & 0xFF);
        const int to = static_cast<int>((b >> shift) & 0xFF);
        out |= static_cast<std::uint32_t>(from + (to - from) * step / steps) << shift;
    }
    return out;
}

// A disc of radius r around (cx, cy).
void drawDisc(Canvas& canvas, int cx, int cy, int r, std::uint32_t colour) {
    for (int y = cy - r; y <= cy + r; ++y) {
        for (int x = cx - r; x <= cx + r; ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
                canvas.set(x, y, colour);
            }
        }
    }
}

// A hill: the height of a parabola of half width w and height h centred at c, at x.
int hill(int x, int c, int w, int h) {
    const int d = x - c;
    return d * d >= w * w ? 0 : h * (w * w - d * d) / (w * w);
}

struct Sky {
    std::uint32_t top, bottom, far, near;
};

// A sky gradient down to two layers of hills.
Canvas landscape(const Sky& sky) {
    Canvas canvas(kScreenWidth, kScreenHeight, 0);
    for (int y = 0; y < kScreenHeight; ++y) {
        canvas.fill(0, y, kScreenWidth, 1, mix(sky.top, sky.bottom, y, kScreenHeight));
    }
    for (int x = 0; x < kScreenWidth; ++x) {
        const int far = 236 - std::max(hill(x, 40, 120, 40), hill(x, 205, 95, 30));
        const int near = 272 - std::max(hill(x, 150, 150, 34), hill(x, -10, 90, 20));
        canvas.fill(x, far, 1, kScreenHeight - far, sky.far);
        canvas.fill(x, near, 1, kScreenHeight - near, sky.near);
    }
    return canvas;
}

Canvas dayWallpaper() {
    Canvas canvas = landscape({0x3C7FD1, 0xBFE4F7, 0x7DB86E, 0x4B9150});
    drawDisc(canvas, 212, 58, 22, 0x9CCBF0); // the sun's glow, then the sun
    drawDisc(canvas, 212, 58, 14, 0xFFE8A3);
    return canvas;
}

Canvas nightWallpaper() {
    Canvas canvas = landscape({0x070B1E, 0x2A3763, 0x1B2540, 0x0F1628});
    std::uint32_t random = 0x2545F491;
    for (int star = 0; star < 90; ++star) {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        const int x = static_cast<int>(random % kScreenWidth);
        const int y = static_cast<int>((random >> 8) % 200);
        canvas.set(x, y, (random >> 24) % 3 == 0 ? 0xFFFFFF : 0x9AA6C8);
    }
    drawDisc(canvas, 30, 58, 15, 0xF1EDD2); // a crescent: the moon, and the sky over most of it
    drawDisc(canvas, 37, 53, 13, mix(0x070B1E, 0x2A3763, 53, kScreenHeight));
    return canvas;
}

// Seven-segment digits: segments s long and t thick, a digit s + 2t wide and 2s + 3t high.
struct Segments {
    int s, t;
    int width() const { return s + 2 * t; }
    int height() const { return 2 * s + 3 * t; }
};

void drawDigit(Canvas& canvas, int x, int y, Segments g, int value, std::uint32_t colour,
               int grow) {
    // Bits a b c d e f g: top, top right, bottom right, bottom, bottom left, top left, middle.
    constexpr int kLit[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int s = g.s;
    const int t = g.t;
    const int across[][4] = {
        {t, 0, s, t},         {s + t, t, t, s}, {s + t, s + 2 * t, t, s}, {t, 2 * s + 2 * t, s, t},
        {0, s + 2 * t, t, s}, {0, t, t, s},     {t, s + t, s, t}};
    for (int i = 0; i < 7; ++i) {
        if ((kLit[value] >> i & 1) != 0) {
            canvas.fill(x + across[i][0] - grow, y + across[i][1] - grow, across[i][2] + 2 * grow,
                        across[i][3] + 2 * grow, colour);
        }
    }
}

// "09:41" at (x, y); the colon is t wide and each gap t + 1.
void drawTime(Canvas& canvas, int x, int y, Segments g, std::uint32_t colour, int grow = 0) {
    for (const char c : std::string("09:41")) {
        if (c == ':') {
            canvas.fill(x - grow, y + g.s / 2 + g.t - grow, g.t + 2 * grow, g.t + 2 * grow, colour);
            canvas.fill(x - grow, y + g.s + 2 * g.t + g.s / 2 - grow, g.t + 2 * grow,
                        g.t + 2 * grow, colour);
            x += g.t + g.t + 1;
        } else {
            drawDigit(canvas, x, y, g, c - '0', colour, grow);
            x += g.width() + g.t + 1;
        }
    }
}

int timeWidth(Segments g) {
    return 4 * (g.width() + g.t + 1) + g.t;
}

// The big clock: white digits with a dark edge, on the key.
Canvas clockImage() {
    const Segments g{14, 4};
    Canvas canvas(timeWidth(g) + 4, g.height() + 4, kKey);
    drawTime(canvas, 2, 2, g, 0x1E2A38, 2);
    drawTime(canvas, 2, 2, g, 0xFFFFFF);
    return canvas;
}

// Signal bars, the time and a battery, in ink on paper, a rule under them.
Canvas statusBar(std::uint32_t paper, std::uint32_t ink, std::uint32_t rule) {
    Canvas canvas(kScreenWidth, kBarHeight, paper);
    canvas.fill(0, kBarHeight - 1, kScreenWidth, 1, rule);
    for (int bar = 0; bar < 4; ++bar) {
        canvas.fill(6 + 5 * bar, 15 - 3 * (bar + 1), 3, 3 * (bar + 1), ink);
    }
    const Segments small{4, 1};
    drawTime(canvas, (kScreenWidth - timeWidth(small)) / 2, 4, small, ink);
    canvas.fill(208, 5, 20, 10, ink); // the battery, three quarters full
    canvas.fill(209, 6, 18, 8, paper);
    canvas.fill(210, 7, 12, 6, 0x43A047);
    canvas.fill(228, 8, 2, 4, ink);
    return canvas;
}

// A panel with rounded corners and a light edge, on the key.
constexpr int kDockWidth = 232;
constexpr int kDockHeight = 52;
constexpr int kDockRadius = 10;

Canvas dockImage() {
    Canvas canvas(kDockWidth, kDockHeight, kKey);
    const auto inside = [](int x, int y) {
        const int cx = std::clamp(x, kDockRadius, kDockWidth - 1 - kDockRadius);
        const int cy = std::clamp(y, kDockRadius, kDockHeight - 1 - kDockRadius);
        return x >= 0 && y >= 0 && x < kDockWidth && y < kDockHeight &&
               (x - cx) * (x - cx) + (y - cy) * (y - cy) <= kDockRadius * kDockRadius;
    };
    for (int y = 0; y < kDockHeight; ++y) {
        for (int x = 0; x < kDockWidth; ++x) {
            if (inside(x, y)) {
                const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) ||
                                  !inside(x, y + 1);
                canvas.set(x, y, edge ? 0x5A7390 : 0x22324A);
            }
        }
    }
    return canvas;
}

struct DrawnImage {
    const char* path;
    Canvas (*draw)();
};

const DrawnImage kDrawn[] = {
    {"0/status/bar.bmp", [] { return statusBar(0xF2F5F8, 0x263238, 0xC5CED6); }},
    {"0/home/wallpaper.bmp", dayWallpaper},
    {"0/home/clock.bmp", clockImage},
    {"0/home/dock.bmp", dockImage},
    {"2/status/bar.bmp", [] { return statusBar(0x000000, 0xCFD8DC, 0x1C2430); }},
    {"2/home/wallpaper.bmp", nightWallpaper},
};

// Where each icon of examples/icons goes.
struct CopiedIcon {
    const char* path;
    const char* icon;
};

const CopiedIcon kIcons[] = {
    {"0/apps/browser.bmp", "browser"},
    {"0/apps/mail.bmp", "mail"},
    {"0/apps/calendar.bmp", "calendar"},
    {"0/apps/photos.bmp", "photos"},
    {"0/apps/calculator.bmp", "calculator"},
    {"0/apps/weather.bmp", "weather"},
    {"0/apps/notes.bmp", "notes"},
    {"0/apps/files.bmp", "files"},
    {"0/apps/terminal.bmp", "terminal"},
    {"0/apps/settings.bmp", "settings"},
    {"0/apps/help.bmp", "help"},
    {"0/apps/games.bmp", "games"},
    {"0/dock/messages.bmp", "messages"},
    {"0/dock/contacts.bmp", "contacts"},
    {"0/dock/music.bmp", "music"},
    {"0/dock/camera.bmp", "camera"},
    {"2/apps/weather.bmp", "weather-night"},
    {"2/apps/settings.bmp", "settings-24"},
};

bool readIcon(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && !bytes.empty();
}

bool writeImage(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec || !writeBytesFile(file.string(), bytes)) {
        std::fprintf(stderr, "make-sample-themes: cannot write %s\n", file.string().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample-themes FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const DrawnImage& image : kDrawn) {
        const Canvas canvas = image.draw();
        if (!writeImage(root / image.path,
                        makeBmp({.width = canvas.width, .height = canvas.height}, canvas.pixels))) {
            return 1;
        }
    }
    for (const CopiedIcon& icon : kIcons) {
        const std::string source = std::string(TP_SAMPLE_ICONS) + "/" + icon.icon + ".bmp";
        std::vector<std::uint8_t> bytes;
        if (!readIcon(source, bytes)) {
            std::fprintf(stderr, "make-sample-themes: cannot read %s\n", source.c_str());
            return 1;
        }
        if (!writeImage(root / icon.path, bytes)) {
            return 1;
        }
    }
    return 0;
}
