// A bin's size is that of its restored bytes: what a device holds, whatever the .gz took.
#include "readback/budget_check.h"

#include <algorithm>
#include <numeric>

#include "readback/build_summary.h"
#include "readback/text_forms.h"

namespace {

std::string overBudget(const BinFile& file, std::uint64_t length, std::uint64_t budget) {
    return groupedNumber(length) + " bytes" + (file.compressed ? " restored" : "") +
           ", over the budget of " + groupedNumber(budget) + " by " +
           countOf(length - budget, "byte");
}

// The images whose slots take the most room, largest first; in index order where alike.
std::string largestImages(const ScannedBuild& build) {
    const std::vector<IndexImage>& images = build.check.layout.images;
    std::vector<std::size_t> order(images.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const std::size_t named = std::min(order.size(), kLargestImagesNamed);
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(named),
                      order.end(), [&images](std::size_t a, std::size_t b) {
                          return images[a].slotSize != images[b].slotSize
                                     ? images[a].slotSize > images[b].slotSize
                                     : a < b;
                      });
    std::string out;
    for (std::size_t i = 0; i < named; ++i) {
        out += (i == 0 ? "" : ", ") + imageLabel(build, order[i]) + " " +
               groupedNumber(images[order[i]].slotSize) + " B";
    }
    return out;
}

} // namespace

void checkBudgets(ScannedBuild& build, std::uint64_t maxTheme, std::uint64_t maxIndex) {
    std::vector<Fault>& faults = build.check.faults;
    if (build.index.bytes.size > maxIndex) {
        faults.push_back({kIndexFile, kNoOffset,
                          overBudget(build.index, build.index.bytes.size, maxIndex) +
                              " (it holds " + indexCounts(build) + ")"});
    }
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        const ThemeScan& scan = build.themes[theme];
        if (scan.read && scan.length > maxTheme) {
            faults.push_back({theme, kNoOffset,
                              overBudget(scan.file, scan.length, maxTheme) +
                                  "; the largest images, by their slots: " + largestImages(build)});
        }
    }
}
