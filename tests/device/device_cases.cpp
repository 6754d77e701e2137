// Writes the C source of device_cases.h for draw_check: the bytes of packed builds, and for every
// image of every theme a set of draws with the checksum each framebuffer must have, computed from
// the converter's pixels of the image's source file, never from the reader.
//
//   device-cases OUT.c [--corpus ICONS SCREENS] NAME=ROOT ...
//   device-cases --write-tree ROOT
//
// ROOT holds a theme tree and the plain bins the packer wrote there (Index.bin, n/Theme.bin);
// each index entry is found back in folder 0 by its group (the folder's name) and file name,
// which must be unique; the same build with every copy stored as a PRI0 image, written to
// ROOT/pri0, is drawn the same ways. --corpus adds the first ICONS icons and SCREENS screens of
// pack_bench's corpus (theme 0), encoded as the packer does into a Theme.bin of their own: the
// draws whose instructions draw_check counts.
//
// --write-tree writes a theme tree of odd sizes, rows over 4095 pixels, every BMP form and two
// variants of other sizes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "codec/image_format.h"
#include "common/byte_order.h"
#include "examples/bmp_writer.h"
#include "gzip/gzip_stream.h"
#include "image/bmp_reader.h"
#include "output/bin_writer.h"
#include "readback/build_check.h"
#include "readback/firmware_header.h"
#include "support/group_tables.h"
#include "support/sample_forms.h"

extern "C" {
#include "device/device_cases.h"
}

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Picture {
    int width = 0;
    int height = 0;
    Bytes rgb565;
};

struct Build {
    std::string name;
    Bytes index;
    std::map<int, Bytes> themes;
    std::uint32_t idsCrc32 = 0;
    BuildCheck check; // its index's layout
};

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool converted(const fs::path& file, Picture& picture) {
    const Bytes bmp = readFile(file);
    if (parseBmpHeader(bmp, picture.width, picture.height) != 1) {
        return false;
    }
    picture.height = std::abs(picture.height);
    picture.rgb565.resize(2 * static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height));
    return convertBmpPixels(bmp, picture.rgb565) == 1;
}

// The picture's most common colour: what a keyed draw leaves out, as an icon's surroundings.
std::uint16_t commonColour(const Picture& p) {
    std::map<std::uint16_t, std::size_t> counts;
    for (std::size_t i = 0; i < p.rgb565.size(); i += 2) {
        ++counts[loadU16Le(&p.rgb565[i])];
    }
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

// The framebuffer a draw must leave: the guard values, the clipped image over them (but for its
// pixels of the key colour in a keyed draw).
std::uint32_t expectedChecksum(const device_draw& d, const Picture& p) {
    std::vector<std::uint16_t> fb(static_cast<std::size_t>(d.stride) * d.rows);
    for (std::size_t i = 0; i < fb.size(); ++i) {
        fb[i] = fb_guard(static_cast<std::uint32_t>(i));
    }
    for (std::int64_t fy = d.clip.y; fy < std::int64_t{d.clip.y} + d.clip.h; ++fy) {
        for (std::int64_t fx = d.clip.x; fx < std::int64_t{d.clip.x} + d.clip.w; ++fx) {
            const std::int64_t ix = fx - d.x, iy = fy - d.y;
            if (ix >= 0 && ix < p.width && iy >= 0 && iy < p.height) {
                std::uint16_t v =
                    loadU16Le(&p.rgb565[static_cast<std::size_t>(2 * (iy * p.width + ix))]);
                if ((d.flags & THEME_KEYED) != 0 && v == d.flags >> 16) {
                    continue;
                }
                if ((d.flags & THEME_SWAP_BYTES) != 0) {
                    v = static_cast<std::uint16_t>(v << 8 | v >> 8);
                }
                fb[static_cast<std::size_t>(fy * d.stride + fx)] = v;
            }
        }
    }
    return fb_checksum(fb.data(), static_cast<std::uint32_t>(fb.size()));
}

device_draw draw(const Picture& p, std::uint32_t stride, std::uint32_t rows, theme_rect clip,
                 std::int32_t x, std::int32_t y, std::uint32_t flags, std::uint32_t kind) {
    device_draw d{};
    d.width = p.width;
    d.height = p.height;
    d.stride = stride;
    d.rows = rows;
    d.clip = clip;
    d.x = x;
    d.y = y;
    d.flags = flags;
    d.kind = kind;
    d.checksum = expectedChecksum(d, p);
    return d;
}

// Whole, plain and swapped; cut on the left and at the bottom; cut on the right and at the top,
// swapped; both cut ones again keyed with the picture's most common colour. Then random ones:
// framebuffers of up to 4200 pixels a row, any clip in them (empty ones too), the picture
// anywhere (off the framebuffer too), plain, swapped, keyed with its first pixel's colour, or both.
void drawsOf(const Picture& p, std::uint32_t kind, std::mt19937& rng,
             std::vector<device_draw>& out) {
    const auto w = static_cast<std::uint32_t>(p.width), h = static_cast<std::uint32_t>(p.height);
    const std::uint32_t stride = w + 6, rows = h + 5;
    const auto s = static_cast<std::int32_t>(stride), r = static_cast<std::int32_t>(rows);
    out.push_back(draw(p, w, h, {0, 0, p.width, p.height}, 0, 0, 0, kind));
    out.push_back(draw(p, w, h, {0, 0, p.width, p.height}, 0, 0, THEME_SWAP_BYTES, KIND_CHECK));
    for (const std::uint32_t key : {0u, THEME_COLOR_KEY(commonColour(p))}) {
        out.push_back(
            draw(p, stride, rows, {1, 1, s - 2, r - 3}, -(p.width / 3), 3, key, KIND_CHECK));
        out.push_back(draw(p, stride, rows, {2, 0, s - 4, r - 1}, s - p.width / 2 - 1,
                           -(p.height / 2), key | THEME_SWAP_BYTES, KIND_CHECK));
    }
    const auto pick = [&rng](std::int64_t low, std::int64_t high) {
        return static_cast<std::int32_t>(
            std::uniform_int_distribution<std::int64_t>(low, high)(rng));
    };
    const std::uint32_t key = THEME_COLOR_KEY(loadU16Le(p.rgb565.data()));
    for (std::uint32_t k = 0; k < 8; ++k) {
        const std::int32_t fw = pick(1, std::min(w + 9, 4200u));
        const std::int32_t fh = pick(1, std::min(p.height + 6, 380000 / fw));
        const std::int32_t cx = pick(0, fw), cy = pick(0, fh);
        out.push_back(draw(p, static_cast<std::uint32_t>(fw), static_cast<std::uint32_t>(fh),
                           {cx, cy, pick(0, fw - cx), pick(0, fh - cy)}, pick(-p.width - 2, fw + 2),
                           pick(-p.height - 2, fh + 2),
                           ((k & 1) != 0 ? THEME_SWAP_BYTES : 0u) | ((k & 2) != 0 ? key : 0u),
                           KIND_CHECK));
    }
}

// A lasting copy of text, for the draws that name their image.
const char* kept(std::string_view text) {
    static std::set<std::string, std::less<>> texts;
    return texts.emplace(text).first->c_str();
}

// The picture as a PRI0 image.
Bytes pri0Block(const Picture& p) {
    Bytes block(kImageHeaderSize);
    writeImageHeader(block.data(), {kPri0Magic, p.width, p.height, 16});
    block.insert(block.end(), p.rgb565.begin(), p.rgb565.end());
    return block;
}

// Folder 0's files by (group, file name): the group is the name of the folder that holds them.
std::map<std::pair<std::string, std::string>, fs::path> baseFiles(const fs::path& root) {
    std::map<std::pair<std::string, std::string>, fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root / "0")) {
        if (e.is_regular_file()) {
            const fs::path relative = fs::relative(e.path(), root / "0");
            const std::string group =
                relative.has_parent_path() ? relative.parent_path().filename().string() : "0";
            files[{group, relative.filename().string()}] = relative;
        }
    }
    return files;
}

// The build in root: its Index.bin, which must be sound, and each theme's Theme.bin.
bool readBuild(const std::string& name, const fs::path& root, Build& build) {
    build.name = name;
    build.index = readFile(root / "Index.bin");
    checkIndex(build.index, build.check);
    if (!build.check.layout.complete || !build.check.faults.empty()) {
        std::fprintf(stderr, "device-cases: %s: not a sound Index.bin\n", root.string().c_str());
        return false;
    }
    build.idsCrc32 = imageIdsCrc32(build.index, build.check.layout);
    for (int theme = 0; theme < 10; ++theme) {
        if (fs::exists(root / std::to_string(theme) / "Theme.bin")) {
            build.themes[theme] = readFile(root / std::to_string(theme) / "Theme.bin");
        }
    }
    return true;
}

// The draws of every image of every theme of the build in root, then the same draws of its PRI0
// copy, from the copy's slots.
bool addTree(const std::string& name, const fs::path& root, std::mt19937& rng,
             std::vector<Build>& builds, std::vector<device_draw>& draws) {
    Build build, copy;
    if (!readBuild(name, root, build)) {
        return false;
    }
    const auto files = baseFiles(root);
    const auto number = static_cast<std::uint16_t>(builds.size());
    const std::size_t first = draws.size();
    GroupTables pri0;
    ThemeFlags present{};
    for (const auto& [theme, bytes] : build.themes) {
        pri0[theme] = std::make_unique<ImageGroup>();
        present[theme] = 1;
        std::error_code ec;
        fs::create_directories(root / "pri0" / std::to_string(theme), ec);
    }
    for (const IndexGroup& group : build.check.layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            const IndexImage& image = build.check.layout.images[k];
            const auto found = files.find({std::string(group.name), std::string(image.name)});
            if (found == files.end()) {
                std::fprintf(stderr, "device-cases: %s: no source for image %zu\n", name.c_str(),
                             k);
                return false;
            }
            for (const auto& [theme, bytes] : build.themes) {
                const fs::path variant = root / std::to_string(theme) / found->second;
                Picture picture;
                if (!converted(fs::is_regular_file(variant) ? variant : root / "0" / found->second,
                               picture)) {
                    std::fprintf(stderr, "device-cases: cannot convert %s\n",
                                 found->second.string().c_str());
                    return false;
                }
                std::vector<device_draw> mine;
                drawsOf(picture, name == "sample" ? KIND_SAMPLE : KIND_CHECK, rng, mine);
                for (device_draw& d : mine) {
                    d.build = number;
                    d.theme = static_cast<std::uint16_t>(theme);
                    d.ordinal = static_cast<std::uint32_t>(k);
                    d.group = kept(group.name);
                    d.name = kept(image.name);
                    d.slot = {static_cast<std::uint32_t>(image.slotStart), image.slotSize};
                    draws.push_back(d);
                }
                fileRecord(*pri0[theme], std::string(group.name), std::string(image.name),
                           pri0Block(picture));
            }
        }
    }
    builds.push_back(std::move(build));
    std::string error;
    if (writeBinFiles(pri0, present, (root / "pri0").string(), 0, error) != 1 ||
        !readBuild(name + "-pri0", root / "pri0", copy)) {
        std::fprintf(stderr, "device-cases: %s: no PRI0 copy: %s\n", name.c_str(), error.c_str());
        return false;
    }
    for (std::size_t i = first, end = draws.size(); i < end; ++i) {
        device_draw d = draws[i];
        const IndexImage& image = copy.check.layout.images.at(d.ordinal);
        d.build = static_cast<std::uint16_t>(number + 1);
        d.slot = {static_cast<std::uint32_t>(image.slotStart), image.slotSize};
        d.kind = KIND_CHECK;
        draws.push_back(d);
    }
    builds.push_back(std::move(copy));
    return true;
}

// The first icons and screens of the corpus's theme 0, each RLE4 in a slot of its own.
void addCorpus(int icons, int screens, std::uint16_t buildNumber, std::vector<Build>& builds,
               std::vector<device_draw>& draws) {
    const CorpusShape shape;
    Bytes theme(16, 0);
    std::copy_n("Theme", 5, theme.begin());
    for (const CorpusImage& source : corpusImages(shape, 0)) {
        const bool screen = source.height > 64;
        if ((screen ? screens : icons) == 0) {
            continue;
        }
        --(screen ? screens : icons);
        Picture p{source.width, source.height, {}};
        Bytes blob;
        encodeCorpusImage(source, shape.photoPercent, blob, p.rgb565);
        const theme_slot slot{static_cast<std::uint32_t>(theme.size()),
                              static_cast<std::uint32_t>(blob.size())};
        theme.insert(theme.end(), blob.begin(), blob.end());
        std::vector<device_draw> mine;
        const auto w = static_cast<std::uint32_t>(p.width),
                   h = static_cast<std::uint32_t>(p.height);
        mine.push_back(
            draw(p, w, h, {0, 0, p.width, p.height}, 0, 0, 0, screen ? KIND_SCREEN : KIND_ICON));
        if (!screen) { // over the guard values, as over a wallpaper
            mine.push_back(draw(p, w, h, {0, 0, p.width, p.height}, 0, 0,
                                THEME_COLOR_KEY(commonColour(p)), KIND_KEYED));
        } else {
            mine.push_back(draw(p, w, h, {p.width / 2, p.height / 2, p.width / 2, p.height / 2}, 0,
                                0, 0, KIND_QUARTER));
            mine.push_back(draw(p, w, h, {0, 0, p.width, p.height}, 0, 0, 0, KIND_ROWS));
        }
        for (device_draw& d : mine) {
            d.build = buildNumber;
            d.slot = slot;
            draws.push_back(d);
        }
    }
    const char end[] = "EndOfTheme";
    theme.insert(theme.end(), end, end + 10);
    Build build;
    build.name = "corpus";
    build.themes[0] = std::move(theme);
    builds.push_back(std::move(build));
}

// bytes as 32-bit little-endian words (the last one zero-padded), so that the array is aligned
// as a file in flash is.
void writeWords(std::FILE* out, const std::string& name, const Bytes& bytes) {
    std::fprintf(out, "static const uint32_t %s[] = {", name.c_str());
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t b = 0; b < 4 && i + b < bytes.size(); ++b) {
            word |= static_cast<std::uint32_t>(bytes[i + b]) << (8 * b);
        }
        std::fprintf(out, "%s0x%08x,", i % 32 == 0 ? "\n" : "", word);
    }
    std::fprintf(out, "0};\n");
}

// text as a C string literal, every byte escaped; none as a null pointer.
std::string literal(const char* text) {
    if (text == nullptr) {
        return "0";
    }
    std::string c = "\"";
    for (; *text != '\0'; ++text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\%03o", static_cast<unsigned char>(*text));
        c += escaped;
    }
    return c + "\"";
}

void writeSource(std::FILE* out, const std::vector<Build>& builds,
                 const std::vector<device_draw>& draws) {
    std::fprintf(out, "/* Written by device-cases. */\n#include \"device_cases.h\"\n\n");
    for (std::size_t b = 0; b < builds.size(); ++b) {
        if (!builds[b].index.empty()) {
            writeWords(out, "index" + std::to_string(b), builds[b].index);
        }
        for (const auto& [theme, bytes] : builds[b].themes) {
            writeWords(out, "theme" + std::to_string(b) + "_" + std::to_string(theme), bytes);
        }
    }
    std::fprintf(out, "\nconst device_build device_builds[] = {\n");
    for (std::size_t b = 0; b < builds.size(); ++b) {
        const Build& build = builds[b];
        const std::string index =
            build.index.empty() ? "0" : "(const uint8_t *)index" + std::to_string(b);
        std::fprintf(out, "    {\"%s\", %s, %zuu, 0x%08xu, 0x%08xu, %zuu, {", build.name.c_str(),
                     index.c_str(), build.index.size(), crc32Of(build.index), build.idsCrc32,
                     build.check.layout.images.size());
        std::string themes, sizes;
        for (int theme = 0; theme < 10; ++theme) {
            const auto found = build.themes.find(theme);
            const bool present = found != build.themes.end();
            themes += present ? "(const uint8_t *)theme" + std::to_string(b) + "_" +
                                    std::to_string(theme) + ", "
                              : "0, ";
            sizes += std::to_string(present ? found->second.size() : 0) + "u, ";
        }
        std::fprintf(out, "%s}, {%s}},\n", themes.c_str(), sizes.c_str());
    }
    std::fprintf(out, "};\nconst uint32_t device_build_count = %zuu;\n\n", builds.size());
    std::fprintf(out, "const device_draw device_draws[] = {\n");
    for (const device_draw& d : draws) {
        std::fprintf(out,
                     "    {%u, %u, %uu, %s, %s, {%uu, %uu}, %d, %d, %uu, %uu, {%d, %d, %d, %d}, "
                     "%d, %d, %uu, 0x%08xu, %uu},\n",
                     d.build, d.theme, d.ordinal, literal(d.group).c_str(), literal(d.name).c_str(),
                     d.slot.offset, d.slot.size, d.width, d.height, d.stride, d.rows, d.clip.x,
                     d.clip.y, d.clip.w, d.clip.h, d.x, d.y, d.flags, d.checksum, d.kind);
    }
    std::fprintf(out, "};\nconst uint32_t device_draw_count = %zuu;\n", draws.size());
}

// Odd sizes, rows past the 4095 pixels a run holds (flat ones: repeat runs cut at the length
// field; noisy ones: literal runs cut), every BMP form; variants 3 and 7 replace some images by
// pictures of other sizes.
bool writeTree(const fs::path& root) {
    const auto form = [](std::size_t k) { return kSampleForms[k % kSampleForms.size()].second; };
    std::vector<std::pair<std::string, Bytes>> files = {
        {"0/top.bmp", makeUiLikeBmp(33, 21, 1)},
        {"0/wide/flat.bmp", makeUiLikeBmp(4200, 2, 2)},
        {"0/wide/noisy.bmp", sample(form(0), 4100, 1).first},
        {"3/wide/flat.bmp", makeUiLikeBmp(4096, 3, 3)},
        {"7/top.bmp", makeUiLikeBmp(6, 5, 4)},
    };
    for (std::size_t k = 0; k < kSampleForms.size(); ++k) {
        const int w = 1 + static_cast<int>(k * 5 % 23), h = 1 + static_cast<int>(k * 3 % 7);
        const std::string name = "odd/" + std::string(kSampleForms[k].first) + ".bmp";
        files.emplace_back("0/" + name, sample(form(k), w, h).first);
        if (k % 3 == 1) {
            files.emplace_back("3/" + name, sample(form(k + 1), h + 2, w + 1).first);
        }
    }
    for (const auto& [path, bytes] : files) {
        std::error_code ec;
        fs::create_directories((root / path).parent_path(), ec);
        if (ec || !writeBytesFile((root / path).string(), bytes)) {
            std::fprintf(stderr, "device-cases: cannot write %s\n", (root / path).string().c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-tree") {
        return writeTree(argv[2]) ? 0 : 1;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: device-cases OUT.c [--corpus ICONS SCREENS] NAME=ROOT ...\n"
                             "       device-cases --write-tree ROOT\n");
        return 2;
    }
    std::vector<Build> builds;
    std::vector<device_draw> draws;
    std::mt19937 rng(29);
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto number = static_cast<std::uint16_t>(builds.size());
        if (arg == "--corpus" && i + 2 < argc) {
            addCorpus(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]), number, builds, draws);
            i += 2;
        } else if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            if (!addTree(arg.substr(0, eq), arg.substr(eq + 1), rng, builds, draws)) {
                return 1;
            }
        } else {
            std::fprintf(stderr, "device-cases: what is '%s'?\n", arg.c_str());
            return 2;
        }
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "device-cases: cannot write %s\n", argv[1]);
        return 1;
    }
    writeSource(out, builds, draws);
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "device-cases: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
