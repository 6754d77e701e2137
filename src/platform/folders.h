// Folders: the current one, making one, and folders held open, so that neither depth nor path
// length limits a walk through them. A path longer than the OS limit is followed one component
// at a time.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

/// Fills path with the process's current folder. Returns false (path cleared) when the OS
/// cannot tell it.
bool getCurrentFolder(std::string& path);

/// Makes path the current folder. Returns false, with the OS cause in error, when it is not a
/// folder that can be entered.
bool setCurrentFolder(const std::string& path, std::string& error);

/// True when path is a folder that this process could make its current folder; false with the
/// OS cause in error else. The current folder stays as it is.
bool canEnterFolder(const std::string& path, std::string& error);

/// True when path names a folder (following links).
bool isFolder(const std::string& path);

/// Makes a new folder at path, whose parent folder must exist. Returns false with the OS cause in
/// error when it cannot, also when something (a folder too) is there already.
bool makeFolder(const std::string& path, std::string& error);

/// Makes path a folder, with every missing folder on the way, as mkdir -p does: true when path
/// is a folder then (after following links), also when it was one already. Returns false with
/// the OS cause in error else.
bool makeFolders(const std::string& path, std::string& error);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    /// True only when the listing itself says the entry is a regular file, not a link to one
    /// (POSIX d_type); false when it cannot tell, as on Windows.
    bool isRegular = false;
};

/// An open folder (a descriptor on POSIX, a HANDLE on Windows), closed when it goes. Move-only.
struct FolderHandle {
    std::int64_t value = -1;
    // The folder's path: Windows' calls list and open entries by it (the full path); on POSIX it
    // names the files made in the folder for the cleanup of a stopped run.
    std::string path;

    FolderHandle() = default;
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();
};

/// What makes a folder itself (device and inode on POSIX; volume serial number and file index on
/// Windows): the same through every path or link that leads to it.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    auto operator<=>(const FolderId&) const = default;
};

/// Opens the folder at path, following links. Returns false with the OS cause in error; machine,
/// when given, then tells whether the machine fell short (see isMachineShortage) rather than the
/// folder.
bool openFolder(const std::string& path, FolderHandle& folder, std::string& error,
                bool* machine = nullptr);

/// Opens the entry name of parent as a folder, following a link. Returns false with the OS cause
/// in error ("Not a directory" when the entry is something else), and machine set as openFolder
/// does.
bool openSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                   std::string& error, bool* machine = nullptr);

/// Opens the entry name of parent as a folder that is one itself, never through a link, and makes
/// it first when nothing is there. While the handle is open it stays that folder, whatever is
/// done to its path (POSIX: files are made through the descriptor; Windows: nobody may rename or
/// delete it meanwhile), so files made in it never land elsewhere. Returns false with the OS cause
/// in error, also when a link or anything but a folder is there.
bool openOwnSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                      std::string& error);

/// The identity of an open folder. Returns false with the OS cause in error.
bool folderIdentity(const FolderHandle& folder, FolderId& id, std::string& error);

/// Lists the entries of an open folder, without "." and "..", in listing order (see
/// sortFolderEntries); an entry is a folder when it is one after following links. Returns false
/// (entries cleared) with the OS cause in error, and machine set as openFolder does, when the
/// folder cannot be read to its end.
bool listFolder(const FolderHandle& folder, std::vector<FolderEntry>& entries, std::string& error,
                bool* machine = nullptr);

/// Sorts entries by name with ASCII letters compared upper-cased and the raw bytes as
/// tie-break, so that the order never depends on the file system.
void sortFolderEntries(std::vector<FolderEntry>& entries);
