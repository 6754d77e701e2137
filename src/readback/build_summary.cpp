// The figures are taken from the scan as it stands: a copy that is not valid counts in no total.
#include "readback/build_summary.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "readback/text_forms.h"

std::vector<int> readThemes(const ScannedBuild& build) {
    std::vector<int> themes;
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        if (build.themes[theme].read) {
            themes.push_back(theme);
        }
    }
    return themes;
}

ThemeTotals themeTotals(const ThemeScan& scan) {
    ThemeTotals totals;
    for (const SlotCopy& copy : scan.copies) {
        if (copy.state == CopyState::kValid) {
            ++totals.images;
            totals.rgb565Bytes += pri0BlockSize(copy.header);
            totals.encodedBytes += copy.encodedSize;
        }
    }
    return totals;
}

std::string percent(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%",
                  100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

const char* copyStateText(CopyState state) {
    switch (state) {
    case CopyState::kValid:
        return "valid";
    case CopyState::kInvalid:
        return "invalid";
    case CopyState::kUnchecked:
        break;
    }
    return "unchecked";
}

CopyMark copyMark(const ScannedBuild& build, int theme, std::size_t k) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    const SlotCopy& base = build.themes[0].copies[k];
    if (theme == 0 || copy.state != CopyState::kValid) {
        return CopyMark::kNone;
    }
    const std::vector<bool>& same = build.themes[theme].sameAsBase;
    if (k < same.size() && same[k]) {
        return CopyMark::kSameAsBase;
    }
    const bool other =
        base.state == CopyState::kValid &&
        (base.header.width != copy.header.width || base.header.height != copy.header.height);
    return other ? CopyMark::kOtherDimensions : CopyMark::kNone;
}

std::string dimensions(const SlotCopy& copy, std::string_view times) {
    return std::to_string(copy.header.width) + std::string(times) +
           std::to_string(copy.header.height);
}

std::string indexCounts(const ScannedBuild& build) {
    const IndexLayout& layout = build.check.layout;
    return countOf(layout.groups.size(), "group") + ", " + countOf(layout.images.size(), "image");
}

const IndexGroup& groupOfImage(const ScannedBuild& build, std::size_t k) {
    const std::vector<IndexGroup>& groups = build.check.layout.groups;
    return *std::find_if(groups.begin(), groups.end(), [k](const IndexGroup& group) {
        return k < group.firstImage + group.imageCount;
    });
}

std::string imageLabel(const ScannedBuild& build, std::size_t k) {
    return displayName(groupOfImage(build, k).name) + "/" +
           displayName(build.check.layout.images[k].name);
}

std::vector<NamesAlike> namesAlike(const ScannedBuild& build) {
    const IndexLayout& layout = build.check.layout;
    std::vector<NamesAlike> alike(layout.images.size());
    std::map<std::pair<std::string_view, std::string_view>, std::vector<std::size_t>> named;
    for (const IndexGroup& group : layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            named[{group.name, layout.images[k].name}].push_back(k);
        }
    }
    for (const auto& [names, images] : named) {
        for (std::size_t i = 0; i < images.size(); ++i) {
            alike[images[i]] = {i + 1, images.size()};
        }
    }
    return alike;
}
