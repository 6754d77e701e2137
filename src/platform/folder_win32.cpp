// Folders on Windows: the current folder, and open folders. An open folder is a handle, which
// tells its identity and keeps it from going away during a walk, and its full path, since the
// listing calls take a path; paths of any length are given the long form (widePath).
#include "platform/files.h"
#include "platform/folders.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include <windows.h>

#include "platform/wide_text_win32.h"

namespace {

HANDLE handleOf(const FolderHandle& folder) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(folder.value));
}

void closeFolder(FolderHandle& folder) {
    if (folder.value != -1) {
        CloseHandle(handleOf(folder));
        folder.value = -1;
    }
}

bool isDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// A failure with Windows error code err: its text in error, and in machine whether the machine
// fell short.
bool failed(DWORD err, std::string& error, bool* machine) {
    error = windowsErrorText(err);
    if (machine != nullptr) {
        *machine = isMachineShortageError(err);
    }
    return false;
}

// Opens the folder at path, following links, and keeps its full path for the listing.
bool openFolderAt(const std::string& path, FolderHandle& folder, std::string& error,
                  bool* machine) {
    const std::wstring full = fullWidePath(widePath(path));
    // Reading attributes needs no right to list; FILE_FLAG_BACKUP_SEMANTICS opens a folder.
    const HANDLE handle = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (full.empty() || handle == INVALID_HANDLE_VALUE) {
        return failed(GetLastError(), error, machine);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool looked = GetFileInformationByHandle(handle, &info) != 0;
    if (!looked || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = looked ? osErrorText(ENOTDIR) : lastErrorText();
        CloseHandle(handle);
        return false;
    }
    closeFolder(folder);
    folder.value = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(handle));
    folder.path = utf8Text(full);
    return true;
}

// Whether a listed entry is a folder after following links: a link's own attributes tell only
// what kind of link it is.
bool entryIsFolder(const FolderHandle& folder, const WIN32_FIND_DATAW& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    return pathKind(joinPath(folder.path, utf8Text(entry.cFileName, wcslen(entry.cFileName)))) ==
           PathKind::kFolder;
}

} // namespace

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : value(std::exchange(other.value, -1)), path(std::move(other.path)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        closeFolder(*this);
        value = std::exchange(other.value, -1);
        path = std::move(other.path);
    }
    return *this;
}

FolderHandle::~FolderHandle() {
    closeFolder(*this);
}

bool openFolder(const std::string& path, FolderHandle& folder, std::string& error, bool* machine) {
    return openFolderAt(path, folder, error, machine);
}

bool openSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                   std::string& error, bool* machine) {
    return openFolderAt(joinPath(parent.path, name), folder, error, machine);
}

bool openOwnSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                      std::string& error) {
    const std::string path = joinPath(parent.path, name);
    const std::wstring wide = widePath(path);
    if (CreateDirectoryW(wide.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) {
        return failed(GetLastError(), error, nullptr);
    }
    // FILE_FLAG_OPEN_REPARSE_POINT: a link is opened itself, and refused. No FILE_SHARE_DELETE:
    // while the handle is open, nobody can rename the folder or put a link in its place, so that
    // its path leads into it.
    const HANDLE handle = CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return failed(GetLastError(), error, nullptr);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool looked = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD wanted = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (!looked || (info.dwFileAttributes & wanted) != FILE_ATTRIBUTE_DIRECTORY) {
        error = looked ? osErrorText(ENOTDIR) : lastErrorText();
        CloseHandle(handle);
        return false;
    }
    folder = FolderHandle();
    folder.value = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(handle));
    folder.path = path;
    return true;
}

bool folderIdentity(const FolderHandle& folder, FolderId& id, std::string& error) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handleOf(folder), &info) == 0) {
        error = lastErrorText();
        return false;
    }
    id.device = info.dwVolumeSerialNumber;
    id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool listFolder(const FolderHandle& folder, std::vector<FolderEntry>& entries, std::string& error,
                bool* machine) {
    entries.clear();
    WIN32_FIND_DATAW entry;
    // FindExInfoBasic: the short 8.3 names are not wanted, and leaving them out saves time.
    const HANDLE find =
        FindFirstFileExW(widePath(joinPath(folder.path, "*")).c_str(), FindExInfoBasic, &entry,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // No entry at all, not even ".": the root of an empty drive.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        return failed(GetLastError(), error, machine);
    }
    do {
        if (!isDotOrDotDot(entry.cFileName)) {
            entries.push_back({utf8Text(entry.cFileName, wcslen(entry.cFileName)),
                               entryIsFolder(folder, entry), false});
        }
    } while (FindNextFileW(find, &entry) != 0);
    const DWORD err = GetLastError();
    FindClose(find);
    if (err != ERROR_NO_MORE_FILES) {
        entries.clear();
        return failed(err, error, machine);
    }
    sortFolderEntries(entries);
    return true;
}

bool getCurrentFolder(std::string& path) {
    path.clear();
    std::wstring current(MAX_PATH, L'\0');
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(current.size());
        const DWORD got = GetCurrentDirectoryW(capacity, current.data());
        if (got == 0) {
            return false;
        }
        if (got < capacity) {
            current.resize(got);
            path = utf8Text(current);
            return true;
        }
        current.resize(got);
    }
}

bool setCurrentFolder(const std::string& path, std::string& error) {
    if (SetCurrentDirectoryW(widePath(path).c_str()) == 0) {
        error = lastErrorText();
        return false;
    }
    return true;
}

bool canEnterFolder(const std::string& path, std::string& error) {
    // Only entering a folder tells whether it can be entered; the current folder is put back.
    std::string current;
    if (!getCurrentFolder(current)) {
        error = lastErrorText();
        return false;
    }
    if (!setCurrentFolder(path, error)) {
        return false;
    }
    std::string ignored;
    setCurrentFolder(current, ignored);
    return true;
}

bool makeFolder(const std::string& path, std::string& error) {
    if (CreateDirectoryW(widePath(path).c_str(), nullptr) == 0) {
        error = lastErrorText();
        return false;
    }
    return true;
}

bool fitsEveryCall(const std::string&) {
    return true;
}
