// Platform layer: starting and waiting for processes, and where their programs are found.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// Sets PATH for one test and puts the old one back.
class PathOverride {
public:
    explicit PathOverride(const std::string& path) {
        const char* old = std::getenv("PATH");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride() { had_ ? setenv("PATH", old_.c_str(), 1) : unsetenv("PATH"); }

private:
    bool had_ = false;
    std::string old_;
};

void writeProgram(const TempFolder& root, const std::string& relative, const std::string& body,
                  bool executable = true) {
    root.writeFile(relative, "#!/bin/sh\n" + body + "\n");
    fs::permissions(root.path(relative), executable
                                             ? fs::perms::owner_all
                                             : fs::perms::owner_read | fs::perms::owner_write);
}

// Starts commandLine in folder and waits; returns the exit status, or -1 when it did not start.
int run(const std::string& commandLine, const std::string& folder, std::string& error) {
    ProcessHandle handle;
    if (!startProcess(commandLine, folder, handle, error)) {
        EXPECT_EQ(handle.value, 0u);
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a failed start left a child behind";
        return -1;
    }
    int status = -1;
    EXPECT_TRUE(waitProcess(handle, status, error)) << error;
    return status;
}

struct StatusCase {
    const char* commandLine;
    int status;
};

class ProcessStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ProcessStatusTest, ReportsTheExitStatus) {
    TempFolder root;
    writeProgram(root, "bin/tp-status", "[ \"$1\" = kill ] && kill -9 $$\nexit \"$1\"");
    PathOverride path(root.path("bin") + ":/usr/bin:/bin");
    std::string error;
    EXPECT_EQ(run(GetParam().commandLine, root.path(), error), GetParam().status) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ProcessStatusTest,
    ::testing::Values(StatusCase{"tp-status 0", 0}, StatusCase{"tp-status 3", 3},
                      StatusCase{"  tp-status\t 9  ", 9}, StatusCase{"tp-status.exe 7", 7},
                      StatusCase{"tp-status.EXE 5", 5}, StatusCase{"tp-status kill", 128 + 9}));

struct StartFailure {
    const char* commandLine;
    const char* workingFolder; // relative to the test folder
    const char* cause;
};

class ProcessStartFailureTest : public ::testing::TestWithParam<StartFailure> {};

TEST_P(ProcessStartFailureTest, IsToldApartFromAnExitStatus) {
    TempFolder root;
    root.makeFolder("work");
    writeProgram(root, "bin/tp-plain", "exit 0", false);
    root.writeFile("bin/tp-garbage", "\x01\x02 not a program\n");
    fs::permissions(root.path("bin/tp-garbage"), fs::perms::owner_all);
    writeProgram(root, "bin/tp-fine", "exit 0");
    PathOverride path(root.path("bin"));
    std::string error;
    EXPECT_EQ(run(GetParam().commandLine, root.path(GetParam().workingFolder), error), -1);
    EXPECT_NE(error.find("could not start"), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().cause), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ProcessStartFailureTest,
    ::testing::Values(StartFailure{"tp-no-such-program -c", "work",
                                   "'tp-no-such-program': not found"},
                      StartFailure{" \t ", "work", "empty command line"},
                      StartFailure{"tp-plain", "work", "tp-plain': not executable"},
                      StartFailure{"tp-garbage", "work", "Exec format error"},
                      StartFailure{"tp-fine", "missing", "missing' does not exist"}));

// A program planted in the current folder must never run, whatever PATH says.
class CurrentFolderTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CurrentFolderTest, IsNeverSearched) {
    TempFolder root;
    writeProgram(root, "tp-planted", "touch planted-ran");
    writeProgram(root, "sub/tp-planted", "touch planted-ran");
    std::string before;
    ASSERT_TRUE(getCurrentFolder(before));
    ASSERT_TRUE(setCurrentFolder(root.path()));
    PathOverride path(GetParam());
    std::string error;
    const int status = run("tp-planted", root.path(), error);
    ASSERT_TRUE(setCurrentFolder(before));
    EXPECT_EQ(status, -1);
    EXPECT_NE(error.find("not found"), std::string::npos) << error;
    EXPECT_FALSE(root.exists("planted-ran"));
}

INSTANTIATE_TEST_SUITE_P(PathForms, CurrentFolderTest,
                         ::testing::Values("", ".", ":/usr/bin", "/usr/bin:", "/usr/bin::/bin",
                                           "./", "sub", "/usr/bin:."));

TEST(ProcessTest, PathIsSearchedInOrderSkippingWhatCannotRun) {
    TempFolder root;
    writeProgram(root, "a/tp-which", "exit 1", false);
    writeProgram(root, "b/tp-which", "exit 2");
    writeProgram(root, "c/tp-which", "exit 3");
    PathOverride path(root.path("a") + ":" + root.path("b") + ":" + root.path("c"));
    std::string error;
    EXPECT_EQ(run("tp-which", root.path(), error), 2) << error;
}

// The packager's own command line: VOX_ZIP beside us wins over one on PATH, in the given folder.
TEST(ProcessTest, OwnFolderComesBeforePathAndWorkingFolderIsHonoured) {
    ASSERT_TRUE(fs::equivalent(executableFolder(), fs::path(TP_VOX_ZIP_BIN).parent_path()));
    TempFolder root;
    writeProgram(root, "bin/VOX_ZIP", "touch impostor-ran; exit 42");
    root.writeFile("work/Index.bin", "index bytes");
    PathOverride path(root.path("bin"));
    std::string error;
    EXPECT_EQ(run("VOX_ZIP.exe -c -9 Index.bin", root.path("work"), error), 0) << error;
    EXPECT_TRUE(root.exists("work/Index.bin.gz"));
    EXPECT_FALSE(root.exists("work/impostor-ran"));
}

TEST(ProcessTest, WaitingForNoProcessFails) {
    int status = 0;
    std::string error;
    EXPECT_FALSE(waitProcess(ProcessHandle{}, status, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
