// Images are matched once for the index, then each theme's copies are compared through that
// match: a theme in only one build is told as such, not as every image added or removed.
#include "readback/build_diff.h"

#include <map>
#include <utility>

#include "readback/build_summary.h"
#include "readback/firmware_header.h"

namespace {

// The names of each image, with its place among those stored alike: what matches it across builds.
using ImageKey = std::pair<std::pair<std::string_view, std::string_view>, std::size_t>;

std::vector<ImageKey> imageKeys(const ScannedBuild& build) {
    const IndexLayout& layout = build.check.layout;
    const std::vector<NamesAlike> alike = namesAlike(build);
    std::vector<ImageKey> keys(layout.images.size());
    for (const IndexGroup& group : layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            keys[k] = {{group.name, layout.images[k].name}, alike[k].nth};
        }
    }
    return keys;
}

void matchImages(const ScannedBuild& oldBuild, const ScannedBuild& newBuild, BuildDiff& diff) {
    const std::vector<ImageKey> oldKeys = imageKeys(oldBuild);
    const std::vector<ImageKey> newKeys = imageKeys(newBuild);
    std::map<ImageKey, std::size_t> inNew;
    for (std::size_t k = 0; k < newKeys.size(); ++k) {
        inNew.emplace(newKeys[k], k);
    }
    diff.newOf.assign(oldKeys.size(), kNoImage);
    diff.oldOf.assign(newKeys.size(), kNoImage);
    for (std::size_t j = 0; j < oldKeys.size(); ++j) {
        if (const auto found = inNew.find(oldKeys[j]); found != inNew.end()) {
            diff.newOf[j] = found->second;
            diff.oldOf[found->second] = j;
        }
    }
}

// Order, slots and name counts of the images the index gives.
void compareIndex(const ScannedBuild& oldBuild, const ScannedBuild& newBuild, BuildDiff& diff) {
    std::size_t next = 0; // the images in both, in OLD's order, stand at next or later in NEW
    for (const std::size_t k : diff.newOf) {
        if (k == kNoImage) {
            ++diff.removed;
            continue;
        }
        diff.orderChanged = diff.orderChanged || k < next;
        next = k + 1;
    }
    const auto& oldImages = oldBuild.check.layout.images;
    const auto& newImages = newBuild.check.layout.images;
    for (std::size_t k = 0; k < diff.oldOf.size(); ++k) {
        const std::size_t j = diff.oldOf[k];
        if (j == kNoImage) {
            ++diff.added;
        } else if (oldImages[j].slotStart != newImages[k].slotStart) {
            diff.firstMoved = diff.moved++ == 0 ? k : diff.firstMoved;
        }
    }
    diff.oldIdsCrc32 = imageIdsCrc32(oldBuild.index.bytes.view(), oldBuild.check.layout);
    diff.newIdsCrc32 = imageIdsCrc32(newBuild.index.bytes.view(), newBuild.check.layout);
}

void compareCopies(const ScannedBuild& oldBuild, const ScannedBuild& newBuild,
                   const BuildDiff& diff, ThemeDiff& theme) {
    const std::vector<SlotCopy>& oldCopies = oldBuild.themes[theme.theme].copies;
    const std::vector<SlotCopy>& newCopies = newBuild.themes[theme.theme].copies;
    std::vector<ImageChange> byKind[4];
    const auto note = [&byKind](ImageChangeKind kind, std::size_t j, std::size_t k) {
        byKind[static_cast<std::size_t>(kind)].push_back({kind, j, k});
    };
    for (std::size_t k = 0; k < diff.oldOf.size(); ++k) {
        const std::size_t j = diff.oldOf[k];
        if (j == kNoImage) {
            note(ImageChangeKind::kAdded, j, k);
            continue;
        }
        const SlotCopy& was = oldCopies[j];
        const SlotCopy& is = newCopies[k];
        if (was.header.width != is.header.width || was.header.height != is.header.height) {
            note(ImageChangeKind::kResized, j, k);
        } else if (was.encodedSize != is.encodedSize || was.crc32 != is.crc32) {
            note(ImageChangeKind::kChanged, j, k);
        }
    }
    for (std::size_t j = 0; j < diff.newOf.size(); ++j) {
        if (diff.newOf[j] == kNoImage) {
            note(ImageChangeKind::kRemoved, j, kNoImage);
        }
    }
    for (const std::vector<ImageChange>& changes : byKind) {
        theme.changes.insert(theme.changes.end(), changes.begin(), changes.end());
    }
}

} // namespace

bool BuildDiff::differ() const {
    // Groups alike in their stored names can part their images otherwise: the IDs' CRC tells.
    if (added != 0 || removed != 0 || orderChanged || oldIdsCrc32 != newIdsCrc32) {
        return true;
    }
    for (const ThemeDiff& theme : themes) {
        if (theme.inOld != theme.inNew || !theme.changes.empty()) {
            return true;
        }
    }
    return false;
}

BuildDiff diffBuilds(const ScannedBuild& oldBuild, const ScannedBuild& newBuild) {
    BuildDiff diff;
    matchImages(oldBuild, newBuild, diff);
    compareIndex(oldBuild, newBuild, diff);
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        ThemeDiff themeDiff{theme, oldBuild.themes[theme].read, newBuild.themes[theme].read, {}};
        if (themeDiff.inOld && themeDiff.inNew) {
            compareCopies(oldBuild, newBuild, diff, themeDiff);
        }
        if (themeDiff.inOld || themeDiff.inNew) {
            diff.themes.push_back(std::move(themeDiff));
        }
    }
    return diff;
}
