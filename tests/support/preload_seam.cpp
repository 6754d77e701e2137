// Loaded into a program with LD_PRELOAD (Linux), it shows a test what the program asks of the OS
// and acts at the exact point a test wants, as environment variables say:
//   TP_SYNC_LOG=FILE         appends "sync PATH" for each fsync (the descriptor's path) and
//                            "rename FROM TO" for each rename to FILE, in order;
//   TP_AFTER="CALL N stop"   sends the program SIGTERM as its Nth call of CALL (rename,
//                            posix_spawn, mkdirat) returns;
//   TP_AFTER="CALL N swap FOLDER LINK"  then moves FOLDER to FOLDER.moved and puts a link to LINK
//                            in its place instead.
// The programs it starts run without it.
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

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

// Counts the calls of call that have returned, and acts at the one asked for.
void returned(const char* call) {
    static int calls = 0;
    const char* asked = std::getenv("TP_AFTER");
    char name[32], action[8], folder[4096], link[4096];
    int count = 0;
    const int words = asked == nullptr ? 0
                                       : std::sscanf(asked, "%31s %d %7s %4095s %4095s", name,
                                                     &count, action, folder, link);
    if (words < 3 || std::strcmp(name, call) != 0 || ++calls != count) {
        return;
    }
    if (std::strcmp(action, "stop") == 0) {
        kill(getpid(), SIGTERM);
    } else if (words == 5) {
        next<int (*)(const char*, const char*)>("rename")(folder,
                                                          (std::string(folder) + ".moved").c_str());
        symlink(link, folder);
    }
}

__attribute__((constructor)) void leaveChildrenAlone() {
    unsetenv("LD_PRELOAD");
}

} // namespace

extern "C" int fsync(int fd) {
    noteSync(fd);
    return next<int (*)(int)>("fsync")(fd);
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

extern "C" int mkdirat(int folder, const char* path, mode_t mode) {
    const int result = next<int (*)(int, const char*, mode_t)>("mkdirat")(folder, path, mode);
    returned("mkdirat");
    return result;
}
