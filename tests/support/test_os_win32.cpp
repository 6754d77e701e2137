// What tests need of Windows beyond starting programs; most of what POSIX offers them (FIFOs,
// other users, a file-size limit) Windows has not.
#include "support/test_os.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/run_program.h"
#include "support/temp_folder.h"

bool makeFifo(const std::string&) {
    return false;
}

void setVariable(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}

std::vector<std::string> asNobody(const TempFolder&) {
    return {};
}

void writeFarFile(const TempFolder& root, const std::string& relative,
                  const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path far = "\\\\?\\" + root.path(relative);
    std::filesystem::create_directories(far.parent_path());
    std::ofstream(far, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

bool unwaitedChildExists() {
    return false;
}

FileSizeLimit::FileSizeLimit(std::uint64_t) {}

FileSizeLimit::~FileSizeLimit() = default;
