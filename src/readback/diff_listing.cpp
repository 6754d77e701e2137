// Both forms take their figures from the same BuildDiff and scans, so they never disagree.
#include "readback/diff_listing.h"

#include "output/bin_format.h"
#include "readback/build_summary.h"
#include "readback/text_forms.h"

namespace {

const char* const kKindNames[] = {"added", "removed", "changed", "resized"};

const char* kindName(ImageChangeKind kind) {
    return kKindNames[static_cast<std::size_t>(kind)];
}

// Each build's names and the ordinal of each image among those stored alike.
struct Side {
    const ScannedBuild& build;
    std::vector<NamesAlike> alike = namesAlike(build);

    std::string label(std::size_t k) const {
        const std::string nth = alike[k].count > 1 ? " #" + std::to_string(alike[k].nth) : "";
        return imageLabel(build, k) + nth;
    }
};

// "490 -> 538 bytes", and ", compressed 182 -> 190" when either file is a .gz.
std::string sizesText(const BinFile& was, std::uint64_t wasLength, const BinFile& is,
                      std::uint64_t isLength) {
    const auto stored = [](const BinFile& file) {
        return file.compressed ? groupedNumber(file.storedSize) : std::string("-");
    };
    std::string out = groupedNumber(wasLength) + " -> " + groupedNumber(isLength) + " bytes";
    if (was.compressed || is.compressed) {
        out += ", compressed " + stored(was) + " -> " + stored(is);
    }
    return out;
}

std::string copyText(const ScannedBuild& build, int theme, std::size_t k) {
    if (k == kNoImage) {
        return "-";
    }
    const SlotCopy& copy = build.themes[theme].copies[k];
    return groupedNumber(copy.encodedSize) + " B " + dimensions(copy, "x");
}

std::string indexText(const Side& was, const Side& is, const BuildDiff& diff) {
    const ScannedBuild& a = was.build;
    const ScannedBuild& b = is.build;
    std::string out = std::string(kIndexFileName) + ": " +
                      sizesText(a.index, a.index.bytes.size, b.index, b.index.bytes.size) + "; " +
                      indexCounts(a) + " -> " + indexCounts(b) + "\n  names: ";
    if (diff.added != 0 || diff.removed != 0) {
        out += countOf(diff.added, "image") + " added, " + std::to_string(diff.removed) +
               " removed" + (diff.orderChanged ? ", the others in another order" : "");
    } else {
        out += diff.orderChanged ? "the same, in another order" : "the same, in the same order";
    }
    out += diff.oldIdsCrc32 == diff.newIdsCrc32
               ? "; image IDs hold (THEME_IDS_CRC32 " + hexNumber(diff.newIdsCrc32, 8) + ")\n"
               : "; image IDs change (THEME_IDS_CRC32 " + hexNumber(diff.oldIdsCrc32, 8) + " -> " +
                     hexNumber(diff.newIdsCrc32, 8) + ")\n";
    out += diff.moved == 0 ? "  slots: none moved\n"
                           : "  slots: " + std::to_string(diff.moved) + " moved, from " +
                                 is.label(diff.firstMoved) + " on\n";
    return out;
}

std::string themeText(const Side& was, const Side& is, const ThemeDiff& theme) {
    const ThemeScan& a = was.build.themes[theme.theme];
    const ThemeScan& b = is.build.themes[theme.theme];
    const std::string heading = "theme " + std::to_string(theme.theme) + ": ";
    if (theme.inOld != theme.inNew) {
        const ThemeScan& only = theme.inNew ? b : a;
        return heading + "only in " + (theme.inNew ? "NEW" : "OLD") + ": " + only.file.name + ", " +
               groupedNumber(only.length) + " bytes" +
               (only.file.compressed ? " (" + groupedNumber(only.file.storedSize) + " compressed)"
                                     : "") +
               "\n";
    }
    std::string out =
        heading + themeBinName(theme.theme) + ": " + sizesText(a.file, a.length, b.file, b.length);
    if (theme.changes.empty()) {
        return out + "; no image differs\n";
    }
    std::vector<std::vector<std::string>> rows;
    for (const ImageChange& change : theme.changes) {
        rows.push_back(
            {kindName(change.kind),
             change.newImage != kNoImage ? is.label(change.newImage) : was.label(change.oldImage),
             copyText(was.build, theme.theme, change.oldImage),
             copyText(is.build, theme.theme, change.newImage)});
    }
    return out + "\n" + alignRows(rows, {}, "  ");
}

// [old, new], each null where that build has none.
std::string pair(const std::string& was, const std::string& is) {
    return "[" + was + ", " + is + "]";
}

std::string jsonFiles(const BinFile* was, std::uint64_t wasLength, const BinFile* is,
                      std::uint64_t isLength) {
    const auto name = [](const BinFile* f) { return f ? jsonString(f->name) : "null"; };
    const auto length = [](const BinFile* f, std::uint64_t n) {
        return f ? std::to_string(n) : "null";
    };
    const auto stored = [](const BinFile* f) {
        return f && f->compressed ? std::to_string(f->storedSize) : "null";
    };
    return "\"file\": " + pair(name(was), name(is)) +
           ", \"length\": " + pair(length(was, wasLength), length(is, isLength)) +
           ", \"compressedLength\": " + pair(stored(was), stored(is));
}

std::string jsonImage(const Side& side, std::size_t k) {
    const std::string_view group = groupOfImage(side.build, k).name;
    const std::string_view name = side.build.check.layout.images[k].name;
    return "{\"group\": " + jsonString(group) + ", \"groupHex\": \"" + hexBytes(group) +
           "\", \"name\": " + jsonString(name) + ", \"nameHex\": \"" + hexBytes(name) +
           "\", \"nth\": " + std::to_string(side.alike[k].nth) + "}";
}

std::string jsonCopy(const ScannedBuild& build, int theme, std::size_t k) {
    if (k == kNoImage) {
        return "null";
    }
    const SlotCopy& copy = build.themes[theme].copies[k];
    return "{\"encodedSize\": " + std::to_string(copy.encodedSize) +
           ", \"width\": " + std::to_string(copy.header.width) +
           ", \"height\": " + std::to_string(copy.header.height) +
           ", \"crc32\": " + std::to_string(copy.crc32) + "}";
}

std::string jsonIndex(const Side& was, const Side& is, const BuildDiff& diff) {
    const ScannedBuild& a = was.build;
    const ScannedBuild& b = is.build;
    const auto count = [](std::size_t n) { return std::to_string(n); };
    return "  \"index\": {" +
           jsonFiles(&a.index, a.index.bytes.size, &b.index, b.index.bytes.size) +
           ", \"groups\": " +
           pair(count(a.check.layout.groups.size()), count(b.check.layout.groups.size())) +
           ", \"images\": " +
           pair(count(a.check.layout.images.size()), count(b.check.layout.images.size())) +
           ",\n    \"added\": " + std::to_string(diff.added) +
           ", \"removed\": " + std::to_string(diff.removed) +
           ", \"orderChanged\": " + (diff.orderChanged ? "true" : "false") + ", \"idsCrc32\": " +
           pair(std::to_string(diff.oldIdsCrc32), std::to_string(diff.newIdsCrc32)) +
           ", \"moved\": " + std::to_string(diff.moved) +
           ", \"firstMoved\": " + (diff.moved == 0 ? "null" : jsonImage(is, diff.firstMoved)) +
           "},\n";
}

std::string jsonTheme(const Side& was, const Side& is, const ThemeDiff& theme) {
    const ThemeScan& a = was.build.themes[theme.theme];
    const ThemeScan& b = is.build.themes[theme.theme];
    std::string out = "    {\"theme\": " + std::to_string(theme.theme) + ", " +
                      jsonFiles(theme.inOld ? &a.file : nullptr, a.length,
                                theme.inNew ? &b.file : nullptr, b.length) +
                      ", \"images\": [";
    for (std::size_t i = 0; i < theme.changes.size(); ++i) {
        const ImageChange& change = theme.changes[i];
        const std::string image = change.newImage != kNoImage ? jsonImage(is, change.newImage)
                                                              : jsonImage(was, change.oldImage);
        out += std::string(i == 0 ? "\n" : ",\n") + "      {\"change\": \"" +
               kindName(change.kind) + "\", \"image\": " + image + ", \"copies\": " +
               pair(jsonCopy(was.build, theme.theme, change.oldImage),
                    jsonCopy(is.build, theme.theme, change.newImage)) +
               "}";
    }
    return out + (theme.changes.empty() ? "]}" : "\n    ]}");
}

} // namespace

std::string diffText(const ScannedBuild& oldBuild, const ScannedBuild& newBuild,
                     const BuildDiff& diff) {
    const Side was{oldBuild};
    const Side is{newBuild};
    if (!diff.differ()) {
        return "no difference: " + indexCounts(newBuild) + " and " +
               countOf(diff.themes.size(), "theme") +
               ", the same names in the same order, the same bytes in every copy\n";
    }
    std::string out = indexText(was, is, diff);
    for (const ThemeDiff& theme : diff.themes) {
        out += themeText(was, is, theme);
    }
    return out;
}

std::string diffJson(const ScannedBuild& oldBuild, const ScannedBuild& newBuild,
                     const BuildDiff& diff) {
    const Side was{oldBuild};
    const Side is{newBuild};
    std::string out = std::string("{\n  \"differ\": ") + (diff.differ() ? "true" : "false") +
                      ",\n" + jsonIndex(was, is, diff) + "  \"themes\": [";
    for (std::size_t t = 0; t < diff.themes.size(); ++t) {
        out += (t == 0 ? "\n" : ",\n") + jsonTheme(was, is, diff.themes[t]);
    }
    return out + "\n  ]\n}\n";
}
