// The order of a scan: Index.bin first, since its slots bound what each theme may restore to;
// theme 0 next, since the others are compared with it.
#include "readback/build_scan.h"

#include <cstring>

#include "output/bin_format.h"
#include "platform/files.h"

namespace {

// A file that is there but cannot be read stops the scan; one that does not restore or is too
// large is a fault of the build, and loaded stays false.
ScanFailure loadOrNote(BinFile& file, int fileNumber, std::uint64_t limit, BuildCheck& check,
                       bool& loaded, std::string& error) {
    std::string cause;
    loaded = false;
    switch (loadBinFile(file, limit, cause)) {
    case LoadFailure::kNone:
        loaded = true;
        return ScanFailure::kNone;
    case LoadFailure::kMissing:
    case LoadFailure::kUnreadable:
        error = file.path + ": " + cause;
        return ScanFailure::kUnreadable;
    case LoadFailure::kOutOfMemory:
        error = file.path + ": " + cause;
        return ScanFailure::kOutOfMemory;
    case LoadFailure::kTooLarge:
    case LoadFailure::kBadGzip:
        check.faults.push_back({fileNumber, kNoOffset, cause});
        break;
    }
    return ScanFailure::kNone;
}

void compareWithBase(const ScannedBuild& build, ThemeScan& scan) {
    const ThemeScan& base = build.themes[0];
    scan.sameAsBase.assign(scan.copies.size(), false);
    if (!base.read || base.file.bytes.size == 0) {
        return;
    }
    for (std::size_t k = 0; k < scan.copies.size(); ++k) {
        const SlotCopy& ours = scan.copies[k];
        const SlotCopy& theirs = base.copies[k];
        if (ours.state == CopyState::kValid && theirs.state == CopyState::kValid &&
            ours.encodedSize == theirs.encodedSize) {
            const auto a = copyBytes(build, 0, k);
            const auto b = scan.file.bytes.view().subspan(
                static_cast<std::size_t>(build.check.layout.images[k].slotStart), ours.encodedSize);
            scan.sameAsBase[k] = std::memcmp(a.data(), b.data(), b.size()) == 0;
        }
    }
}

ScanFailure scanTheme(int theme, const ScanOptions& options, ScannedBuild& build,
                      std::string& error) {
    ThemeScan& scan = build.themes[theme];
    BuildCheck& check = build.check;
    // A .gz may restore to no more than the index says; a plain file's length is told anyway.
    const std::uint64_t limit =
        check.layout.complete && scan.file.compressed ? check.layout.themeLength : kMaxBinSize;
    const ScanFailure failure = loadOrNote(scan.file, theme, limit, check, scan.read, error);
    if (failure != ScanFailure::kNone || !scan.read) {
        skipTheme(check);
        return failure;
    }
    scan.length = scan.file.bytes.size;
    scan.copies = checkTheme(scan.file.bytes.view(), theme, check);
    if (theme != 0 && options.onlyTheme < 0) {
        compareWithBase(build, scan);
    }
    const bool keep = options.keepBytes || (theme == 0 && options.onlyTheme < 0);
    if (!keep) {
        scan.file.bytes = ByteBuffer{};
    }
    return ScanFailure::kNone;
}

ScanFailure findThemes(const std::string& root, const ScanOptions& options, ScannedBuild& build,
                       std::string& error) {
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        if (options.onlyTheme >= 0 && theme != options.onlyTheme) {
            continue;
        }
        ThemeScan& scan = build.themes[theme];
        scan.present = findBinFile(root, themeBinName(theme), scan.file);
        if (!scan.present && (theme == 0 || theme == options.onlyTheme)) {
            const std::string name = themeBinName(theme);
            error = (root.empty() ? name : joinPath(root, name)) + ": not found, nor " + name +
                    ".gz: theme " + std::to_string(theme) + " is not in this build";
            return ScanFailure::kMissing;
        }
    }
    return ScanFailure::kNone;
}

} // namespace

void reportProgress(const Progress& progress, std::string_view step, std::uint64_t done,
                    std::uint64_t total) {
    if (progress.update != nullptr) {
        progress.update(progress.context, step, done, total);
    }
}

ScanFailure scanBuild(const std::string& root, const ScanOptions& options, const Progress& progress,
                      ScannedBuild& build, std::string& error) {
    build = ScannedBuild{};
    if (!findBinFile(root, kIndexFileName, build.index)) {
        const std::string path = root.empty() ? kIndexFileName : joinPath(root, kIndexFileName);
        error = path + ": not found, nor Index.bin.gz: no build here";
        return ScanFailure::kMissing;
    }
    ScanFailure failure = findThemes(root, options, build, error);
    if (failure != ScanFailure::kNone) {
        return failure;
    }
    std::uint64_t total = 1;
    for (const ThemeScan& scan : build.themes) {
        total += scan.present ? 1u : 0u;
    }
    std::uint64_t done = 0;
    reportProgress(progress, "reading " + build.index.path, done, total);
    bool indexRead = false;
    failure = loadOrNote(build.index, kIndexFile, kMaxIndexSize, build.check, indexRead, error);
    if (failure != ScanFailure::kNone) {
        return failure;
    }
    if (indexRead) {
        checkIndex(build.index.bytes.view(), build.check);
    }
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        if (!build.themes[theme].present) {
            continue;
        }
        reportProgress(progress, "reading " + build.themes[theme].file.path, ++done, total);
        failure = scanTheme(theme, options, build, error);
        if (failure != ScanFailure::kNone) {
            return failure;
        }
    }
    if (options.onlyTheme >= 0) {
        skipTheme(build.check);
    }
    finishCheck(build.check);
    if (!options.keepBytes) {
        build.themes[0].file.bytes = ByteBuffer{};
    }
    reportProgress(progress, "read", total, total);
    return ScanFailure::kNone;
}

std::string faultLine(const ScannedBuild& build, const Fault& fault) {
    const std::string& path =
        fault.file == kIndexFile ? build.index.path : build.themes[fault.file].file.path;
    if (fault.offset == kNoOffset) {
        return path + ": " + fault.rule;
    }
    return path + ": offset " + std::to_string(fault.offset) + ": " + fault.rule;
}

std::span<const std::uint8_t> copyBytes(const ScannedBuild& build, int theme, std::size_t k) {
    const IndexImage& image = build.check.layout.images[k];
    return build.themes[theme].file.bytes.view().subspan(static_cast<std::size_t>(image.slotStart),
                                                         build.themes[theme].copies[k].encodedSize);
}
