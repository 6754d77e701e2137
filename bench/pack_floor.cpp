// The floor a packer is measured against: the least any packer must do with the disk. It opens,
// reads and closes every input file once, and writes files of the sizes the bins have.
//
//   pack_floor INPUTS OUTPUTS
//
// INPUTS names one input file per line; OUTPUTS has one "SIZE PATH" line per file to write.
// Benchmarks run on Linux, so this uses the POSIX calls directly: one read per input file into
// a buffer larger than any of them, and large writes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBufferSize = 8 << 20;

bool readAll(const std::string& path, std::vector<char>& buffer) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ssize_t got = 0;
    while ((got = read(fd, buffer.data(), buffer.size())) == static_cast<ssize_t>(buffer.size())) {
    }
    close(fd);
    return got >= 0;
}

bool writeSized(const std::string& path, unsigned long long size, const std::vector<char>& zeros) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    while (ok && size > 0) {
        const std::size_t chunk =
            size < zeros.size() ? static_cast<std::size_t>(size) : zeros.size();
        ok = write(fd, zeros.data(), chunk) == static_cast<ssize_t>(chunk);
        size -= chunk;
    }
    return close(fd) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pack_floor INPUTS OUTPUTS\n");
        return 2;
    }
    std::vector<char> buffer(kBufferSize);
    std::ifstream inputs(argv[1]);
    for (std::string path; std::getline(inputs, path);) {
        if (!readAll(path, buffer)) {
            std::fprintf(stderr, "pack_floor: cannot read %s\n", path.c_str());
            return 1;
        }
    }
    const std::vector<char> zeros(kBufferSize, 0);
    std::ifstream outputs(argv[2]);
    unsigned long long size = 0;
    for (std::string path; outputs >> size && std::getline(outputs >> std::ws, path);) {
        if (!writeSized(path, size, zeros)) {
            std::fprintf(stderr, "pack_floor: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
