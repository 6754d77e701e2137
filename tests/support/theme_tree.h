// Theme trees for the end-to-end tests: UI-like pictures written as BMP files at chosen paths,
// with broken files and plain folders among them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/temp_folder.h"

enum class TreeContent {
    picture,   // makeUiLikeBmp of width, height and seed
    truncated, // that picture cut in the middle of its pixels
    header108, // that picture behind a 108-byte info header
    text,      // a few words, not a bitmap
    folder,    // an empty folder
};

struct TreeFile {
    std::string path; // relative to the root folder
    int width = 1;
    int height = 1;
    std::uint32_t seed = 0;
    TreeContent content = TreeContent::picture;
};

/// The source pixels of file, 0xRRGGBB, top row first.
inline std::vector<std::uint32_t> pixelsOf(const TreeFile& file) {
    return makeUiLikePixels(file.width, file.height, file.seed);
}

inline void writeTree(const TempFolder& root, const std::vector<TreeFile>& files) {
    for (const TreeFile& file : files) {
        std::vector<std::uint8_t> bytes = makeUiLikeBmp(file.width, file.height, file.seed);
        switch (file.content) {
        case TreeContent::picture:
            break;
        case TreeContent::truncated:
            bytes.resize(bytes.size() - bytes.size() / 3);
            break;
        case TreeContent::header108: {
            BmpForm form;
            form.width = file.width;
            form.height = file.height;
            form.infoHeaderSize = 108;
            bytes = makeBmp(form, pixelsOf(file));
            break;
        }
        case TreeContent::text:
            root.writeFile(file.path, "not a bitmap");
            continue;
        case TreeContent::folder:
            root.makeFolder(file.path);
            continue;
        }
        root.writeBytes(file.path, bytes);
    }
}

inline TreeFile textFile(std::string path) {
    return {std::move(path), 1, 1, 0, TreeContent::text};
}

inline TreeFile folderEntry(std::string path) {
    return {std::move(path), 1, 1, 0, TreeContent::folder};
}
