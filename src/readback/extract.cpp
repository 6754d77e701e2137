// Output files go through vox_zip's PendingOutput: a new file created exclusively beside the
// final name (so a planted link is never opened) and renamed over it when complete.
#include "readback/extract.h"

#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include "platform/pending_output.h"
#include "readback/copy_png.h"
#include "readback/safe_names.h"
#include "readback/text_forms.h"

namespace fs = std::filesystem;

namespace {

// Names here are UTF-8 (as stored in the build and as the command line arrives). A path made from
// a plain string would read them in the ANSI code page on Windows, so paths are made from, and
// turned back into, UTF-8; on POSIX both are the same bytes.
fs::path utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A group folder inside outDir: made when missing, used when it is a real folder, refused when
// it is a link (which could lead anywhere) or anything else.
bool prepareGroupFolder(const fs::path& folder, std::string& cause) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(folder, ec);
    if (status.type() == fs::file_type::not_found) {
        if (fs::create_directory(folder, ec) || fs::is_directory(fs::symlink_status(folder, ec))) {
            return true;
        }
        cause = "cannot create the folder " + utf8Text(folder) + ": " + ec.message();
        return false;
    }
    if (status.type() == fs::file_type::directory) {
        return true;
    }
    cause = utf8Text(folder) + (status.type() == fs::file_type::symlink
                                    ? " is a link, which is not followed"
                                    : " is there and is not a folder");
    return false;
}

bool writeFile(const std::string& path, const ByteBuffer& bytes, std::string& cause) {
    PendingOutput output;
    if (!beginOutput(path, output, cause)) {
        return false;
    }
    if (std::fwrite(bytes.data.get(), 1, bytes.size, output.file) != bytes.size) {
        cause = "cannot write " + path;
        abandonOutput(output);
        return false;
    }
    return commitOutput(output, cause);
}

// The PNG files of slots that later images name again, so that each is encoded once, and the
// pixels still to be written.
struct EncodedSlots {
    using Key = std::pair<std::uint64_t, std::uint32_t>; // where the slot starts, the copy's length
    std::map<Key, std::size_t> usesLeft;
    std::map<Key, ByteBuffer> kept;
    std::uint64_t pixelsLeft = kPixelBudget;
    std::size_t overBudget = 0;
};

EncodedSlots::Key slotKey(const ScannedBuild& build, int theme, std::size_t k) {
    return {build.check.layout.images[k].slotStart, build.themes[theme].copies[k].encodedSize};
}

// Writes copy k as file, from the PNG data of its slot kept for it or encoded now (and kept when a
// later image names the slot too). A copy beyond the budget is counted, not written.
bool extractImage(const ScannedBuild& build, int theme, std::size_t k, const fs::path& file,
                  EncodedSlots& slots, std::string& cause) {
    const EncodedSlots::Key key = slotKey(build, theme, k);
    const std::size_t usesLeft = --slots.usesLeft[key];
    const std::uint64_t pixels = copyPixelCount(build, theme, k);
    if (pixels > slots.pixelsLeft) {
        ++slots.overBudget;
        return true;
    }
    const auto found = slots.kept.find(key);
    ByteBuffer png;
    if (found == slots.kept.end() && !copyPng(build, theme, k, png, cause)) {
        return false;
    }
    slots.pixelsLeft -= pixels;
    const ByteBuffer& bytes = found != slots.kept.end() ? found->second : png;
    if (!prepareGroupFolder(file.parent_path(), cause)) {
        return false;
    }
    if (!writeFile(utf8Text(file), bytes, cause)) {
        cause = utf8Text(file) + ": " + cause;
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
    const auto index = build.index.bytes.view();
    std::vector<NamedImage> named;
    for (const IndexGroup& group : build.check.layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            named.push_back(
                {groupName(index, group), imageName(index, build.check.layout.images[k])});
        }
    }
    return named;
}

bool prepareOutFolder(const std::string& outDir, std::string& error) {
    std::error_code ec;
    fs::create_directories(utf8Path(outDir), ec);
    if (!fs::is_directory(utf8Path(outDir), ec)) {
        error = outDir + ": cannot be made a folder" + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    return true;
}

} // namespace

bool extractTheme(const ScannedBuild& build, int theme, const std::string& outDir,
                  const Progress& progress, ExtractReport& report, std::string& error) {
    report = ExtractReport{};
    if (!prepareOutFolder(outDir, error)) {
        return false;
    }
    const std::vector<NamedImage> named = namedImages(build);
    const std::vector<PngPath> paths = pngPaths(named);
    EncodedSlots slots;
    for (std::size_t k = 0; k < named.size(); ++k) {
        ++slots.usesLeft[slotKey(build, theme, k)];
    }
    for (std::size_t k = 0; k < named.size(); ++k) {
        reportProgress(progress, "extracting", k, named.size());
        const std::string label = displayName(named[k].group) + "/" + displayName(named[k].name);
        const fs::path file = utf8Path(outDir) / utf8Path(paths[k].path);
        const std::size_t skipped = slots.overBudget;
        std::string cause;
        if (!extractImage(build, theme, k, file, slots, cause)) {
            report.failures.push_back(label + ": " + cause);
            continue;
        }
        if (slots.overBudget != skipped) {
            continue;
        }
        ++report.written;
        if (paths[k].renamed) {
            report.renamed.push_back(label + " written as " + utf8Text(file));
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
