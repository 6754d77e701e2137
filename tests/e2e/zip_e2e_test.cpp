// The compression step with real programs: a normal run of the built packager beside the built
// VOX_ZIP, a packager that finds no VOX_ZIP, and one whose VOX_ZIP fails for one file. The first
// and the last wait out the tools' 5-second least wait; as separate tests they run side by side.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "support/packager_runs.h"
#include "support/theme_tree.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<TreeFile> kTree = {
    {"0/icon.bmp", 24, 24, 1}, {"0/menu/bg.bmp", 40, 30, 2}, {"2/menu/bg.bmp", 64, 40, 3}};

// The files below root that kTree did not put there.
std::vector<std::string> outputsIn(const TempFolder& root) {
    std::vector<std::string> outputs;
    for (const auto& [path, bytes] : snapshot(root)) {
        const bool source = std::any_of(kTree.begin(), kTree.end(),
                                        [&](const TreeFile& f) { return f.path == path; });
        if (path.back() != '/' && !source) {
            outputs.push_back(path);
        }
    }
    return outputs;
}

// The bins that the packager writes for kTree, as a lone copy keeps them.
std::map<std::string, Bytes> binsOfTree() {
    TempFolder root;
    writeTree(root, kTree);
    EXPECT_EQ(LonePackager().run(root).exitStatus, 2);
    std::map<std::string, Bytes> bins;
    for (const std::string name : {"Index.bin", "0/Theme.bin", "2/Theme.bin"}) {
        bins[name] = root.readBytes(name);
    }
    return bins;
}

// The content of a gzip file, restored by gzip itself.
Bytes gunzip(const TempFolder& root, const std::string& gz) {
    const ProgramResult run = runShell(root.path(), "gzip -dc " + shellQuote(gz));
    EXPECT_EQ(run.exitStatus, 0) << gz << ": " << run.err;
    return {run.out.begin(), run.out.end()};
}

TEST(ZipStepTest, NormalRunLeavesOnlyTheCompressedBins) {
    TempFolder root;
    writeTree(root, kTree);

    const ProgramResult run = runProgram(TP_PACKAGER_BIN, root.path());

    EXPECT_EQ(run.out, kBanner + kZipCreated + kCompletion);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(outputsIn(root),
              (std::vector<std::string>{"0/Theme.bin.gz", "2/Theme.bin.gz", "Index.bin.gz"}));
    for (const auto& [name, bytes] : binsOfTree()) {
        EXPECT_TRUE(gunzip(root, name + ".gz") == bytes) << name;
    }
}

TEST(ZipStepTest, WithoutToolKeepsTheBinsAndDoesNotWait) {
    TempFolder root;
    writeTree(root, kTree);
    const LonePackager packager;

    const auto start = std::chrono::steady_clock::now();
    const ProgramResult run = packager.run(root);
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(run.out, kBanner + kZipFailed + kCompletion);
    EXPECT_EQ(run.exitStatus, 2);
    const std::string notFound = "\": could not start 'VOX_ZIP': not found beside this program "
                                 "nor on PATH\n";
    EXPECT_EQ(run.err, "theme-packager: cannot run \"VOX_ZIP.exe -c -9 Index.bin" + notFound +
                           "theme-packager: cannot run \"VOX_ZIP -c -9 0/Theme.bin" + notFound +
                           "theme-packager: cannot run \"VOX_ZIP -c -9 2/Theme.bin" + notFound);
    EXPECT_EQ(outputsIn(root),
              (std::vector<std::string>{"0/Theme.bin", "2/Theme.bin", "Index.bin"}));
    // With no tool started there is nothing to give 5 seconds to.
    EXPECT_LT(took, std::chrono::seconds(4));
}

TEST(ZipStepTest, FailingToolKeepsOnlyItsOwnBin) {
    const LonePackager packager;
    const std::string standIn = packager.folder().path("VOX_ZIP");
    packager.folder().writeFile("VOX_ZIP", "#!/bin/sh\n"
                                           "if [ \"$3\" = 2/Theme.bin ]; then\n"
                                           "    echo \"stand-in VOX_ZIP: refusing $3\" >&2\n"
                                           "    exit 3\n"
                                           "fi\n"
                                           "exec " +
                                               shellQuote(TP_VOX_ZIP_BIN) + " \"$@\"\n");
    std::filesystem::permissions(standIn, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    TempFolder root;
    writeTree(root, kTree);

    const ProgramResult run = packager.run(root);

    EXPECT_EQ(run.out, kBanner + kZipFailed + kCompletion);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.err, "stand-in VOX_ZIP: refusing 2/Theme.bin\n"
                       "theme-packager: \"VOX_ZIP -c -9 2/Theme.bin\" failed with exit status 3; "
                       "2/Theme.bin is kept\n");
    ASSERT_EQ(outputsIn(root),
              (std::vector<std::string>{"0/Theme.bin.gz", "2/Theme.bin", "Index.bin.gz"}));
    const auto bins = binsOfTree();
    EXPECT_TRUE(gunzip(root, "Index.bin.gz") == bins.at("Index.bin"));
    EXPECT_TRUE(gunzip(root, "0/Theme.bin.gz") == bins.at("0/Theme.bin"));
    EXPECT_TRUE(root.readBytes("2/Theme.bin") == bins.at("2/Theme.bin"));
}

} // namespace
