// Files on Windows, through the wide calls, with UTF-8 paths at the interface. Reading never
// blocks: a file is opened and looked at through its handle (only a disk file is read), so that
// what is checked is what is read, and the handle is then given to <cstdio>. Temporary files are
// created only where nothing exists yet, so that a name picked here can never lead into someone
// else's file.
#include "platform/files.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/stop_cleanly.h"
#include "platform/temp_name.h"
#include "platform/wide_text_win32.h"

namespace {

// Others may read, write, rename and delete while we look: we must never be the reason a user's
// program cannot.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Errors that say nothing is at the path (or on the way to it).
bool isMissingError(DWORD err) {
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME;
}

// Opens what is at path, following links; FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too,
// so that it can be told from a file.
HANDLE openExisting(const std::string& path, DWORD access) {
    return CreateFileW(widePath(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isFolderHandle(HANDLE handle, std::string& error) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info) == 0) {
        error = lastErrorText();
        return false;
    }
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Why the open handle is no regular file to read (a folder; a console, printer port or pipe
// behind a device name), or "" when it is one, with its size.
std::string refusalOf(HANDLE handle, std::uint64_t& size) {
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        return "not a regular file";
    }
    std::string error;
    if (isFolderHandle(handle, error)) {
        return "is a folder";
    }
    LARGE_INTEGER length{};
    if (error.empty() && GetFileSizeEx(handle, &length) == 0) {
        error = lastErrorText();
    }
    if (error.empty()) {
        size = static_cast<std::uint64_t>(length.QuadPart);
    }
    return error;
}

// Hands an open handle to <cstdio>. On failure the handle is closed.
std::FILE* streamOf(HANDLE handle, int flags, const char* mode, std::string& error) {
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags | _O_BINARY);
    if (fd == -1) {
        error = osErrorText(errno);
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, mode);
    if (file == nullptr) {
        error = osErrorText(errno);
        _close(fd);
    }
    return file;
}

HANDLE handleOf(const InputFile& file) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file.value));
}

} // namespace

bool openInputFile(const std::string& path, InputFile& file, std::uint64_t& size,
                   std::string& error, bool* machine) {
    closeInputFile(file);
    size = 0;
    if (machine != nullptr) {
        *machine = false;
    }
    const HANDLE handle = openExisting(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        error = windowsErrorText(err);
        if (machine != nullptr) {
            *machine = isMachineShortageError(err);
        }
        return false;
    }
    std::uint64_t length = 0;
    error = refusalOf(handle, length);
    if (!error.empty()) {
        CloseHandle(handle);
        return false;
    }
    file.value = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(handle));
    size = length;
    return true;
}

bool readInputFile(InputFile& file, std::uint8_t* bytes, std::size_t size, std::size_t& got,
                   std::string& error, bool* machine) {
    // ReadFile counts in 32 bits.
    constexpr std::size_t kLargestRead = std::size_t{1} << 30;
    got = 0;
    while (got < size) {
        const std::size_t asked = size - got < kLargestRead ? size - got : kLargestRead;
        DWORD read = 0;
        if (ReadFile(handleOf(file), bytes + got, static_cast<DWORD>(asked), &read, nullptr) == 0) {
            const DWORD err = GetLastError();
            error = windowsErrorText(err);
            if (machine != nullptr) {
                *machine = isMachineShortageError(err);
            }
            return false;
        }
        if (read == 0) {
            break;
        }
        got += read;
    }
    return true;
}

bool seekInputFile(InputFile& file, std::uint64_t offset, std::string& error) {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
        SetFilePointerEx(handleOf(file), distance, nullptr, FILE_BEGIN) == 0) {
        error = offset > static_cast<std::uint64_t>(INT64_MAX) ? osErrorText(EOVERFLOW)
                                                               : lastErrorText();
        return false;
    }
    return true;
}

void closeInputFile(InputFile& file) {
    if (file.value != -1) {
        CloseHandle(handleOf(file));
        file.value = -1;
    }
}

InputFile::~InputFile() {
    closeInputFile(*this);
}

bool mayReadFile(const std::string& path, std::string& error) {
    InputFile file;
    std::uint64_t size = 0;
    return openInputFile(path, file, size, error);
}

std::FILE* openRegularFile(const std::string& path, std::uint64_t& size, std::string& error,
                           bool* machine) {
    InputFile input;
    if (!openInputFile(path, input, size, error, machine)) {
        return nullptr;
    }
    const HANDLE handle = handleOf(input);
    input.value = -1; // streamOf owns it now, and closes it when it fails
    std::FILE* file = streamOf(handle, _O_RDONLY, "rb", error);
    if (file == nullptr) {
        size = 0;
    }
    return file;
}

namespace {

// name in the open folder in, by its path: a folder opened by openOwnSubFolder cannot be renamed
// or replaced while it is open, so that the path leads into it.
std::string pathIn(const std::string& name, const FolderHandle* in) {
    return in != nullptr ? joinPath(in->path, name) : name;
}

} // namespace

std::FILE* createTempFile(const std::string& finalPath, std::string& tempPath, std::string& error,
                          bool, const FolderHandle* in) {
    DWORD err = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = tempFileName(finalPath);
        const std::string path = pathIn(tempPath, in);
        // Noted before it exists, so that a console event that comes once it does finds it.
        noteTempFile(path);
        // CREATE_NEW: an existing entry of that name, even a link that leads nowhere, makes the
        // call fail; others may delete it, so that the cleanup can while it is open.
        const HANDLE handle =
            CreateFileW(widePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            err = GetLastError();
            forgetTempFile(path);
            if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) {
                continue;
            }
            break;
        }
        std::FILE* file = streamOf(handle, _O_WRONLY, "wb", error);
        if (file != nullptr) {
            return file;
        }
        DeleteFileW(widePath(path).c_str());
        forgetTempFile(path);
        tempPath.clear();
        return nullptr;
    }
    tempPath.clear();
    error = windowsErrorText(err);
    return nullptr;
}

bool writePieces(std::FILE* file, std::span<const BytePiece> pieces, std::string& error) {
    // Windows gathers writes only from whole pages: each piece is one write of its own.
    for (const BytePiece& piece : pieces) {
        errno = 0;
        if (piece.size != 0 && std::fwrite(piece.bytes, 1, piece.size, file) != piece.size) {
            error = osErrorText(errno);
            return false;
        }
    }
    return true;
}

PathKind pathKind(const std::string& path, std::string* why) {
    std::string error;
    // No access asked for: looking at a file needs no right to read it.
    const HANDLE handle = openExisting(path, 0);
    PathKind kind = PathKind::kOther;
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        kind = isMissingError(err) ? PathKind::kMissing : PathKind::kOther;
        error = isMissingError(err) ? "" : windowsErrorText(err);
    } else {
        if (isFolderHandle(handle, error)) {
            kind = PathKind::kFolder;
        } else if (error.empty() && GetFileType(handle) == FILE_TYPE_DISK) {
            kind = PathKind::kRegular;
        }
        CloseHandle(handle);
    }
    if (why != nullptr) {
        *why = error;
    }
    return kind;
}

PathKind entryKind(const std::string& path, std::string* why) {
    if (why != nullptr) {
        why->clear();
    }
    // The entry's own attributes: a link (a reparse point) is not followed.
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = GetLastError();
        if (isMissingError(err)) {
            return PathKind::kMissing;
        }
        if (why != nullptr) {
            *why = windowsErrorText(err);
        }
        return PathKind::kOther;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return PathKind::kLink;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kRegular;
}

bool deleteFile(const std::string& name, std::string& error, const FolderHandle* in) {
    const std::string path = pathIn(name, in);
    const std::wstring wide = widePath(path);
    // The entry itself, not where a link leads.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    BOOL deleted = FALSE;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        deleted = FALSE;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        deleted = DeleteFileW(wide.c_str());
    } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link to a folder is an entry of the folder kind: removing it leaves its target be.
        deleted = RemoveDirectoryW(wide.c_str());
    } else {
        error = osErrorText(EISDIR);
        return false;
    }
    if (deleted == 0) {
        const DWORD err = GetLastError();
        if (isMissingError(err)) {
            return true;
        }
        error = windowsErrorText(err);
        return false;
    }
    forgetTempFile(path);
    return true;
}

bool copyPermissions(std::FILE*, std::FILE*, std::string&) {
    return true;
}

bool syncFile(std::FILE* file, std::string& error) {
    errno = 0;
    if (std::fflush(file) != 0) {
        error = osErrorText(errno);
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (FlushFileBuffers(handle) == 0) {
        error = lastErrorText();
        return false;
    }
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error, bool durable,
                 const FolderHandle* in) {
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (MoveFileExW(widePath(pathIn(from, in)).c_str(), widePath(pathIn(to, in)).c_str(), flags) ==
        0) {
        error = lastErrorText();
        return false;
    }
    forgetTempFile(pathIn(from, in));
    return true;
}

bool isTerminal(std::FILE* file) {
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), &mode) != 0;
}
