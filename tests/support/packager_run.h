// Running the real theme-packager on theme trees built in a temporary folder: the console lines
// it prints, a copy of it that finds only the VOX_ZIP put beside it, and the trees themselves.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "examples/bmp_writer.h"
#include "support/run_program.h"

inline const std::string kBanner = "------------------------------------------------\n"
                                   " ZEPH Theme Resource Packager V0.1 (2008.08.22) \n"
                                   "------------------------------------------------\n";
inline const std::string kCompletion = "All of processing is complented.\n";
inline const std::string kZipCreated = "Success: Zip file is created!!\n";
inline const std::string kZipFailed =
    "Success(1): Bin file is created, but failed to build Zip files\n";
inline const std::string kCannotWrite = "Error: Can't write Bin File\n";
inline const std::string kNotFound =
    "\": could not start 'VOX_ZIP': not found beside this program nor on PATH\n";
inline const std::string kNoFolder =
    "Error: Theme Folder does not exist\n"
    "Error: There are no loaded theme Folder. Can't make Bin File\n";

// The packager runs with a PATH that leads nowhere; the scripts of stand-in tools need one.
inline constexpr char kToolPath[] = "PATH=/usr/bin:/bin\n";

/// A stand-in tool's way to hand its file to the real VOX_ZIP in a background process that starts
/// 2 s after the stand-in has exited 0.
inline std::string handOffLater() {
    return "(sleep 2; exec " + shellQuote(TP_VOX_ZIP_BIN) +
           " \"$@\") </dev/null >/dev/null 2>&1 & exit 0";
}

/// A packager run, with the largest resident set of the processes it started.
struct PackagerRun : ProgramResult {
    long peakKb = -1;
};

// The packager copied into a folder of its own and run with a PATH that leads nowhere, so that it
// finds only the VOX_ZIP put beside it: none, the real one, or a stand-in script that runs tool
// before handing over to the real one. A timeout ends a run that hangs (exit status 124), and
// /usr/bin/time, a small process of its own, measures the run's peak memory.
class LonePackager {
public:
    explicit LonePackager(const char* tool) {
        std::filesystem::copy_file(TP_PACKAGER_BIN, folder_.path("theme-packager"));
        if (tool != nullptr && *tool == '\0') {
            std::filesystem::create_symlink(TP_VOX_ZIP_BIN, folder_.path("VOX_ZIP"));
        } else if (tool != nullptr) {
            folder_.writeFile("VOX_ZIP", "#!/bin/sh\n" + std::string(tool) + "\nexec " +
                                             shellQuote(TP_VOX_ZIP_BIN) + " \"$@\"\n");
            std::filesystem::permissions(folder_.path("VOX_ZIP"),
                                         std::filesystem::perms::owner_all);
        }
    }
    /// Runs the packager in root with arguments; user, when given, is the setpriv command line
    /// that runs it as another user, who may then read the copy.
    PackagerRun run(const TempFolder& root, const std::string& arguments = "",
                    const std::string& user = "") const {
        if (!user.empty()) {
            runShell(folder_.path(), "chmod -R a+rX .");
        }
        TempFolder measure;
        PackagerRun run;
        static_cast<ProgramResult&>(run) =
            runShell(root.path(), "/usr/bin/time -f %M -o " + shellQuote(measure.path("peak")) +
                                      " " + user + " timeout -k 5 60 env PATH=/nonexistent " +
                                      shellQuote(folder_.path("theme-packager")) + " " + arguments);
        const auto peak = measure.readBytes("peak");
        std::string text(peak.begin(), peak.end());
        text.erase(0, text.find_last_of('\n', text.size() - 2) + 1); // after any status line
        run.peakKb = std::strtol(text.c_str(), nullptr, 10);
        return run;
    }

private:
    TempFolder folder_;
};

/// The setpriv command line that runs a program as nobody, or "" when this process is not root
/// (and its permissions hold as they are).
inline std::string asNobody(const TempFolder& root) {
    if (geteuid() != 0) {
        return "";
    }
    runShell(root.path(), "chown -R 65534:65534 .");
    return "setpriv --reuid=65534 --regid=65534 --clear-groups";
}

// A file of a theme tree, written from its path: a path ending in '/' is a folder, a name not
// ending in bmp holds text, width 0 is a BMP cut short, anything else a UI-like picture.
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
        } else if (!f.path.ends_with("bmp")) {
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
