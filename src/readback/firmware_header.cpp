#include "readback/firmware_header.h"

#include <cstdio>
#include <set>

#include "gzip/gzip_stream.h"
#include "output/bin_format.h"
#include "platform/pending_output.h"
#include "readback/build_summary.h"
#include "readback/text_forms.h"

namespace {

// text upper-cased, each run of bytes that are not ASCII letters or digits made one '_'.
std::string identifierPart(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum) {
            out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        } else if (out.empty() || out.back() != '_') {
            out += '_';
        }
    }
    return out;
}

std::string withoutTrailingUnderscores(std::string text) {
    text.erase(text.find_last_not_of('_') + 1);
    return text;
}

// A name inside a C comment: printable, and unable to end the comment or open another.
std::string commentText(std::string_view raw) {
    std::string text = displayName(raw);
    for (std::size_t at; (at = text.find("*/")) != std::string::npos ||
                         (at = text.find("/*")) != std::string::npos;) {
        text.replace(at, 2, text[at] == '*' ? "*\\/" : "/\\*");
    }
    return text;
}

// An unsigned C constant.
std::string hex32(std::uint32_t value) {
    return hexNumber(value, 8) + "u";
}

} // namespace

std::uint32_t imageIdsCrc32(std::span<const std::uint8_t> index, const IndexLayout& layout) {
    std::vector<std::uint8_t> names;
    const auto append = [&](std::uint64_t at, std::size_t width) {
        const auto field = index.subspan(static_cast<std::size_t>(at), width);
        names.insert(names.end(), field.begin(), field.end());
    };
    for (const IndexGroup& group : layout.groups) {
        append(group.entryOffset, kGroupNameFieldWidth);
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            append(layout.images[k].entryOffset, kImageNameFieldWidth);
        }
    }
    return crc32Of(names);
}

std::vector<std::string> imageIdentifiers(const ScannedBuild& build) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const IndexGroup& group : build.check.layout.groups) {
        const std::string prefix = "THEME_IMG_" + std::string(group.name) + "_";
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            const std::string base = withoutTrailingUnderscores(
                identifierPart(prefix + std::string(build.check.layout.images[k].name)));
            std::string name = base;
            for (int n = 2; !taken.insert(name).second; ++n) {
                name = base + "_" + std::to_string(n);
            }
            names.push_back(name);
        }
    }
    return names;
}

std::string firmwareHeader(const ScannedBuild& build, const std::string& fileName) {
    const auto index = build.index.bytes.view();
    const IndexLayout& layout = build.check.layout;
    std::string guard = identifierPart(fileName);
    guard = guard.empty() || (guard[0] >= '0' && guard[0] <= '9') ? "THEME_" + guard : guard;
    const std::vector<std::string> names = imageIdentifiers(build);
    const std::vector<NamesAlike> alike = namesAlike(build);
    std::string out =
        "/* The images of a theme build, as theme-inspect header wrote them: the ordinal of each\n"
        " * in index order (theme_index_slot), the Index.bin they were read from\n"
        " * (theme_index_verify), and the CRC-32 of the names the ordinals stand for\n"
        " * (theme_index_check_ids). */\n"
        "#ifndef " +
        guard + "\n#define " + guard + "\n\n" + "#define THEME_IMAGE_COUNT " +
        std::to_string(layout.images.size()) + "u\n" + "#define THEME_INDEX_SIZE " +
        std::to_string(index.size()) + "u\n" + "#define THEME_INDEX_CRC32 " +
        hex32(crc32Of(index)) + "\n#define THEME_IDS_CRC32 " + hex32(imageIdsCrc32(index, layout)) +
        "\n";
    for (const IndexGroup& group : layout.groups) {
        out += "\n/* group " + commentText(group.name) + " */\n";
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            // Which of several images stored alike: theme_index_find finds only the first.
            const std::string which = alike[k].count == 1
                                          ? ""
                                          : " (" + std::to_string(alike[k].nth) + " of " +
                                                std::to_string(alike[k].count) + " stored alike)";
            out += "#define " + names[k] + " " + std::to_string(k) + "u /* " +
                   commentText(layout.images[k].name) + which + " */\n";
        }
    }
    return out + "\n#endif\n";
}

bool writeFirmwareHeader(const ScannedBuild& build, const std::string& outFile,
                         std::string& error) {
    const std::size_t slash = outFile.find_last_of("/\\");
    const std::string text =
        firmwareHeader(build, slash == std::string::npos ? outFile : outFile.substr(slash + 1));
    std::string cause;
    if (!writeWholeFile(outFile, text.data(), text.size(), cause)) {
        error = outFile + ": cannot write: " + cause;
        return false;
    }
    return true;
}
