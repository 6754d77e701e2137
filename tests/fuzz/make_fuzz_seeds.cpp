// Writes the seed inputs of a fuzz target into a folder, at build time: BMP files of every form
// the reader accepts, RLE blobs of every mode from the encoder, and gzip streams of encoded
// images, so that no opaque binary file needs to live in the repository.
//
//   make_fuzz_seeds TARGET FOLDER
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "codec/image_format.h"
#include "codec/rle_encoder.h"
#include "common/name_field.h"
#include "image/image_convert.h"
#include "output/bin_format.h"
#include "output/bin_writer.h"
#include "platform/platform.h"
#include "examples/bmp_writer.h"
#include "vox_zip/gzip_stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Seeds = std::vector<std::pair<std::string, Bytes>>;

// A UI-like picture's values made fit for a form: colour indices below the palette's size, raw
// 16-bit values, or colours with a fourth byte.
std::vector<std::uint32_t> valuesFor(const BmpForm& form, std::uint32_t seed) {
    std::vector<std::uint32_t> values = makeUiLikePixels(form.width, form.height, seed);
    for (std::uint32_t& v : values) {
        if (!form.palette.empty()) {
            v %= static_cast<std::uint32_t>(form.palette.size());
        } else if (form.bitsPerPixel == 16) {
            v = (v >> 8 & 0xFFFF) ^ (v & 0xFF);
        } else if (form.bitsPerPixel == 32) {
            v |= 0x7F000000;
        }
    }
    return values;
}

std::vector<std::uint32_t> palette(std::size_t count) {
    std::vector<std::uint32_t> colours(count);
    for (std::size_t i = 0; i < count; ++i) {
        colours[i] = static_cast<std::uint32_t>(i * 0x2F1D07 + 0x102030) & 0xFFFFFF;
    }
    return colours;
}

Seeds bmpSeeds() {
    const std::vector<std::uint32_t> k555{0x7C00, 0x03E0, 0x001F};
    const std::vector<std::pair<std::string, BmpForm>> forms = {
        {"bgr24", {.width = 13, .height = 7}},
        {"bgr24-top-down", {.width = 9, .height = 5, .topDown = true}},
        {"bgr24-header56-gap", {.width = 6, .height = 4, .infoHeaderSize = 56, .gap = 13}},
        {"bgrx32", {.width = 7, .height = 6, .bitsPerPixel = 32}},
        {"rgb555", {.width = 11, .height = 5, .bitsPerPixel = 16}},
        {"rgb555-short", {.width = 5, .height = 3, .bitsPerPixel = 16, .infoHeaderSize = 12}},
        {"rgb555-masks56",
         {.width = 8,
          .height = 4,
          .bitsPerPixel = 16,
          .infoHeaderSize = 56,
          .compression = 3,
          .masks = k555}},
        {"rgb565-masks-after40",
         {.width = 9,
          .height = 3,
          .bitsPerPixel = 16,
          .compression = 3,
          .masks = {0xF800, 0x07E0, 0x001F}}},
        {"palette1", {.width = 37, .height = 6, .bitsPerPixel = 1, .palette = palette(2)}},
        {"palette4-top-down-used",
         {.width = 15,
          .height = 5,
          .bitsPerPixel = 4,
          .topDown = true,
          .palette = palette(5),
          .coloursUsed = 5}},
        {"palette8", {.width = 21, .height = 9, .bitsPerPixel = 8, .palette = palette(40)}},
        {"palette8-short-gap",
         {.width = 6,
          .height = 6,
          .bitsPerPixel = 8,
          .infoHeaderSize = 12,
          .palette = palette(256),
          .gap = 5}},
        {"ui-48x20", {.width = 48, .height = 20}},
    };
    Seeds seeds;
    for (const auto& [name, form] : forms) {
        seeds.emplace_back(name + ".bmp", makeBmp(form, valuesFor(form, 3)));
    }
    return seeds;
}

Bytes encode(const Bytes& block, int rowMode) {
    const ImageHeader h = readImageHeader(block.data());
    Bytes blob(rleImageSizeBound(h.width, h.height, h.bitsPerPixel, rowMode));
    const int words = encodeRleImage(block.data(), blob.data(), rowMode);
    blob.resize(words < 0 ? 0 : static_cast<std::size_t>(words) * 4);
    return blob;
}

// A flat PRI0 block of 32-bit pixels from a UI-like picture.
Bytes pri0Block32(int width, int height) {
    Bytes block(kImageHeaderSize + 4 * static_cast<std::size_t>(width * height));
    writeImageHeader(block.data(), {kPri0Magic, width, height, 32});
    const std::vector<std::uint32_t> pixels = makeUiLikePixels(width, height, 5);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        storeU32Le(&block[kImageHeaderSize + 4 * i], pixels[i] | 0xFF000000);
    }
    return block;
}

// 64 repeat runs of the longest RLE5 length: a valid blob of 528 bytes that decodes to 4 GiB.
Bytes hugeWordBlob() {
    Bytes blob(kImageHeaderSize + 64 * 8);
    writeImageHeader(blob.data(), {kRle5Magic, 0xFFFFFF, 64, 32});
    for (std::size_t run = 0; run < 64; ++run) {
        storeU32Le(&blob[kImageHeaderSize + 8 * run], run < 63 ? 0x02FFFFFF : 0x0EFFFFFF);
        storeU32Le(&blob[kImageHeaderSize + 8 * run + 4], 0x00FF8800);
    }
    return blob;
}

Seeds rleSeeds() {
    Bytes flat(kImageHeaderSize + 2 * 5000, 0x11);
    writeImageHeader(flat.data(), {kPri0Magic, 5000, 1, 16});
    Bytes noRows(kImageHeaderSize);
    writeImageHeader(noRows.data(), {kPri0Magic, 0, 3, 16});
    return {
        {"rle4-ui", encode(uiLikePri0Block(24, 12, 1), 1)},
        {"rle4-one-row", encode(uiLikePri0Block(40, 1, 2), 1)},
        {"rle4-runs-cut-by-length", encode(flat, 1)},
        {"rle5-rows", encode(pri0Block32(12, 6), 1)},
        {"rle5-words-odd-pixels", encode(uiLikePri0Block(15, 7, 3), 0)},
        {"rle5-words-32", encode(pri0Block32(9, 4), 0)},
        {"header-only", encode(noRows, 1)},
        {"rle5-huge", hugeWordBlob()},
    };
}

bool append(void* context, const std::uint8_t* bytes, std::size_t size, int&) {
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + size);
    return true;
}

Bytes gzip(const Bytes& data, int level) {
    MemoryBytes memory{data};
    Bytes member;
    GzipError error;
    return gzipCompress(memorySource(memory), {&member, append}, level, error) ? member : Bytes{};
}

Bytes join(std::vector<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Seeds gzipSeeds() {
    const Bytes bin = encode(uiLikePri0Block(40, 24, 6), 1);
    const Bytes member = gzip(bin, 9);
    return {
        {"member-level9", member},
        {"member-level1", gzip(bin, 1)},
        {"empty-member", gzip({}, 6)},
        {"two-members", join({gzip(uiLikePri0Block(8, 8, 7), 6), member})},
        {"zero-padded", join({member, Bytes(16, 0)})},
        {"trailing-garbage", join({member, {'j', 'u', 'n', 'k'}})},
    };
}

// A record holding an encoded UI-like picture, as image conversion files it.
std::unique_ptr<ImageRecord> encodedRecord(const char* name, int width, int height,
                                           std::uint32_t seed) {
    const Bytes blob = encode(uiLikePri0Block(width, height, seed), 1);
    auto record = std::make_unique<ImageRecord>();
    record->width = width;
    record->height = height;
    record->dataSize = static_cast<std::uint32_t>(blob.size());
    copyNameField(record->name.data(), kImageNameSize, name);
    std::shared_ptr<std::uint8_t[]> data(new std::uint8_t[blob.size()]);
    std::copy(blob.begin(), blob.end(), data.get());
    record->data = std::move(data);
    return record;
}

// Index.bin and the Theme.bin of themes 0 and 1 as the bin writer makes them, each given as a
// 2-byte little-endian length and its bytes, the framing the verify target reads.
Bytes packedBuild(const std::filesystem::path& root) {
    GroupTables tables;
    ThemeFlags present{};
    for (int theme = 0; theme < 2; ++theme) {
        present[static_cast<std::size_t>(theme)] = 1;
        std::filesystem::create_directories(root / std::to_string(theme));
        tables[static_cast<std::size_t>(theme)] = std::make_unique<ImageGroup>();
        ImageGroup& table = *tables[static_cast<std::size_t>(theme)];
        addImageToGroup(table, "0", encodedRecord("logo.bmp", 12, 9, 1));
        addImageToGroup(table, "menu", encodedRecord("bg.bmp", 20, 6 + 3 * theme, 2 + theme));
        addImageToGroup(table, "menu", encodedRecord("arrow.bmp", 4, 4, 4));
    }
    std::string error;
    if (writeBinFiles(tables, present, root.string(), 1, error) == 0) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.c_str());
        return {};
    }
    Bytes framed;
    for (const std::filesystem::path file :
         {root / kIndexFileName, root / "0" / kThemeFileName, root / "1" / kThemeFileName}) {
        std::uint64_t size = 0;
        std::string cause;
        std::FILE* in = openRegularFile(file.string(), size, cause);
        if (in == nullptr || size > 0xFFFF) {
            return {};
        }
        Bytes bytes(static_cast<std::size_t>(size));
        const bool read = std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
        std::fclose(in);
        if (!read) {
            return {};
        }
        framed.push_back(static_cast<std::uint8_t>(size));
        framed.push_back(static_cast<std::uint8_t>(size >> 8));
        framed.insert(framed.end(), bytes.begin(), bytes.end());
    }
    return framed;
}

Seeds inspectSeeds(const std::filesystem::path& folder) {
    const std::filesystem::path work = folder / "build";
    Bytes build = packedBuild(work);
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    return {{"two-themes", std::move(build)}};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds TARGET FOLDER\n");
        return 2;
    }
    const std::string target = argv[1];
    const std::filesystem::path folder = argv[2];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const Seeds seeds = target == "bmp_round_trip"   ? bmpSeeds()
                        : target == "rle_decode"     ? rleSeeds()
                        : target == "gzip_restore"   ? gzipSeeds()
                        : target == "inspect_verify" ? inspectSeeds(folder)
                                                     : Seeds{};
    if (seeds.empty()) {
        std::fprintf(stderr, "make_fuzz_seeds: no seeds for %s; it starts from an empty input\n",
                     target.c_str());
    }
    for (const auto& [name, bytes] : seeds) {
        const std::string path = (folder / name).string();
        if (bytes.empty() || !writeBytesFile(path, bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot make %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
