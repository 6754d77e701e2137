// theme-packager, VOX_ZIP and theme-inspect, the real binaries, started by a hostile caller: names
// in their arguments that would act on a terminal, a parent that ignores SIGCHLD, standard output
// or error that nobody reads any more. Each tool shows every such name escaped, and the packager
// ends on its coded path, its compressors followed to their end and its build whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/packager_run.h"

namespace {

namespace fs = std::filesystem;

// A folder name that would clear the screen, set the window's title and start a line of its own;
// "@" in an argument stands for the path of a build in a folder of that name.
const std::string kHostileName = "r\x1b[2J\x1b]0;x\x07\nfake";
const std::string kEscapedName = "r\\x1b[2J\\x1b]0;x\\x07\\x0afake";

struct EscapedCall {
    const char* name;
    const char* tool;
    std::vector<std::string> arguments;
    int status;
};

std::ostream& operator<<(std::ostream& out, const EscapedCall& c) {
    return out << c.name;
}

class HostileNameTest : public ::testing::TestWithParam<EscapedCall> {};

TEST_P(HostileNameTest, ShowsAsItsBytesOnBothStreams) {
    if (kWindows) {
        GTEST_SKIP() << "Windows file names hold no control characters";
    }
    const EscapedCall& c = GetParam();
    TempFolder root;
    writeTree(root, {"0/a.bmp"});
    ASSERT_EQ(LonePackager(nullptr).run(root).exitStatus, 2);
    const std::string build = root.path(kHostileName);
    fs::create_directory(build);
    for (const char* file : {"Index.bin", "0"}) {
        fs::rename(root.path(file), build + "/" + file);
    }
    std::vector<std::string> command = {programPath(c.tool)};
    for (std::string argument : c.arguments) {
        command.push_back(argument.starts_with("@") ? build + argument.substr(1) : argument);
    }
    const ProgramResult run = runProgram(root.path(), command);
    EXPECT_EQ(run.exitStatus, c.status) << run.err;
    const std::string shown = run.out + run.err;
    EXPECT_NE(shown.find(kEscapedName), std::string::npos) << shown;
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
    [](const auto& test) { return std::string(test.param.name); });

struct HostileStart {
    const char* name;
    ProgramOptions options;
    int status;
    std::string errEnd; // how standard error ends, when it can be read
};

std::ostream& operator<<(std::ostream& out, const HostileStart& s) {
    return out << s.name;
}

class HostileStartTest : public ::testing::TestWithParam<HostileStart> {};

// Theme 2's .gz is a folder, so that a line goes to standard error while the other compressors
// run; they are followed to their end, and only theme 2's bin is kept.
TEST_P(HostileStartTest, ThePackagerEndsOnItsCodedPath) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has neither SIGCHLD nor SIGPIPE";
    }
    const HostileStart& s = GetParam();
    TempFolder root;
    writeTree(root, {"0/a.bmp", "2/Theme.bin.gz/x"});
    const LonePackager packager("");
    StartedProgram started = packager.start(root, s.options);
    const ProgramResult run = finishProgram(started);

    EXPECT_EQ(run.exitStatus, s.status) << run.err;
    EXPECT_TRUE(run.err.ends_with(s.errEnd)) << run.err;
    for (const char* bin : {"Index.bin", "0/Theme.bin"}) {
        EXPECT_FALSE(root.exists(bin)) << bin;
        EXPECT_FALSE(gunzip(root.readBytes(std::string(bin) + ".gz")).empty()) << bin;
    }
    EXPECT_TRUE(root.exists("2/Theme.bin"));
    const std::vector<std::string> all = names(root);
    EXPECT_TRUE(std::none_of(all.begin(), all.end(),
                             [](const std::string& name) { return name.ends_with(".tmp"); }));
}

INSTANTIATE_TEST_SUITE_P(
    Starts, HostileStartTest,
    ::testing::Values(HostileStart{"ParentIgnoresChildSignal",
                                   {.childSignalIgnored = true},
                                   2,
                                   "2/Theme.bin is kept and not compressed\n"},
                      HostileStart{
                          "StandardOutputClosed",
                          {.outClosed = true},
                          1,
                          "theme-packager: cannot write to standard output: Broken pipe\n"},
                      HostileStart{"StandardErrorClosed", {.errClosed = true}, 2, ""}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
