// Runs of the real theme-packager binary on trees that stop before any bin file is written.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

const std::string kBanner = "------------------------------------------------\n"
                            " ZEPH Theme Resource Packager V0.1 (2008.08.22) \n"
                            "------------------------------------------------\n";
const std::string kCompletion = "All of processing is complented.\n";
const std::string kNoFolder = "Error: Theme Folder does not exist\n"
                              "Error: There are no loaded theme Folder. Can't make Bin File\n";

std::vector<std::string> treeOf(const TempFolder& root) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root.path())) {
        files.push_back(std::filesystem::relative(e.path(), root.path()).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct StopCase {
    const char* name;
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::string arguments;
    std::string lines; // what follows the banner, before the completion line
};

class PackagerStopTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(PackagerStopTest, PrintsTheReasonExitsOneAndWritesNothing) {
    const StopCase& c = GetParam();
    TempFolder root;
    for (const auto& folder : c.folders) {
        root.makeFolder(folder);
    }
    for (const auto& file : c.files) {
        root.writeFile(file, "not an image");
    }
    const auto before = treeOf(root);

    const ProgramResult run = runProgram(TP_PACKAGER_BIN, root.path(), c.arguments);

    EXPECT_EQ(run.out, kBanner + c.lines + kCompletion);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(treeOf(root), before);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PackagerStopTest,
    ::testing::Values(StopCase{"EmptyFolder", {}, {}, "", kNoFolder},
                      StopCase{"ArgumentsChangeNothing", {}, {}, "--help -x 0", kNoFolder},
                      StopCase{"PlainFilesNamedLikeThemes", {}, {"0", "5"}, "", kNoFolder},
                      StopCase{"VariantWithoutBaseTheme", {"3"}, {"3/a.bmp"}, "", kNoFolder},
                      StopCase{"BaseThemeWithoutImages",
                               {"0/menu", "2"},
                               {"0/readme.txt", "0/photo.BMP"},
                               "",
                               "Error: There are no BMP images for packing\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
