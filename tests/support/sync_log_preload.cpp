// Loaded into a program with LD_PRELOAD (Linux), it appends to the file that TP_SYNC_LOG names
// what the program asks to reach the disk and when: "sync PATH" for each fsync or fdatasync (the
// path of the descriptor) and "rename FROM TO" for each rename, in order, before doing it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

void note(const char* what, const char* first, const char* second) {
    const char* log = std::getenv("TP_SYNC_LOG");
    std::FILE* file = log != nullptr ? std::fopen(log, "a") : nullptr;
    if (file != nullptr) {
        std::fprintf(file, "%s %s%s%s\n", what, first, second ? " " : "", second ? second : "");
        std::fclose(file);
    }
}

void noteSync(int fd) {
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    path[length < 0 ? 0 : length] = '\0';
    note("sync", path, nullptr);
}

template <class Function> Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd) {
    noteSync(fd);
    return next<int (*)(int)>("fsync")(fd);
}

extern "C" int fdatasync(int fd) {
    noteSync(fd);
    return next<int (*)(int)>("fdatasync")(fd);
}

extern "C" int rename(const char* from, const char* to) {
    note("rename", from, to);
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}
