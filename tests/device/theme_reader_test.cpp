// The device reader on builds of the real packer: every image of random trees, drawn with random
// clips and offsets, through memory and through a read callback, row by row too, is exactly the
// crop of the converter's RGB565 output with every pixel around it untouched; the index agrees
// with theme-inspect; and every fault of the bytes is a status, never a read or write outside.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <map>
#include <random>
#include <sstream>

#include "common/byte_order.h"
#include "device/theme_reader.h"
#include "image/bmp_reader.h"
#include "output/bin_writer.h"
#include "readback/readback_run.h"
#include "support/group_tables.h"
#include "support/sample_forms.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Storage behind a read callback, as firmware reads SPI flash: a read outside the file is a fault
// of the reader; from failAfter reads on, reads fail.
struct Flash {
    const Bytes* bytes = nullptr;
    int reads = 0;
    int failAfter = -1;
    bool outside = false;
};

int readFlash(void* ctx, std::uint32_t offset, void* dst, std::uint32_t len) {
    Flash& flash = *static_cast<Flash*>(ctx);
    if (len == 0 || std::uint64_t{offset} + len > flash.bytes->size()) {
        flash.outside = true;
        return -1;
    }
    if (flash.failAfter >= 0 && flash.reads >= flash.failAfter) {
        return -1;
    }
    ++flash.reads;
    std::memcpy(dst, flash.bytes->data() + offset, len);
    return 0;
}

// The two ways to reach a file: its bytes in memory (window 0), or a callback through a window.
struct Storage {
    explicit Storage(const Bytes& file, std::uint32_t window = 0) : flash{&file}, buffer(window) {}
    Flash flash;
    Bytes buffer;
    bool memory() const { return buffer.empty(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(flash.bytes->size()); }

    theme_status openIndex(theme_index& index) {
        return memory() ? theme_index_open(&index, flash.bytes->data(), size())
                        : theme_index_open_io(&index, readFlash, &flash, size(), buffer.data(),
                                              static_cast<std::uint32_t>(buffer.size()));
    }
    theme_status openImage(theme_image& image, theme_slot slot) {
        return memory()
                   ? theme_image_open(&image, flash.bytes->data(), size(), slot)
                   : theme_image_open_io(&image, readFlash, &flash, size(), slot, buffer.data(),
                                         static_cast<std::uint32_t>(buffer.size()));
    }
};

const std::vector<std::uint32_t> kWindows{0, 64, 97, 4096};

struct Picture {
    int width = 0;
    int height = 0;
    Bytes rgb565;
    std::uint16_t stored(std::int64_t x, std::int64_t y) const {
        return loadU16Le(&rgb565[static_cast<std::size_t>(2 * (y * width + x))]);
    }
    std::uint16_t at(std::int64_t x, std::int64_t y, std::uint32_t flags) const {
        const std::uint16_t v = stored(x, y);
        return flags & THEME_SWAP_BYTES ? static_cast<std::uint16_t>(v << 8 | v >> 8) : v;
    }
    // A pixel a keyed draw leaves alone.
    bool keyed(std::int64_t x, std::int64_t y, std::uint32_t flags) const {
        return (flags & THEME_KEYED) != 0 && stored(x, y) == flags >> 16;
    }
};

Picture converted(const Bytes& bmp) {
    Picture picture;
    EXPECT_EQ(parseBmpHeader(bmp, picture.width, picture.height), 1);
    picture.height = std::abs(picture.height);
    picture.rgb565.resize(2 * static_cast<std::size_t>(picture.width * picture.height));
    EXPECT_EQ(convertBmpPixels(bmp, picture.rgb565), 1);
    return picture;
}

std::uint16_t guard(std::size_t i) {
    return static_cast<std::uint16_t>(0xA5C3 ^ (i * 0x9E37));
}

// One draw into a framebuffer of guard values, against the crop written pixel by pixel.
void expectDraw(const theme_image& image, const Picture& picture, std::uint32_t stride,
                std::int32_t rows, theme_rect clip, std::int32_t x, std::int32_t y,
                std::uint32_t flags, const std::string& what) {
    std::vector<std::uint16_t> fb(static_cast<std::size_t>(stride) * rows);
    for (std::size_t i = 0; i < fb.size(); ++i) {
        fb[i] = guard(i);
    }
    std::vector<std::uint16_t> want = fb;
    for (std::int64_t fy = clip.y; fy < std::int64_t{clip.y} + clip.h; ++fy) {
        for (std::int64_t fx = clip.x; fx < std::int64_t{clip.x} + clip.w; ++fx) {
            if (fx >= x && fx < std::int64_t{x} + picture.width && fy >= y &&
                fy < std::int64_t{y} + picture.height && !picture.keyed(fx - x, fy - y, flags)) {
                want[static_cast<std::size_t>(fy * stride + fx)] =
                    picture.at(fx - x, fy - y, flags);
            }
        }
    }
    ASSERT_EQ(theme_draw(&image, fb.data(), stride, clip, x, y, flags), THEME_OK) << what;
    ASSERT_TRUE(fb == want) << what << ": clip " << clip.x << "," << clip.y << " " << clip.w << "x"
                            << clip.h << " at " << x << "," << y << " flags " << flags;
}

// Random windows of random rows, each into a line with guards on both sides.
void expectRows(const theme_image& image, const Picture& picture, std::uint32_t flags,
                std::mt19937& rng, const std::string& what) {
    theme_rows rows;
    ASSERT_EQ(theme_rows_begin(&rows, &image, flags), THEME_OK);
    for (int y = 0; y < picture.height;) {
        if (rng() % 4 == 0) {
            const auto count = static_cast<std::int32_t>(rng() % 3);
            const std::int32_t passed = std::min(count, picture.height - y);
            ASSERT_EQ(theme_rows_skip(&rows, passed), THEME_OK) << what;
            y += passed;
            continue;
        }
        const auto x0 = static_cast<std::int32_t>(rng() % static_cast<unsigned>(picture.width));
        const auto width =
            static_cast<std::int32_t>(rng() % static_cast<unsigned>(picture.width - x0 + 1));
        std::vector<std::uint16_t> line(static_cast<std::size_t>(width) + 2, 0x5A5A);
        ASSERT_EQ(theme_rows_next(&rows, line.data() + 1, x0, width), THEME_OK) << what;
        for (std::int32_t i = 0; i < width; ++i) {
            ASSERT_EQ(line[static_cast<std::size_t>(i) + 1],
                      picture.keyed(x0 + i, y, flags) ? 0x5A5A : picture.at(x0 + i, y, flags))
                << what << " row " << y << " pixel " << x0 + i;
        }
        ASSERT_EQ(line.front(), 0x5A5A);
        ASSERT_EQ(line.back(), 0x5A5A);
        ++y;
    }
    EXPECT_EQ(theme_rows_next(&rows, nullptr, 0, 0), THEME_E_ARGUMENT) << "past the last row";
}

// Every way to draw one image: whole, at random places with random clips (empty ones, ones that
// cut the image on any side, and places off the framebuffer), and row by row; plain, swapped, and
// keyed with the colour of its first pixel.
void expectImage(Storage& storage, theme_slot slot, const Picture& picture, std::uint32_t seed,
                 const std::string& what) {
    theme_image image;
    ASSERT_EQ(storage.openImage(image, slot), THEME_OK) << what;
    ASSERT_EQ(theme_image_width(&image), picture.width) << what;
    ASSERT_EQ(theme_image_height(&image), picture.height) << what;
    ASSERT_EQ(theme_image_check(&image), THEME_OK) << what;
    std::mt19937 rng(seed);
    const auto pick = [&rng](std::int64_t low, std::int64_t high) {
        return static_cast<std::int32_t>(
            std::uniform_int_distribution<std::int64_t>(low, high)(rng));
    };
    const std::uint32_t key = THEME_COLOR_KEY(picture.stored(0, 0));
    for (const std::uint32_t flags : {0u, THEME_SWAP_BYTES, key, key | THEME_SWAP_BYTES}) {
        const auto w = static_cast<std::uint32_t>(picture.width);
        expectDraw(image, picture, w, picture.height, {0, 0, picture.width, picture.height}, 0, 0,
                   flags, what + " whole");
        for (int draw = 0; draw < 6; ++draw) {
            const auto stride = static_cast<std::uint32_t>(pick(1, std::min(w + 9, 4200u)));
            const std::int32_t rows = pick(1, picture.height + 6);
            const std::int32_t cx = pick(0, stride), cy = pick(0, rows);
            const theme_rect clip{cx, cy, pick(0, stride - cx), pick(0, rows - cy)};
            expectDraw(image, picture, stride, rows, clip, pick(-picture.width - 2, stride + 2),
                       pick(-picture.height - 2, rows + 2), flags, what);
        }
        expectRows(image, picture, flags, rng, what);
    }
    EXPECT_FALSE(storage.flash.outside) << what;
}

// One listed image of a build: its names and slot as theme-inspect list --json gives them.
struct Listed {
    std::string group;
    std::string name;
    theme_slot slot{};
};

std::string unhex(const std::string& hex) {
    std::string raw;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        raw += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return raw;
}

// The value after "key": in line, up to the next quote or comma; empty when key is not there.
std::string field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\": ");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + key.size() + 4 + (line[at + key.size() + 4] == '"' ? 1 : 0);
    return line.substr(from, line.find_first_of("\",", from) - from);
}

std::vector<Listed> listed(const TempFolder& root) {
    const ProgramResult list = runInspect(root, "list --json");
    EXPECT_EQ(list.exitStatus, 0) << list.err;
    std::vector<Listed> images;
    std::string group;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"images\": [") != std::string::npos) {
            group = unhex(field(line, "nameHex"));
        } else if (line.find("\"slotSize\": ") != std::string::npos) {
            images.push_back({group,
                              unhex(field(line, "nameHex")),
                              {static_cast<std::uint32_t>(std::stoul(field(line, "offset"))),
                               static_cast<std::uint32_t>(std::stoul(field(line, "slotSize")))}});
        }
    }
    return images;
}

// A random theme tree: pictures of every BMP form and of UI-like content, from 1x1 to rows wider
// than a run's length field, in groups at several depths; variants 2 and 5 replace some with
// pictures of other sizes. Names are unique, so that a name tells its source.
std::map<std::string, Bytes> randomTree(std::uint32_t seed) {
    std::mt19937 rng(seed);
    const auto pick = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    const auto picture = [&](bool tiny) {
        const int kind = pick(0, 9);
        if (tiny) {
            return sample(kSampleForms[static_cast<std::size_t>(pick(0, 12))].second, 1, 1).first;
        }
        if (kind == 0) { // long repeat runs, cut at the length field
            return makeUiLikeBmp(pick(4096, 4300), pick(1, 3), static_cast<std::uint32_t>(rng()));
        }
        if (kind == 1) { // long literal runs
            return sample(kSampleForms[0].second, pick(4096, 4200), pick(1, 2)).first;
        }
        if (kind < 5) {
            return makeUiLikeBmp(pick(6, 90), pick(1, 50), static_cast<std::uint32_t>(rng()));
        }
        return sample(kSampleForms[static_cast<std::size_t>(pick(0, 12))].second, pick(1, 70),
                      pick(1, 40))
            .first;
    };
    const std::vector<std::string> folders = {"", "menu/", "idle/", "menu/icons/", "status/"};
    std::map<std::string, Bytes> tree;
    for (int i = 0, count = pick(3, 8); i < count; ++i) {
        const std::string path =
            folders[static_cast<std::size_t>(pick(0, 4))] + "img" + std::to_string(i) + ".bmp";
        tree["0/" + path] = picture(i == 0);
        for (const char* variant : {"2/", "5/"}) {
            if (pick(0, 2) == 0) {
                tree[variant + path] = picture(false);
            }
        }
    }
    return tree;
}

// The picture a theme holds for the base image at path: the variant's file, else the base's.
const Bytes& sourceOf(const std::map<std::string, Bytes>& tree, int theme,
                      const std::string& path) {
    const auto variant = tree.find(std::to_string(theme) + "/" + path);
    return variant != tree.end() ? variant->second : tree.at("0/" + path);
}

std::string basePath(const std::map<std::string, Bytes>& tree, const std::string& name) {
    for (const auto& [path, bmp] : tree) {
        if (path.starts_with("0/") && path.ends_with("/" + name)) {
            return path.substr(2);
        }
    }
    return {};
}

// The same build with every copy stored as a PRI0 image, slot for slot.
void writePri0Build(const TempFolder& root, const std::map<std::string, Bytes>& tree,
                    const std::vector<Listed>& images) {
    GroupTables tables;
    ThemeFlags present{};
    for (const int theme : {0, 2, 5}) {
        if (!root.exists(std::to_string(theme))) {
            continue;
        }
        tables[theme] = std::make_unique<ImageGroup>();
        for (const Listed& image : images) {
            const Picture p = converted(sourceOf(tree, theme, basePath(tree, image.name)));
            Bytes block(16);
            storeU32Le(&block[0], 0x30495250);
            storeU32Le(&block[4], static_cast<std::uint32_t>(p.width));
            storeU32Le(&block[8], static_cast<std::uint32_t>(p.height));
            storeU32Le(&block[12], 16);
            block.insert(block.end(), p.rgb565.begin(), p.rgb565.end());
            fileRecord(*tables[theme], image.group, image.name, block);
        }
        present[theme] = 1;
    }
    std::string error;
    ASSERT_EQ(writeBinFiles(tables, present, root.path(), 0, error), 1) << error;
}

// Every image of every theme through every path, and the index against theme-inspect's listing.
void expectBuild(const TempFolder& root, const std::map<std::string, Bytes>& tree,
                 const std::vector<Listed>& images, std::uint32_t seed) {
    const Bytes index = root.readBytes("Index.bin");
    for (const std::uint32_t window : kWindows) {
        Storage indexStorage(index, window);
        theme_index ix;
        ASSERT_EQ(indexStorage.openIndex(ix), THEME_OK);
        ASSERT_EQ(theme_index_count(&ix), images.size());
        EXPECT_EQ(theme_index_verify(&ix, indexStorage.size(),
                                     static_cast<std::uint32_t>(
                                         crc32(0, index.data(), static_cast<uInt>(index.size())))),
                  THEME_OK);
        for (std::uint32_t k = 0; k < images.size(); ++k) {
            theme_slot bySlot{}, byName{};
            ASSERT_EQ(theme_index_slot(&ix, k, &bySlot), THEME_OK);
            ASSERT_EQ(
                theme_index_find(&ix, images[k].group.c_str(), images[k].name.c_str(), &byName),
                THEME_OK);
            EXPECT_EQ(bySlot.offset, images[k].slot.offset);
            EXPECT_EQ(bySlot.size, images[k].slot.size);
            EXPECT_EQ(byName.offset, images[k].slot.offset);
            EXPECT_EQ(byName.size, images[k].slot.size);
        }
        EXPECT_FALSE(indexStorage.flash.outside);
    }
    for (const int theme : {0, 2, 5}) {
        if (!root.exists(std::to_string(theme))) {
            continue;
        }
        const Bytes file = root.readBytes(std::to_string(theme) + "/Theme.bin");
        for (std::uint32_t k = 0; k < images.size(); ++k) {
            const Picture picture =
                converted(sourceOf(tree, theme, basePath(tree, images[k].name)));
            for (const std::uint32_t window : kWindows) {
                Storage storage(file, window);
                expectImage(storage, images[k].slot, picture, seed + k,
                            "theme " + std::to_string(theme) + " " + images[k].name + " window " +
                                std::to_string(window));
            }
        }
    }
}

class DeviceReaderTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(DeviceReaderTest, EveryImageOfEveryThemeDrawsAsTheConverterMadeIt) {
    const std::map<std::string, Bytes> tree = randomTree(GetParam());
    TempFolder root;
    for (const auto& [path, bmp] : tree) {
        root.writeBytes(path, bmp);
    }
    const ProgramResult run = LonePackager(nullptr).run(root);
    ASSERT_EQ(run.exitStatus, 2) << run.err; // bins written, nothing to compress them with
    const std::vector<Listed> images = listed(root);
    ASSERT_FALSE(images.empty());
    expectBuild(root, tree, images, GetParam());
    writePri0Build(root, tree, images);
    expectBuild(root, tree, listed(root), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Trees, DeviceReaderTest, ::testing::Range(1u, 5u));

} // namespace
