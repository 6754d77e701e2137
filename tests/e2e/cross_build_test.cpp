// The Windows build under Wine beside this build: one random tree, with names in several scripts
// and a folder chain beyond Windows' classic path limit, packed by both gives the same bins to the
// byte, the same exit status and the same console lines (CR LF under Wine); theme-inspect.exe
// extracts the same pictures under the same names; VOX_ZIP.exe -c -9 output of each bin restores
// with gzip. Runs where the Windows build (make windows) and Wine are installed; make test-windows
// runs it after the Windows suite.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <vector>

#include "readback/readback_run.h"

namespace fs = std::filesystem;

namespace {

// Wine as Debian installs it: wine's wrapper, or wine64's loader alone.
std::string wineProgram() {
    for (const char* wine : {"/usr/bin/wine", "/usr/lib/wine/wine64"}) {
        if (fs::exists(wine)) {
            return wine;
        }
    }
    return "";
}

// A random tree with groups and names in several scripts, no two names in one folder that differ in
// letter case alone (Windows cannot hold them), and a chain of folders over 260 characters deep.
std::vector<TreeFile> crossTree(std::uint32_t seed) {
    std::vector<TreeFile> tree = randomTree(
        seed, {"menu", "idle", "ünï", "日本", "Ελληνικά", "a_b", "Z", "0", "x.y", "Straße"},
        {"bg", "arrow", "Icon", "ÇA", "象", "b-1", "_under", "9lives"}, false);
    std::string chain = "0";
    for (int i = 1; i <= 12; ++i) {
        chain += "/folder_" + std::to_string(i) + "-of-a-long-chain";
    }
    tree.emplace_back((chain + "/far.bmp").c_str());
    return tree;
}

TEST(CrossBuildTest, WindowsBuildUnderWinePacksTheSameBytes) {
    const std::string windowsBin = TP_WINDOWS_BIN;
    const std::string wine = wineProgram();
    if (!fs::exists(windowsBin + "/theme-packager.exe") || wine.empty()) {
        GTEST_SKIP() << "needs " << windowsBin << "/theme-packager.exe (make windows) and Wine "
                     << "(scripts/install-deps --windows)";
    }
    setenv("WINEPREFIX", (fs::path(windowsBin).parent_path() / "wineprefix").c_str(), 0);
    setenv("WINEDEBUG", "-all", 0);
    // A new tree each run; TP_CROSS_SEED replays the one a failed run printed.
    const char* given = std::getenv("TP_CROSS_SEED");
    const auto seed =
        given != nullptr ? static_cast<std::uint32_t>(std::stoul(given)) : std::random_device{}();
    std::printf("CrossBuildTest: tree seed %u (TP_CROSS_SEED=%u replays it)\n", seed, seed);
    SCOPED_TRACE("tree seed " + std::to_string(seed));
    const std::vector<TreeFile> tree = crossTree(seed);
    TempFolder linuxRoot;
    TempFolder wineRoot;
    writeTree(linuxRoot, tree);
    writeTree(wineRoot, tree);
    TempFolder alone; // no VOX_ZIP beside the .exe: its bins stay, to be compared as they are
    fs::copy_file(windowsBin + "/theme-packager.exe", alone.path("theme-packager.exe"));

    const ProgramResult onLinux = LonePackager(nullptr).run(linuxRoot);
    const ProgramResult underWine =
        runProgram(wineRoot.path(), {wine, alone.path("theme-packager.exe")});
    EXPECT_EQ(underWine.exitStatus, onLinux.exitStatus) << underWine.err;
    EXPECT_EQ(consoleText(underWine.out, true), onLinux.out);
    const auto packed = snapshot(linuxRoot);
    EXPECT_EQ(snapshot(wineRoot), packed);
    ASSERT_EQ(packed.count("Index.bin"), 1u);

    // theme-inspect.exe extracts theme 0 under the same UTF-8 names as theme-inspect does, and
    // libpng reads the same pictures from the files of either build.
    TempFolder linuxOut;
    TempFolder wineOut;
    const auto extract = [&](std::vector<std::string> program, const TempFolder& out) {
        program.insert(program.end(), {"extract", "--theme", "0", "--out", out.path()});
        const ProgramResult run = runProgram(linuxRoot.path(), program);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        std::map<std::string, std::vector<std::uint8_t>> pictures;
        for (const auto& [path, bytes] : snapshot(out)) {
            const RgbPicture picture = readPng(out.path(path));
            pictures[path + " " + std::to_string(picture.width) + "x" +
                     std::to_string(picture.height)] = picture.rgb;
        }
        return pictures;
    };
    EXPECT_EQ(extract({wine, windowsBin + "/theme-inspect.exe"}, wineOut),
              extract({programPath("theme-inspect")}, linuxOut));

    for (const auto& [bin, bytes] : packed) {
        if (!bin.ends_with(".bin")) {
            continue;
        }
        const ProgramResult zip =
            runProgram(wineRoot.path(), {wine, windowsBin + "/VOX_ZIP.exe", "-c", "-9", bin});
        EXPECT_EQ(zip.exitStatus, 0) << zip.err;
        const ProgramResult gzip = runProgram(wineRoot.path(), {"gzip", "-dc", bin + ".gz"});
        EXPECT_EQ(gzip.exitStatus, 0) << bin << ": " << gzip.err;
        EXPECT_EQ(gzip.out, std::string(bytes.begin(), bytes.end())) << bin;
    }
}

} // namespace
