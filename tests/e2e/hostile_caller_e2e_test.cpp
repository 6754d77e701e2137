// theme-packager, VOX_ZIP and theme-inspect, the real binaries, started by a hostile caller: names
// in their arguments that would act on a terminal, a parent that ignores SIGCHLD, standard output
// or error that nobody reads any more.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/packager_run.h"
#include "support/row_name.h"

namespace {

// A folder name that would clear the screen, set the window's title and start a line of its own.
const std::string kHostileName = "r\x1b[2J\x1b]0;x\x07\nfake";

struct EscapedCall {
    const char* name;
    const char* tool;
    std::vector<std::string> arguments; // "@": the path of a build in a folder of that name
    int status;
};

class HostileNameTest : public ::testing::TestWithParam<EscapedCall> {};

// Every byte that would act on a terminal shows as \xNN, on both streams.
TEST_P(HostileNameTest, ShowsAsItsBytes) {
    if (kWindows) {
        GTEST_SKIP() << "Windows file names hold no control characters";
    }
    const EscapedCall& c = GetParam();
    TempFolder root;
    writeTree(root, {"0/a.bmp"});
    ASSERT_EQ(LonePackager(nullptr).run(root).exitStatus, 2);
    const std::string build = root.path(kHostileName);
    std::filesystem::create_directory(build);
    for (const char* file : {"Index.bin", "0"}) {
        std::filesystem::rename(root.path(file), build + "/" + file);
    }
    std::vector<std::string> command = {programPath(c.tool)};
    for (const std::string& argument : c.arguments) {
        command.push_back(argument.starts_with("@") ? build + argument.substr(1) : argument);
    }
    const ProgramResult run = runProgram(root.path(), command);
    const std::string shown = run.out + run.err;
    EXPECT_EQ(run.exitStatus, c.status) << shown;
    EXPECT_NE(shown.find("r\\x1b[2J\\x1b]0;x\\x07\\x0afake"), std::string::npos) << shown;
    EXPECT_TRUE(std::none_of(shown.begin(), shown.end(), [](char b) {
        return (b >= 0 && b < ' ' && b != '\n') || b == 0x7f;
    })) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Calls, HostileNameTest,
    ::testing::Values(
        EscapedCall{"VoxZipUnknownOption", "VOX_ZIP", {"-" + kHostileName, "a"}, 2},
        EscapedCall{"VoxZipTwoFiles", "VOX_ZIP", {"-c", kHostileName, "b"}, 2},
        EscapedCall{"Verify", "theme-inspect", {"verify", "@"}, 0},
        EscapedCall{"List", "theme-inspect", {"list", "@"}, 0},
        EscapedCall{
            "Extract", "theme-inspect", {"extract", "@", "--theme", "0", "--out", "@/o"}, 0},
        EscapedCall{"Preview", "theme-inspect", {"preview", "@", "--out", "@/p.html"}, 0},
        EscapedCall{"Header", "theme-inspect", {"header", "@", "--out", "@/h.h"}, 0}),
    rowName);

// The packager ends on its coded path, its compressors followed to their end and its build
// whole. Theme 2's .gz is a folder, so that a line goes to standard error while they run.
TEST(HostileStartTest, ThePackagerEndsOnItsCodedPath) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has neither SIGCHLD nor SIGPIPE";
    }
    for (const auto& [options, status, errEnd] :
         {std::tuple<ProgramOptions, int, std::string>{
              {.childSignalIgnored = true}, 2, "2/Theme.bin is kept and not compressed\n"},
          {{.outClosed = true}, 1, "cannot write to standard output: Broken pipe\n"},
          {{.errClosed = true}, 2, ""}}) {
        TempFolder root;
        writeTree(root, {"0/a.bmp", "2/Theme.bin.gz/x"});
        const LonePackager packager("");
        StartedProgram started = packager.start(root, options);
        const ProgramResult run = finishProgram(started);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.exitStatus, status);
        EXPECT_TRUE(run.err.ends_with(errEnd));
        for (const char* bin : {"Index.bin", "0/Theme.bin"}) {
            EXPECT_FALSE(root.exists(bin)) << bin;
            EXPECT_FALSE(gunzip(root.readBytes(std::string(bin) + ".gz")).empty()) << bin;
        }
        EXPECT_TRUE(root.exists("2/Theme.bin"));
        EXPECT_FALSE(anyTemporary(root));
    }
}

} // namespace
