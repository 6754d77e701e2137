// Walking a long path one folder at a time.
#include "platform/path_walk_posix.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A folder on the way is only searched, never read: O_PATH needs no read permission, as the
// OS's own path lookup does not.
#ifdef O_PATH
constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

} // namespace

PathParent::~PathParent() {
    if (folder >= 0) {
        close(folder);
    }
}

bool openPathParent(const std::string& path, PathParent& parent, int& err) {
    const std::size_t last = path.find_last_of('/');
    // A single component that long cannot exist; the call made with it says so.
    if (path.size() < PATH_MAX || last == std::string::npos) {
        parent.folder = AT_FDCWD;
        parent.leaf = path;
        return true;
    }
    int at = AT_FDCWD;
    std::size_t begin = 0;
    if (path[0] == '/') {
        at = open("/", kWalkFlags);
        begin = 1;
    }
    for (std::size_t end; at != -1 && (end = path.find('/', begin)) <= last; begin = end + 1) {
        if (end == begin) {
            continue; // "//"
        }
        const int next = openat(at, path.substr(begin, end - begin).c_str(), kWalkFlags);
        const int openErr = errno;
        if (at != AT_FDCWD) {
            close(at);
        }
        at = next;
        errno = openErr;
    }
    if (at == -1) {
        err = errno;
        return false;
    }
    parent.folder = at;
    parent.leaf = path.substr(last + 1);
    return true;
}
