// Files on POSIX. Reading never blocks: a file is opened non-blocking and looked at through its
// descriptor, so that what is checked is what is read; paths may be longer than the OS limit.
// Temporary files are created exclusively, so that a name picked here can never lead into
// someone else's file.
#include "platform/files.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <climits>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/path_walk_posix.h"
#include "platform/stop_cleanly.h"
#include "platform/temp_name.h"

bool openInputFile(const std::string& path, InputFile& file, std::uint64_t& size,
                   std::string& error, bool* machine) {
    closeInputFile(file);
    size = 0;
    const auto fail = [&](int cause) {
        closeInputFile(file);
        error = osErrorText(cause);
        if (machine != nullptr) {
            *machine = isMachineShortage(cause);
        }
        return false;
    };
    PathParent parent;
    int err = 0;
    if (!openPathParent(path, parent, err)) {
        return fail(err);
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = openat(parent.folder, parent.leaf.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(errno);
    }
    file.value = fd;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        return fail(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        closeInputFile(file);
        error = S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file";
        if (machine != nullptr) {
            *machine = false;
        }
        return false;
    }
    // O_NONBLOCK stays: it changes nothing for a regular file ("no effect for regular files",
    // open(2)), and clearing it would cost two calls per file.
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool readInputFile(InputFile& file, std::uint8_t* bytes, std::size_t size, std::size_t& got,
                   std::string& error, bool* machine) {
    got = 0;
    while (got < size) {
        const ssize_t read = ::read(static_cast<int>(file.value), bytes + got, size - got);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            error = osErrorText(errno);
            if (machine != nullptr) {
                *machine = isMachineShortage(errno);
            }
            return false;
        }
        if (read == 0) {
            break;
        }
        got += static_cast<std::size_t>(read);
    }
    return true;
}

bool seekInputFile(InputFile& file, std::uint64_t offset, std::string& error) {
    errno = 0;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
        lseek(static_cast<int>(file.value), static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = osErrorText(errno != 0 ? errno : EOVERFLOW);
        return false;
    }
    return true;
}

void closeInputFile(InputFile& file) {
    if (file.value >= 0) {
        close(static_cast<int>(file.value));
        file.value = -1;
    }
}

InputFile::~InputFile() {
    closeInputFile(*this);
}

bool mayReadFile(const std::string& path, std::string& error) {
    PathParent parent;
    int err = 0;
    if (!openPathParent(path, parent, err) ||
        faccessat(parent.folder, parent.leaf.c_str(), R_OK, AT_EACCESS) != 0) {
        error = osErrorText(err != 0 ? err : errno);
        return false;
    }
    return true;
}

std::FILE* openRegularFile(const std::string& path, std::uint64_t& size, std::string& error,
                           bool* machine) {
    InputFile input;
    if (!openInputFile(path, input, size, error, machine)) {
        return nullptr;
    }
    std::FILE* file = fdopen(static_cast<int>(input.value), "rb");
    if (file == nullptr) {
        error = osErrorText(errno);
        if (machine != nullptr) {
            *machine = isMachineShortage(errno);
        }
        size = 0;
        return nullptr;
    }
    input.value = -1; // the stream owns it now
    return file;
}

namespace {

// The folder that in names, for the *at calls: the current folder without one.
int folderOf(const FolderHandle* in) {
    return in != nullptr ? static_cast<int>(in->value) : AT_FDCWD;
}

// The path that names name of folder in for the cleanup of a stopped run.
std::string notedPath(const std::string& name, const FolderHandle* in) {
    return in != nullptr ? joinPath(in->path, name) : name;
}

} // namespace

std::FILE* createTempFile(const std::string& finalPath, std::string& tempPath, std::string& error,
                          bool ownerOnly, const FolderHandle* in) {
    int err = 0;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = tempFileName(finalPath);
        // Noted before it exists, so that a signal that comes once it does finds it.
        const std::string noted = notedPath(tempPath, in);
        noteTempFile(noted);
        // O_EXCL: an existing entry of that name, even a dangling link, makes the call fail.
        const int fd = openat(folderOf(in), tempPath.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
        if (fd < 0) {
            err = errno;
            forgetTempFile(noted);
            if (err == EEXIST) {
                continue;
            }
            break;
        }
        std::FILE* file = fdopen(fd, "wb");
        if (file != nullptr) {
            return file;
        }
        err = errno;
        close(fd);
        unlinkat(folderOf(in), tempPath.c_str(), 0);
        forgetTempFile(noted);
        break;
    }
    tempPath.clear();
    error = osErrorText(err);
    return nullptr;
}

namespace {

// What path names; flags: 0 follows a link at its end, AT_SYMLINK_NOFOLLOW looks at the link.
PathKind kindAt(const std::string& path, int flags, std::string* why) {
    if (why != nullptr) {
        why->clear();
    }
    PathParent parent;
    int err = 0;
    struct stat info;
    if (!openPathParent(path, parent, err) ||
        fstatat(parent.folder, parent.leaf.c_str(), &info, flags) != 0) {
        err = err != 0 ? err : errno;
        // A folder on the way that is missing or no folder leaves nothing at path.
        if (err == ENOENT || err == ENOTDIR) {
            return PathKind::kMissing;
        }
        if (why != nullptr) {
            *why = osErrorText(err);
        }
        return PathKind::kOther;
    }
    if (S_ISREG(info.st_mode)) {
        return PathKind::kRegular;
    }
    if (S_ISLNK(info.st_mode)) {
        return PathKind::kLink;
    }
    return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

} // namespace

PathKind pathKind(const std::string& path, std::string* why) {
    return kindAt(path, 0, why);
}

PathKind entryKind(const std::string& path, std::string* why) {
    return kindAt(path, AT_SYMLINK_NOFOLLOW, why);
}

bool writePieces(std::FILE* file, std::span<const BytePiece> pieces, std::string& error) {
    if (std::fflush(file) != 0) {
        error = osErrorText(errno);
        return false;
    }
    const int fd = fileno(file);
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size() < IOV_MAX ? pieces.size() : IOV_MAX);
    std::size_t next = 0;   // the first piece not yet written whole
    std::size_t offset = 0; // bytes of it already written
    while (next < pieces.size()) {
        vectors.clear();
        for (std::size_t i = next; i < pieces.size() && vectors.size() < IOV_MAX; ++i) {
            const std::size_t skip = i == next ? offset : 0;
            vectors.push_back(
                {const_cast<std::uint8_t*>(pieces[i].bytes) + skip, pieces[i].size - skip});
        }
        const ssize_t written = writev(fd, vectors.data(), static_cast<int>(vectors.size()));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error = osErrorText(written < 0 ? errno : EIO);
            return false;
        }
        // A short write: go on from the first byte it left.
        auto left = static_cast<std::size_t>(written);
        while (next < pieces.size() && left >= pieces[next].size - offset) {
            left -= pieces[next].size - offset;
            offset = 0;
            ++next;
        }
        offset += left;
    }
    return true;
}

namespace fs = std::filesystem;

namespace {

bool deleteFileIn(const FolderHandle& in, const std::string& name, std::string& error) {
    const int folder = static_cast<int>(in.value);
    struct stat info;
    int err = 0;
    if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        err = errno == ENOENT ? 0 : errno;
    } else if (S_ISDIR(info.st_mode)) {
        err = EISDIR;
    } else if (unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
        err = errno;
    }
    if (err != 0) {
        error = osErrorText(err);
        return false;
    }
    forgetTempFile(notedPath(name, &in));
    return true;
}

} // namespace

bool deleteFile(const std::string& path, std::string& error, const FolderHandle* in) {
    if (in != nullptr) {
        return deleteFileIn(*in, path, error);
    }
    std::error_code ec;
    // The entry itself: a link is removed, not followed; remove() would take an empty folder.
    const fs::file_status status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return true;
    }
    if (status.type() == fs::file_type::directory) {
        error = osErrorText(EISDIR);
        return false;
    }
    if (!ec) {
        fs::remove(path, ec);
    }
    if (ec) {
        error = ec.message();
        return false;
    }
    forgetTempFile(path);
    return true;
}

bool copyPermissions(std::FILE* from, std::FILE* to, std::string& error) {
    struct stat info;
    if (fstat(fileno(from), &info) != 0 || fchmod(fileno(to), info.st_mode & 0777) != 0) {
        error = osErrorText(errno);
        return false;
    }
    return true;
}

bool syncFile(std::FILE* file, std::string& error) {
    if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) {
        error = osErrorText(errno);
        return false;
    }
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error, bool durable,
                 const FolderHandle* in) {
    if (in != nullptr) {
        const int folder = static_cast<int>(in->value);
        if (renameat(folder, from.c_str(), folder, to.c_str()) != 0) {
            error = osErrorText(errno);
            return false;
        }
        forgetTempFile(notedPath(from, in));
        const bool synced = !durable || fsync(folder) == 0;
        error = synced ? "" : osErrorText(errno);
        return synced;
    }
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    forgetTempFile(from);
    if (!durable) {
        return true;
    }
    // The new name is an entry of the folder: it is on disk once the folder is.
    const fs::path folder = fs::path(to).parent_path();
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    error = synced ? "" : osErrorText(errno);
    if (fd >= 0) {
        close(fd);
    }
    return synced;
}

bool isTerminal(std::FILE* file) {
    return isatty(fileno(file)) != 0;
}
