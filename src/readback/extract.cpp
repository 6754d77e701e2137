// Output files go through vox_zip's PendingOutput: a new file created exclusively beside the
// final name (so a planted link is never opened) and renamed over it when complete.
#include "readback/extract.h"

#include <filesystem>
#include <system_error>

#include "readback/copy_png.h"
#include "readback/safe_names.h"
#include "readback/text_forms.h"
#include "vox_zip/output_file.h"

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

bool extractImage(const ScannedBuild& build, int theme, std::size_t k, const fs::path& file,
                  std::string& cause) {
    ByteBuffer png;
    if (!copyPng(build, theme, k, png, cause) || !prepareGroupFolder(file.parent_path(), cause)) {
        return false;
    }
    if (!writeFile(utf8Text(file), png, cause)) {
        cause = utf8Text(file) + ": " + cause;
        return false;
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
    for (std::size_t k = 0; k < named.size(); ++k) {
        reportProgress(progress, "extracting", k, named.size());
        const std::string label = displayName(named[k].group) + "/" + displayName(named[k].name);
        const fs::path file = utf8Path(outDir) / utf8Path(paths[k].path);
        std::string cause;
        if (!extractImage(build, theme, k, file, cause)) {
            report.failures.push_back(label + ": " + cause);
            continue;
        }
        ++report.written;
        if (paths[k].renamed) {
            report.renamed.push_back(label + " written as " + utf8Text(file));
        }
    }
    reportProgress(progress, "extracting", named.size(), named.size());
    return true;
}
