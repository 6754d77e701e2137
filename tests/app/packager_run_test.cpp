// Runs of the real theme-packager binary on trees that stop before any bin file is written.
#include <gtest/gtest.h>

#include "support/packager_runs.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

const std::string kNoFolder = "Error: Theme Folder does not exist\n"
                              "Error: There are no loaded theme Folder. Can't make Bin File\n";

struct StopCase {
    const char* name;
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::string arguments;
    std::string lines; // what follows the banner, before the completion line
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

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
    const auto before = snapshot(root);

    const ProgramResult run = runProgram(TP_PACKAGER_BIN, root.path(), c.arguments);

    EXPECT_EQ(run.out, kBanner + c.lines + kCompletion);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(snapshot(root), before);
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
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
