// What tests need of POSIX beyond starting programs: FIFOs, the environment, another user, paths
// beyond PATH_MAX, children, and the file-size limit.
#include "support/test_os.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

bool makeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0600) == 0;
}

void setVariable(const char* name, const std::string& value) {
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
}

std::vector<std::string> asNobody(const TempFolder& root) {
    if (geteuid() != 0) {
        return {};
    }
    runProgram(root.path(), {"chown", "-R", "65534:65534", root.path()});
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

void writeFarFile(const TempFolder& root, const std::string& relative,
                  const std::vector<std::uint8_t>& bytes) {
    const fs::path target(relative);
    const fs::path saved = fs::current_path();
    fs::current_path(root.path());
    for (const fs::path& folder : target.parent_path()) {
        fs::create_directory(folder);
        fs::current_path(folder);
    }
    std::ofstream(target.filename(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    fs::current_path(saved);
}

bool unwaitedChildExists() {
    return waitpid(-1, nullptr, WNOHANG) != -1;
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    saved_ = limit.rlim_cur;
    limit.rlim_cur = bytes == 0 ? RLIM_INFINITY : bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = saved_;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, savedHandler_);
}
