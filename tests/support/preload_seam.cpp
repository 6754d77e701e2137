// Loaded into a program with LD_PRELOAD (Linux), it shows a test what the program asks of the OS,
// and steers it to the exact point a test wants, each when its environment variable is set:
//   TP_SYNC_LOG=FILE            appends to FILE what the program asks to reach the disk and when:
//                               "sync PATH" for each fsync or fdatasync (the path of the
//                               descriptor) and "rename FROM TO" for each rename, in order,
//                               before doing it;
//   TP_STOP_AFTER="CALL N"      sends the program SIGTERM as its Nth call of CALL (rename or
//                               posix_spawn) returns;
//   TP_SWAP_FOLDER="PATH LINK"  as the program creates its first file (open or openat with
//                               O_CREAT), moves the folder PATH to PATH.moved and puts a link to
//                               LINK in its place: a folder swapped between a check and its use.
// The programs it starts run without it.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <class Function> Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

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

// Counts the calls of call that have returned, and stops the program at the one asked for.
void returned(const char* call) {
    static int calls = 0;
    const char* asked = std::getenv("TP_STOP_AFTER");
    char name[32];
    int count = 0;
    if (asked != nullptr && std::sscanf(asked, "%31s %d", name, &count) == 2 &&
        std::strcmp(name, call) == 0 && ++calls == count) {
        kill(getpid(), SIGTERM);
    }
}

void swapFolderOnce(int flags) {
    static bool swapped = false;
    const char* asked = std::getenv("TP_SWAP_FOLDER");
    char path[4096];
    char link[4096];
    if ((flags & O_CREAT) == 0 || swapped || asked == nullptr ||
        std::sscanf(asked, "%4095s %4095s", path, link) != 2) {
        return;
    }
    swapped = true;
    const std::string moved = std::string(path) + ".moved";
    next<int (*)(const char*, const char*)>("rename")(path, moved.c_str());
    symlink(link, path);
}

mode_t modeOf(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

// Its children run without it.
__attribute__((constructor)) void leaveChildrenAlone() {
    unsetenv("LD_PRELOAD");
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
    const int result = next<int (*)(const char*, const char*)>("rename")(from, to);
    returned("rename");
    return result;
}

extern "C" int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                           const posix_spawnattr_t* attributes, char* const argv[],
                           char* const envp[]) {
    const int result =
        next<decltype(&posix_spawn)>("posix_spawn")(pid, path, actions, attributes, argv, envp);
    returned("posix_spawn");
    return result;
}

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    swapFolderOnce(flags);
    return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    swapFolderOnce(flags);
    return next<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, mode);
}
