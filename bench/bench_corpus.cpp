// Writing the benchmark trees. Variant n replaces the images whose index falls in its own 30%
// band, so that every variant overrides a different set and each has its own files.
#include "bench_corpus.h"

#include <cstdio>
#include <filesystem>

#include "codec/rle_encoder.h"
#include "examples/bmp_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kIconFolders = 20;

bool overriddenBy(int theme, int index) {
    return theme == 0 || (index + 3 * theme) % 10 < 3;
}

std::string shapeText(const CorpusShape& shape) {
    return std::to_string(shape.themes) + " themes, " + std::to_string(shape.icons) + " icons, " +
           std::to_string(shape.screens) + " screens, photo " + std::to_string(shape.photoPercent) +
           "%\n";
}

} // namespace

std::vector<CorpusImage> corpusImages(const CorpusShape& shape, int theme) {
    const std::string folder = std::to_string(theme) + "/";
    const int perFolder = (shape.icons + kIconFolders - 1) / kIconFolders;
    const auto seed = [theme](int index) {
        return static_cast<std::uint32_t>(index + 7919 * theme);
    };
    std::vector<CorpusImage> images;
    for (int i = 0; i < shape.icons; ++i) {
        if (overriddenBy(theme, i)) {
            char name[32];
            std::snprintf(name, sizeof name, "icon_%04d.bmp", i % perFolder);
            images.push_back(
                {folder + "group_" + std::to_string(i / perFolder) + "/" + name, 64, 64, seed(i)});
        }
    }
    for (int s = 0; s < shape.screens; ++s) {
        const int index = shape.icons + s;
        if (overriddenBy(theme, index)) {
            images.push_back(
                {folder + "screens/screen_" + std::to_string(s) + ".bmp", 480, 800, seed(index)});
        }
    }
    return images;
}

namespace {

bool writeTheme(const fs::path& root, const CorpusShape& shape, int theme, std::string& error) {
    for (const CorpusImage& image : corpusImages(shape, theme)) {
        const fs::path file = root / image.path;
        std::error_code ec;
        fs::create_directories(file.parent_path(), ec);
        if (ec || !writeBytesFile(file.string(), makeUiLikeBmp(image.width, image.height,
                                                               image.seed, shape.photoPercent))) {
            error = "cannot write " + file.string();
            return false;
        }
    }
    return true;
}

} // namespace

bool ensureCorpus(const std::string& rootPath, const CorpusShape& shape, std::string& error) {
    const fs::path root = rootPath;
    const fs::path marker = root / "corpus-complete";
    const std::string wanted = shapeText(shape);
    if (std::FILE* in = std::fopen(marker.string().c_str(), "rb")) {
        char text[128] = {};
        const std::size_t got = std::fread(text, 1, sizeof text - 1, in);
        std::fclose(in);
        if (std::string(text, got) == wanted) {
            return true;
        }
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    std::printf("writing the corpus (%s) in %s ...\n", wanted.substr(0, wanted.size() - 1).c_str(),
                rootPath.c_str());
    for (int theme = 0; theme < shape.themes; ++theme) {
        if (!writeTheme(root, shape, theme, error)) {
            return false;
        }
    }
    if (!writeBytesFile(marker.string(), {wanted.begin(), wanted.end()})) {
        error = "cannot write " + marker.string();
        return false;
    }
    return true;
}

void encodeCorpusImage(const CorpusImage& image, int photoPercent, std::vector<std::uint8_t>& blob,
                       std::vector<std::uint8_t>& rgb565) {
    rgb565 = uiLikePri0Block(image.width, image.height, image.seed, photoPercent);
    blob.resize(rleImageSizeBound(image.width, image.height, 16, RunMode::kRows));
    blob.resize(
        4 * static_cast<std::size_t>(encodeRleImage(rgb565.data(), blob.data(), RunMode::kRows)));
    rgb565.erase(rgb565.begin(), rgb565.begin() + 16);
}
