// Platform layer: starting and waiting for processes, and where their programs are found.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void writeProgram(const TempFolder& root, const std::string& relative, const std::string& body,
                  bool executable = true) {
    root.writeFile(relative, "#!/bin/sh\n" + body + "\n");
    fs::permissions(root.path(relative), executable ? fs::perms::owner_all : fs::perms::owner_read);
}

struct ProcessCase {
    const char* commandLine;
    const char* path;  // PATH, with '@' for the test folder
    int status;        // -1: could not start
    const char* error; // part of the error
    const char* folder = "work";
};

void PrintTo(const ProcessCase& c, std::ostream* out) {
    *out << '"' << c.commandLine << "\" with PATH=" << c.path;
}

class ProcessTest : public ::testing::TestWithParam<ProcessCase> {};

// The test folder is the current folder, and it holds a tp-planted that must never run.
TEST_P(ProcessTest, GivesTheExitStatusOrWhyItCouldNotStart) {
    const ProcessCase& c = GetParam();
    ASSERT_TRUE(fs::equivalent(executableFolder(), fs::path(TP_VOX_ZIP_BIN).parent_path()));
    TempFolder root;
    writeProgram(root, "bin/tp-status", "[ \"$1\" = kill ] && kill -9 $$\nexit \"$1\"");
    writeProgram(root, "bin/VOX_ZIP", "exit 42"); // VOX_ZIP beside us comes first
    writeProgram(root, "bin/tp-plain", "exit 1", false);
    writeProgram(root, "b/tp-plain", "exit 2");
    writeProgram(root, "c/tp-plain", "exit 3");
    root.writeFile("bin/tp-garbage", "\x01\x02 not a program\n");
    fs::permissions(root.path("bin/tp-garbage"), fs::perms::owner_all);
    writeProgram(root, "tp-planted", "exit 99");
    writeProgram(root, "sub/tp-planted", "exit 99");
    root.writeFile("work/Index.bin", "index bytes");
    std::string path = c.path;
    for (std::size_t at; (at = path.find('@')) != std::string::npos;) {
        path.replace(at, 1, root.path());
    }
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ASSERT_TRUE(setCurrentFolder(root.path()));
    setenv("PATH", path.c_str(), 1);

    ProcessHandle handle;
    std::string error;
    int status = -1;
    if (startProcess(c.commandLine, root.path(c.folder), handle, error)) {
        EXPECT_TRUE(waitProcess(handle, status, error)) << error;
    } else {
        EXPECT_EQ(handle.value, 0u);
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a failed start left a child behind";
        EXPECT_EQ(error.find("could not start"), 0u) << error;
    }
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_TRUE(setCurrentFolder(fs::temp_directory_path().string()));
    EXPECT_EQ(status, c.status) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ProcessTest,
    ::testing::Values(ProcessCase{"tp-status 3", "@/bin", 3, ""},
                      ProcessCase{"  tp-status\t 9  ", "@/bin", 9, ""},
                      ProcessCase{"tp-status.exe 7", "@/bin", 7, ""},
                      ProcessCase{"tp-status.EXE 5", "@/bin", 5, ""},
                      ProcessCase{"tp-status kill", "@/bin", 128 + 9, ""},
                      ProcessCase{"VOX_ZIP.exe -c -9 Index.bin", "@/bin", 0, ""},
                      ProcessCase{"tp-plain", "@/bin:@/b:@/c", 2, ""},
                      ProcessCase{"tp-plain", "@/bin", -1, "/tp-plain': not executable"},
                      ProcessCase{"tp-garbage", "@/bin", -1, "Exec format error"},
                      ProcessCase{"tp-none -c", "@/bin", -1, "'tp-none': not found"},
                      ProcessCase{" \t ", "@/bin", -1, "empty command line"},
                      ProcessCase{"tp-status 0", "@/bin", -1, "missing' does not exist", "missing"},
                      // Empty, "." and relative entries, first, between and last, lead to the
                      // current folder and are never searched.
                      ProcessCase{"tp-planted", ":.:sub:/usr/bin::/bin:.:", -1, "not found"}));

} // namespace
