// Both forms of the listing come from one pass over the same figures, so they never disagree.
#include "readback/listing.h"

#include <vector>

#include "readback/build_summary.h"
#include "readback/text_forms.h"

namespace {

std::string copyCell(const ScannedBuild& build, int theme, std::size_t k) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    if (copy.state != CopyState::kValid) {
        return copyStateText(copy.state);
    }
    const CopyMark mark = copyMark(build, theme, k);
    if (mark == CopyMark::kSameAsBase) {
        return "= theme 0";
    }
    return groupedNumber(copy.encodedSize) + " B " + dimensions(copy, "x") +
           (mark == CopyMark::kOtherDimensions ? " *" : "");
}

// One table for all groups, so that the columns line up; each group's rows follow its heading.
std::string groupsText(const ScannedBuild& build, const std::vector<int>& themes) {
    const IndexLayout& layout = build.check.layout;
    std::vector<std::vector<std::string>> rows{{"image", "offset", "slot size"}};
    for (const int theme : themes) {
        rows[0].push_back("theme " + std::to_string(theme));
    }
    for (const IndexImage& image : layout.images) {
        const std::size_t k = rows.size() - 1;
        rows.push_back({displayName(image.name), groupedNumber(image.slotStart),
                        groupedNumber(image.slotSize)});
        for (const int theme : themes) {
            rows.back().push_back(copyCell(build, theme, k));
        }
    }
    const std::string table = alignRows(rows, {false, true, true}, "  ");
    std::size_t lineEnd = table.find('\n') + 1;
    std::string out = table.substr(0, lineEnd);
    for (const IndexGroup& group : layout.groups) {
        out +=
            "group " + displayName(group.name) + ": " + countOf(group.imageCount, "image") + "\n";
        for (std::size_t k = 0; k < group.imageCount; ++k) {
            const std::size_t next = table.find('\n', lineEnd) + 1;
            out += table.substr(lineEnd, next - lineEnd);
            lineEnd = next;
        }
    }
    return out;
}

std::string totalsText(const ScannedBuild& build, const std::vector<int>& themes) {
    std::vector<std::vector<std::string>> rows{{"theme", "file", "images", "RGB565", "encoded",
                                                "of RGB565", "bin", "compressed", "of bin"}};
    for (const int theme : themes) {
        const ThemeScan& scan = build.themes[theme];
        const ThemeTotals totals = themeTotals(scan);
        const bool gz = scan.file.compressed;
        rows.push_back({std::to_string(theme), escapeUnsafe(scan.file.path),
                        groupedNumber(totals.images), groupedNumber(totals.rgb565Bytes),
                        groupedNumber(totals.encodedBytes),
                        percent(totals.encodedBytes, totals.rgb565Bytes),
                        groupedNumber(scan.length), gz ? groupedNumber(scan.file.storedSize) : "-",
                        gz ? percent(scan.file.storedSize, scan.length) : "-"});
    }
    return alignRows(rows, {false, false, true, true, true, true, true, true, true}, "");
}

std::string jsonCopy(const ScannedBuild& build, int theme, std::size_t k) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    std::string out = "{\"theme\": " + std::to_string(theme) + ", \"state\": \"" +
                      copyStateText(copy.state) + "\"";
    if (copy.state == CopyState::kValid) {
        out +=
            ", \"encodedSize\": " + std::to_string(copy.encodedSize) +
            ", \"width\": " + std::to_string(copy.header.width) +
            ", \"height\": " + std::to_string(copy.header.height) +
            ", \"crc32\": " + std::to_string(copy.crc32) + ", \"sameAsTheme0\": " +
            (theme == 0 || copyMark(build, theme, k) == CopyMark::kSameAsBase ? "true" : "false");
    } else if (copy.state == CopyState::kInvalid) {
        out += ", \"fault\": " + jsonString(copy.fault);
    }
    return out + "}";
}

std::string jsonName(std::string_view raw) {
    return "\"name\": " + jsonString(raw) + ", \"nameHex\": \"" + hexBytes(raw) + "\"";
}

std::string jsonFile(const BinFile& file, std::uint64_t length) {
    return "\"file\": " + jsonString(file.path) + ", \"length\": " + std::to_string(length) +
           ", \"compressedLength\": " +
           (file.compressed ? std::to_string(file.storedSize) : std::string("null"));
}

std::string jsonGroups(const ScannedBuild& build, const std::vector<int>& themes) {
    const IndexLayout& layout = build.check.layout;
    std::string out = "  \"groups\": [";
    for (std::size_t g = 0; g < layout.groups.size(); ++g) {
        const IndexGroup& group = layout.groups[g];
        out += std::string(g == 0 ? "\n" : ",\n") + "    {" + jsonName(group.name) +
               ", \"groupOffset\": " + std::to_string(group.groupOffset) +
               ", \"dataOffset\": " + std::to_string(group.dataOffset) + ", \"images\": [";
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            const IndexImage& image = layout.images[k];
            out += std::string(k == group.firstImage ? "\n" : ",\n") + "      {" +
                   jsonName(image.name) + ", \"slotOffset\": " + std::to_string(image.slotOffset) +
                   ", \"offset\": " + std::to_string(image.slotStart) +
                   ", \"slotSize\": " + std::to_string(image.slotSize) + ", \"copies\": [";
            for (std::size_t t = 0; t < themes.size(); ++t) {
                out += (t == 0 ? "" : ", ") + jsonCopy(build, themes[t], k);
            }
            out += "]}";
        }
        out += "\n    ]}";
    }
    return out + "\n  ],\n";
}

} // namespace

std::string listText(const ScannedBuild& build) {
    const std::vector<int> themes = readThemes(build);
    const BinFile& index = build.index;
    std::string out = escapeUnsafe(index.path) + ": " + groupedNumber(index.bytes.size) + " bytes" +
                      (index.compressed ? " (" + groupedNumber(index.storedSize) + " compressed)"
                                        : std::string()) +
                      "; " + indexCounts(build) + "\n\n";
    out += groupsText(build, themes);
    out += "\n(offset: of the slot in every Theme.bin; = theme 0: the same bytes as theme 0's "
           "copy; *: other dimensions than theme 0's)\n\n";
    return out + totalsText(build, themes);
}

std::string listJson(const ScannedBuild& build) {
    const std::vector<int> themes = readThemes(build);
    std::string out =
        "{\n  \"index\": {" + jsonFile(build.index, build.index.bytes.size) + "},\n  \"themes\": [";
    for (std::size_t t = 0; t < themes.size(); ++t) {
        const ThemeScan& scan = build.themes[themes[t]];
        const ThemeTotals totals = themeTotals(scan);
        out += std::string(t == 0 ? "\n" : ",\n") + "    {\"theme\": " + std::to_string(themes[t]) +
               ", " + jsonFile(scan.file, scan.length) +
               ", \"images\": " + std::to_string(totals.images) +
               ", \"rgb565Bytes\": " + std::to_string(totals.rgb565Bytes) +
               ", \"encodedBytes\": " + std::to_string(totals.encodedBytes) + "}";
    }
    out += "\n  ],\n" + jsonGroups(build, themes);
    return out + "  \"faults\": " + std::to_string(build.check.faults.size()) + "\n}\n";
}
