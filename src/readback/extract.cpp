// Output files are written as pending outputs of the platform layer: a new file created
// exclusively beside the final name (so a planted link is never opened) and renamed over it when
// complete, both through the group folder held open, so that whoever may write in the output
// folder cannot swap the group folder for a link meanwhile.
#include "readback/extract.h"

#include <map>
#include <utility>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/pending_output.h"
#include "readback/copy_png.h"
#include "readback/safe_names.h"
#include "readback/text_forms.h"

namespace {

// Where an image's PNG file goes: its group's folder in the output folder, and the file in it.
struct PngFile {
    std::string group;
    std::string name;
    std::string folder; // the group's path
    std::string path;
};

// Opens the group folder inside outDir: made when missing, used when it is a real folder, refused
// when it is a link (which could lead anywhere) or anything else.
bool openGroupFolder(const FolderHandle& outDir, const PngFile& file, FolderHandle& group,
                     std::string& cause) {
    std::string error;
    if (openOwnSubFolder(outDir, file.group, group, error)) {
        return true;
    }
    // What is there now words the refusal; nothing was opened through it.
    switch (entryKind(file.folder)) {
    case PathKind::kLink:
        cause = file.folder + " is a link, which is not followed";
        break;
    case PathKind::kRegular:
    case PathKind::kOther:
        cause = file.folder + " is there and is not a folder";
        break;
    default:
        cause = "cannot create the folder " + file.folder + ": " + error;
    }
    return false;
}

// The PNG files of slots that later images name again, so that each is encoded once (all with one
// colour key, or none), and the pixels still to be written.
struct EncodedSlots {
    using Key = std::pair<std::uint64_t, std::uint32_t>; // where the slot starts, the copy's length
    ColourKey colourKey;
    std::map<Key, std::size_t> usesLeft;
    std::map<Key, ByteBuffer> kept;
    std::uint64_t pixelsLeft = kPixelBudget;
    std::size_t overBudget = 0;
};

PngFile pngFile(const std::string& outDir, const std::string& relative) {
    const std::size_t slash = relative.find('/');
    PngFile file;
    file.group = relative.substr(0, slash);
    file.name = relative.substr(slash + 1);
    file.folder = joinPath(outDir, file.group);
    file.path = joinPath(file.folder, file.name);
    return file;
}

EncodedSlots::Key slotKey(const ScannedBuild& build, int theme, std::size_t k) {
    return {build.check.layout.images[k].slotStart, build.themes[theme].copies[k].encodedSize};
}

// Writes copy k as file, from the PNG data of its slot kept for it or encoded now (and kept when a
// later image names the slot too). A copy beyond the budget is counted, not written.
bool extractImage(const ScannedBuild& build, int theme, std::size_t k, const FolderHandle& outDir,
                  const PngFile& file, EncodedSlots& slots, std::string& cause) {
    const EncodedSlots::Key key = slotKey(build, theme, k);
    const std::size_t usesLeft = --slots.usesLeft[key];
    const std::uint64_t pixels = copyPixelCount(build, theme, k);
    if (pixels > slots.pixelsLeft) {
        ++slots.overBudget;
        return true;
    }
    const auto found = slots.kept.find(key);
    ByteBuffer png;
    if (found == slots.kept.end() && !copyPng(build, theme, k, slots.colourKey, png, cause)) {
        return false;
    }
    slots.pixelsLeft -= pixels;
    const ByteBuffer& bytes = found != slots.kept.end() ? found->second : png;
    FolderHandle group;
    if (!openGroupFolder(outDir, file, group, cause)) {
        return false;
    }
    if (!writeWholeFile(file.name, bytes.data.get(), bytes.size, cause, &group)) {
        cause = file.path + ": cannot write: " + cause;
        return false;
    }
    if (usesLeft == 0 && found != slots.kept.end()) {
        slots.kept.erase(found);
    } else if (usesLeft != 0 && found == slots.kept.end()) {
        slots.kept.emplace(key, std::move(png));
    }
    return true;
}

std::vector<NamedImage> namedImages(const ScannedBuild& build) {
    std::vector<NamedImage> named;
    for (const IndexGroup& group : build.check.layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            named.push_back({group.name, build.check.layout.images[k].name});
        }
    }
    return named;
}

bool openOutFolder(const std::string& outDir, FolderHandle& folder, std::string& error) {
    std::string cause;
    if (!makeFolders(outDir, cause)) {
        error = outDir + ": cannot be made a folder: " + cause;
        return false;
    }
    if (!openFolder(outDir, folder, cause)) {
        error = outDir + ": cannot be opened: " + cause;
        return false;
    }
    return true;
}

} // namespace

bool extractTheme(const ScannedBuild& build, int theme, const std::string& outDir, ColourKey key,
                  const Progress& progress, ExtractReport& report, std::string& error) {
    report = ExtractReport{};
    FolderHandle out;
    if (!openOutFolder(outDir, out, error)) {
        return false;
    }
    const std::vector<NamedImage> named = namedImages(build);
    const std::vector<PngPath> paths = pngPaths(named);
    EncodedSlots slots;
    slots.colourKey = key;
    for (std::size_t k = 0; k < named.size(); ++k) {
        ++slots.usesLeft[slotKey(build, theme, k)];
    }
    for (std::size_t k = 0; k < named.size(); ++k) {
        reportProgress(progress, "extracting", k, named.size());
        const std::string label = displayName(named[k].group) + "/" + displayName(named[k].name);
        const PngFile file = pngFile(outDir, paths[k].path);
        const std::size_t skipped = slots.overBudget;
        std::string cause;
        if (!extractImage(build, theme, k, out, file, slots, cause)) {
            report.failures.push_back(label + ": " + cause);
            continue;
        }
        if (slots.overBudget != skipped) {
            continue;
        }
        ++report.written;
        if (paths[k].renamed) {
            report.renamed.push_back(label + " written as " + file.path);
        }
    }
    if (slots.overBudget != 0) {
        report.failures.push_back(countOf(slots.overBudget, "image") +
                                  " not written: over extract's budget of " +
                                  groupedNumber(kPixelBudget) + " pixels");
    }
    reportProgress(progress, "extracting", named.size(), named.size());
    return true;
}
