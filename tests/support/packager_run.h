// Running the real theme-packager on theme trees built in a temporary folder: the console lines
// it prints, a copy of it that finds only the VOX_ZIP put beside it, and the trees themselves,
// written from a list or at random.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/theme_slots.h"
#include "examples/bmp_writer.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

inline const std::string kBanner = "------------------------------------------------\n"
                                   " ZEPH Theme Resource Packager V0.1 (2008.08.22) \n"
                                   "------------------------------------------------\n";
inline const std::string kCompletion = "All of processing is complented.\n";
inline const std::string kZipCreated = "Success: Zip file is created!!\n";
inline const std::string kZipFailed =
    "Success(1): Bin file is created, but failed to build Zip files\n";
inline const std::string kCannotWrite = "Error: Can't write Bin File\n";
inline const std::string kNotFound = std::string("\": could not start 'VOX_ZIP") + kExeSuffix +
                                     "': not found beside this program nor on PATH\n";
inline const std::string kNoFolder =
    "Error: Theme Folder does not exist\n"
    "Error: There are no loaded theme Folder. Can't make Bin File\n";

// The packager copied into a folder of its own and run with a PATH that leads nowhere, so that it
// finds only the VOX_ZIP put beside it: none (tool null), the real one (tool ""), or the stand-in
// tool following the plan lines in tool before it hands over to the real one. plain: the tools
// built without sanitizers (plainProgramPath), for an address-space limit.
class LonePackager {
public:
    explicit LonePackager(const char* tool, bool plain = false) {
        const auto path = plain ? plainProgramPath : programPath;
        std::filesystem::copy_file(path("theme-packager"),
                                   folder_.path(std::string("theme-packager") + kExeSuffix));
        if (tool != nullptr && *tool == '\0') {
            std::filesystem::copy_file(path("VOX_ZIP"),
                                       folder_.path(std::string("VOX_ZIP") + kExeSuffix));
        } else if (tool != nullptr) {
            writeStandIn(folder_.path(), "VOX_ZIP", "use " + programPath("VOX_ZIP") + "\n" + tool);
        }
    }
    /// Runs the packager in root with arguments; user, when given, is the command that runs it
    /// as another user, who may then read the copy.
    ProgramResult run(const TempFolder& root, const std::vector<std::string>& arguments = {},
                      const std::vector<std::string>& user = {}, bool errToOut = false) const {
        if (!user.empty()) {
            runProgram(folder_.path(), {"chmod", "-R", "a+rX", folder_.path()});
        }
        std::vector<std::string> command = user;
        command.push_back(folder_.path(std::string("theme-packager") + kExeSuffix));
        command.insert(command.end(), arguments.begin(), arguments.end());
        return runProgram(root.path(), command, {.path = "/nonexistent", .errToOut = errToOut});
    }
    /// Starts the packager in root, with limits in options (its PATH leads nowhere).
    StartedProgram start(const TempFolder& root, ProgramOptions options = {}) const {
        options.path = "/nonexistent";
        return startProgram(root.path(), {folder_.path(std::string("theme-packager") + kExeSuffix)},
                            options);
    }

private:
    TempFolder folder_;
};

// A file of a theme tree, written from its path: a path ending in '/' is a folder, a name not
// ending in bmp (in either case) holds text, width 0 is a BMP cut short, anything else a UI-like
// picture.
struct TreeFile {
    TreeFile(const char* name, int w = 6, int h = 5) : path(name), width(w), height(h) {}
    std::string path;
    int width;
    int height;
    std::uint32_t seed() const {
        return static_cast<std::uint32_t>(std::hash<std::string>{}(path));
    }
};

inline void writeTree(const TempFolder& root, const std::vector<TreeFile>& tree) {
    for (const TreeFile& f : tree) {
        if (f.path.back() == '/') {
            root.makeFolder(f.path);
        } else if (!f.path.ends_with("bmp") && !f.path.ends_with("BMP")) {
            root.writeFile(f.path, "not a bitmap");
        } else {
            std::vector<std::uint8_t> bmp = makeUiLikeBmp(std::max(f.width, 6), f.height, f.seed());
            bmp.resize(f.width == 0 ? bmp.size() * 2 / 3 : bmp.size());
            root.writeBytes(f.path, bmp);
        }
    }
}

// Standard error with the root folder, as the packager finds it, written "ROOT".
inline std::string rooted(std::string err, const TempFolder& root) {
    const std::string real = std::filesystem::canonical(root.path()).string();
    for (std::size_t at; (at = err.find(real)) != std::string::npos;) {
        err.replace(at, real.size(), "ROOT");
    }
    return err;
}

// A random tree of a base theme of 20 to 59 images and variants that are there at random, each
// with about a third of the base's paths. Images lie up to three folders deep, in folders named
// from folders, so that one name stands at several depths and files stand between sub-folders:
// groups are filled out of listing order. Their names are drawn from names, with a digit. With
// broken, about one image in 40 is cut short and one variant path in 40 is a folder, so that
// themes stop at different images.
inline std::vector<TreeFile> randomTree(std::uint32_t seed, const std::vector<std::string>& folders,
                                        const std::vector<std::string>& names, bool broken) {
    std::mt19937 rng(seed);
    const auto pick = [&rng](std::size_t count) { return static_cast<std::size_t>(rng() % count); };
    std::vector<std::string> images;
    for (std::size_t i = 0, count = 20 + pick(40); i < count; ++i) {
        std::string path;
        for (std::size_t depth = pick(4); depth > 0; --depth) {
            path += folders[pick(folders.size())] + "/";
        }
        images.push_back(path + names[pick(names.size())] + std::to_string(pick(5)) + ".bmp");
    }
    std::vector<TreeFile> tree;
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        const bool present = theme == 0 || pick(3) == 0;
        for (const std::string& image : images) {
            if (!present || (theme != 0 && pick(3) != 0)) {
                continue;
            }
            const std::string path = std::to_string(theme) + "/" + image;
            const std::size_t kind = broken ? pick(40) : 2;
            if (kind == 0) {
                tree.emplace_back(path.c_str(), 0);
            } else if (kind == 1 && theme != 0) {
                tree.emplace_back((path + "/").c_str());
            } else {
                tree.emplace_back(path.c_str(), 6 + static_cast<int>(pick(90)),
                                  1 + static_cast<int>(pick(40)));
            }
        }
    }
    return tree;
}
