// Platform layer: starting and waiting for processes, and where their programs are found.
#include "platform/processes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/run_program.h"
#include "support/temp_folder.h"
#include "support/test_os.h"

namespace fs = std::filesystem;

namespace {

struct ProcessCase {
    const char* commandLine;
    const char* path;  // PATH, with '@' for the test folder and ':' between entries
    int status;        // -1: could not start
    const char* error; // part of the error
    const char* folder = "work";
    const char* notOnWindows = nullptr; // why the case cannot be made on Windows
};

void PrintTo(const ProcessCase& c, std::ostream* out) {
    *out << '"' << c.commandLine << "\" with PATH=" << c.path;
}

class ProcessTest : public ::testing::TestWithParam<ProcessCase> {};

// The test folder is the current folder, and it holds a tp-planted that must never run.
TEST_P(ProcessTest, GivesTheExitStatusOrWhyItCouldNotStart) {
    const ProcessCase& c = GetParam();
    if (kWindows && c.notOnWindows != nullptr) {
        GTEST_SKIP() << c.notOnWindows;
    }
    ASSERT_TRUE(fs::is_regular_file(programPath("packager_tests")));
    TempFolder root;
    writeStandIn(root.path(), "bin/tp-status", "9 exit 9\n7 exit 7\n5 exit 5\nkill killed\n");
    writeStandIn(root.path(), "bin/VOX_ZIP", "* exit 42\n"); // VOX_ZIP beside us comes first
    writeStandIn(root.path(), "bin/tp-plain", "* exit 1\n");
    if (!kWindows) {
        fs::permissions(root.path("bin/tp-plain"), fs::perms::owner_read);
    }
    writeStandIn(root.path(), "b/tp-plain", "* exit 2\n");
    writeStandIn(root.path(), "c/tp-plain", "* exit 3\n");
    root.writeFile(std::string("bin/tp-garbage") + kExeSuffix, "\x01\x02 not a program\n");
    fs::permissions(root.path(std::string("bin/tp-garbage") + kExeSuffix), fs::perms::owner_all);
    writeStandIn(root.path(), "tp-planted", "* exit 99\n");
    writeStandIn(root.path(), "sub/tp-planted", "* exit 99\n");
    root.writeFile("work/Index.bin", "index bytes");
    std::string path = c.path;
    for (char& separator : path) {
        separator = separator == ':' && kWindows ? ';' : separator;
    }
    for (std::size_t at; (at = path.find('@')) != std::string::npos;) {
        path.replace(at, 1, root.path());
    }
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    fs::current_path(root.path());
    setVariable("PATH", path);

    ProcessHandle handle;
    std::string error;
    int status = -1;
    if (startProcess(c.commandLine, root.path(c.folder), handle, error)) {
        EXPECT_TRUE(waitProcess(handle, status, error)) << error;
    } else {
        EXPECT_EQ(handle.value, 0u);
        EXPECT_FALSE(unwaitedChildExists()) << "a failed start left a child behind";
        EXPECT_EQ(error.find("could not start"), 0u) << error;
    }
    setVariable("PATH", oldPath);
    fs::current_path(fs::temp_directory_path());
    EXPECT_EQ(status, c.status) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
}

constexpr char kNoModes[] = "Windows has no execute permission: any regular file may be started";

INSTANTIATE_TEST_SUITE_P(
    Runs, ProcessTest,
    ::testing::Values(
        ProcessCase{"  tp-status\t 9  ", "@/bin", 9, ""},
        ProcessCase{"tp-status.exe 7", "@/bin", 7, ""},
        ProcessCase{"tp-status.EXE 5", "@/bin", 5, ""},
        ProcessCase{"tp-status kill", "@/bin", kWindows ? 1 : 128 + 9, ""},
        ProcessCase{"VOX_ZIP.exe -c -9 Index.bin", "@/bin", 0, ""},
        ProcessCase{"tp-plain", "@/bin:@/b:@/c", 2, "", "work", kNoModes},
        ProcessCase{"tp-plain", "@/bin", -1, "/tp-plain': not executable", "work", kNoModes},
        ProcessCase{"tp-garbage", "@/bin", -1, osText("Exec format error", "Bad EXE format")},
        ProcessCase{"tp-none -c", "@/bin", -1,
                    osText("'tp-none': not found", "'tp-none.exe': not found")},
        ProcessCase{" \t ", "@/bin", -1, "empty command line"},
        ProcessCase{"tp-status 0", "@/bin", -1, "missing' does not exist", "missing"},
        // Empty, "." and relative entries, first, between and last, lead to the
        // current folder and are never searched.
        ProcessCase{"tp-planted", ":.:sub:/usr/bin::/bin:.:", -1, "not found"}));

} // namespace
