// Folders on POSIX: the current folder, and open folders, opened relative to their parent's
// descriptor and listed through their own, so that a walk never builds a path the OS would have
// to resolve.
#include "platform/files.h"
#include "platform/folders.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path_walk_posix.h"

namespace {

// O_NONBLOCK: should the entry turn out to be a FIFO after all, opening it must not wait.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;

// A failure with errno value err: its text in error, and in machine whether the machine fell short.
bool failed(int err, std::string& error, bool* machine) {
    error = osErrorText(err);
    if (machine != nullptr) {
        *machine = isMachineShortage(err);
    }
    return false;
}

bool adopt(int fd, std::string path, FolderHandle& folder, std::string& error, bool* machine) {
    if (fd < 0) {
        return failed(errno, error, machine);
    }
    folder = FolderHandle();
    folder.value = fd;
    folder.path = std::move(path);
    return true;
}

// d_type says nothing of where a link leads, and some file systems do not fill it in.
bool entryIsFolder(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info;
    return fstatat(dirfd(dir), entry.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : value(std::exchange(other.value, -1)), path(std::move(other.path)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        if (value >= 0) {
            close(static_cast<int>(value));
        }
        value = std::exchange(other.value, -1);
        path = std::move(other.path);
    }
    return *this;
}

FolderHandle::~FolderHandle() {
    if (value >= 0) {
        close(static_cast<int>(value));
    }
}

bool openFolder(const std::string& path, FolderHandle& folder, std::string& error, bool* machine) {
    PathParent parent;
    int err = 0;
    if (!openPathParent(path, parent, err)) {
        return failed(err, error, machine);
    }
    return adopt(openat(parent.folder, parent.leaf.c_str(), kFolderFlags), path, folder, error,
                 machine);
}

bool openSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                   std::string& error, bool* machine) {
    return adopt(openat(static_cast<int>(parent.value), name.c_str(), kFolderFlags),
                 joinPath(parent.path, name), folder, error, machine);
}

bool openOwnSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                      std::string& error) {
    const int at = static_cast<int>(parent.value);
    if (mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST) {
        return failed(errno, error, nullptr);
    }
    // O_NOFOLLOW: a link put there is refused, not followed.
    return adopt(openat(at, name.c_str(), kFolderFlags | O_NOFOLLOW), joinPath(parent.path, name),
                 folder, error, nullptr);
}

bool folderIdentity(const FolderHandle& folder, FolderId& id, std::string& error) {
    struct stat info;
    if (fstat(static_cast<int>(folder.value), &info) != 0) {
        error = osErrorText(errno);
        return false;
    }
    id.device = static_cast<std::uint64_t>(info.st_dev);
    id.inode = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

bool listFolder(const FolderHandle& folder, std::vector<FolderEntry>& entries, std::string& error,
                bool* machine) {
    entries.clear();
    // A descriptor of its own: the listing takes it over and reads from its position, which the
    // handle's own descriptor would share.
    const int fd = openat(static_cast<int>(folder.value), ".", kFolderFlags);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        const int err = errno;
        if (fd >= 0) {
            close(fd);
        }
        return failed(err, error, machine);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            break;
        }
        if (!isDotOrDotDot(entry->d_name)) {
            entries.push_back({entry->d_name, entryIsFolder(dir, *entry), entry->d_type == DT_REG});
        }
    }
    const int err = errno;
    closedir(dir);
    if (err != 0) {
        entries.clear();
        return failed(err, error, machine);
    }
    sortFolderEntries(entries);
    return true;
}

bool getCurrentFolder(std::string& path) {
    std::error_code ec;
    const std::filesystem::path current = std::filesystem::current_path(ec);
    if (ec) {
        path.clear();
        return false;
    }
    path = current.string();
    return true;
}

bool setCurrentFolder(const std::string& path, std::string& error) {
    std::error_code ec;
    std::filesystem::current_path(path, ec);
    if (ec) {
        error = osErrorText(ec.value());
    }
    return !ec;
}

bool canEnterFolder(const std::string& path, std::string& error) {
    PathParent parent;
    int err = 0;
    struct stat info;
    if (!openPathParent(path, parent, err) ||
        (fstatat(parent.folder, parent.leaf.c_str(), &info, 0) != 0 && (err = errno) != 0) ||
        (!S_ISDIR(info.st_mode) && (err = ENOTDIR) != 0) ||
        // Searching a folder is what entering it asks; AT_EACCESS: as this process would.
        (faccessat(parent.folder, parent.leaf.c_str(), X_OK, AT_EACCESS) != 0 &&
         (err = errno) != 0)) {
        error = osErrorText(err);
        return false;
    }
    return true;
}

bool makeFolder(const std::string& path, std::string& error) {
    PathParent parent;
    int err = 0;
    if (!openPathParent(path, parent, err) ||
        (mkdirat(parent.folder, parent.leaf.c_str(), 0777) != 0 && (err = errno) != 0)) {
        error = osErrorText(err);
        return false;
    }
    return true;
}

bool fitsEveryCall(const std::string& path) {
    return path.size() < PATH_MAX;
}
