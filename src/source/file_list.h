// Lists of the bitmap files of one theme. The list is singly linked through `next` and keeps
// insertion order; its head is a record of the same type whose `next` is the first entry and
// whose `count` is the length.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ImageFileEntry {
    /// Folder that holds the file, without a trailing separator; in the head, the theme folder.
    std::string dirPath;
    /// Name of the folder that holds the file (last path component), or the theme number as
    /// text for files directly in the theme folder; in the head, the theme number.
    std::string groupName;
    /// The file's name without folder; empty in the head.
    std::string fileName;
    /// Which of the run's distinct files the entry names, shared by the entries of every theme
    /// that name the same one (set when the conversions are planned); -1 until then.
    std::int32_t fileIndex = -1;
    std::unique_ptr<ImageFileEntry> next;
    /// Head only: the number of entries.
    std::int32_t count = 0;
    /// Head only: the last entry, so that appending does not walk the list.
    ImageFileEntry* tail = nullptr;

    ImageFileEntry() = default;
    ImageFileEntry(const ImageFileEntry&) = delete;
    ImageFileEntry& operator=(const ImageFileEntry&) = delete;
    ~ImageFileEntry();
};

/// Something a scan or a variant lookup met that costs the user images or deserves a word: the
/// app prints text on standard error.
enum class SourceProblemKind : std::uint8_t {
    kFolderNotListed, // a folder that could not be opened or listed: its images are missing
    kLinkNotFollowed, // a linked folder that leads to the root folder, a theme folder or back
                      // into the scan
    kLinkFanOut,      // linked folders that fan out: the theme's scan was abandoned
    kNotAVariantFile, // something other than a file at a variant path: the base image is used
    kCaseTwin,        // a variant file named like a base image but for letter case
    kVariantOnly,     // images of a variant folder at no base image's path: not packed
    kMachineShortage, // memory or descriptors ran out while a folder was listed: the scan stopped,
                      // and the run writes nothing
};

struct SourceProblem {
    SourceProblemKind kind = SourceProblemKind::kFolderNotListed;
    /// One line without a line break, naming the path and the cause.
    std::string text;
};

/// How often one folder may be entered in a scan, through the different links that lead to it.
/// A folder shared through a few links is listed under each of them; links that fan out
/// (every level linking twice to the next) would list it an exponential number of times. The cap
/// keeps a scan within this many times the tree's own folders and files.
inline constexpr std::uint32_t kMaxFolderEntries = 64;

/// Fills the head of theme n (dirPath = rootPath/n, groupName = n) and scans the theme folder.
/// Returns the scan's result.
int listBaseTheme(ImageFileEntry& head, const std::string& rootPath, int n,
                  std::vector<SourceProblem>& problems);

/// Appends an entry for every file whose name ends in "bmp" (case-sensitive) in folderPath and,
/// depth-first in listing order, in every sub-folder; a sub-folder's files carry the sub-folder's
/// own name as group name. Folders are opened relative to their parent, so neither depth nor path
/// length is a limit. Not entered, with a problem for the user: a sub-folder that cannot be
/// listed (the scan goes on with its siblings), and a linked folder that leads to rootPath, to a
/// theme folder under it or back to a folder being scanned. Returns 0 when
/// folderPath cannot be listed, when a folder would be entered more than kMaxFolderEntries
/// times, and when memory or descriptors run out on the way (kMachineShortage): the list is then
/// emptied. Else returns 1.
int scanImageFolder(ImageFileEntry& list, const std::string& folderPath,
                    const std::string& groupName, const std::string& rootPath,
                    std::vector<SourceProblem>& problems);

/// Links entry at the tail of the list and counts it. Returns 1.
int appendFileEntry(ImageFileEntry& list, std::unique_ptr<ImageFileEntry> entry);

/// Frees every entry of the list; the head and its count stay. Returns 1.
int freeFileList(ImageFileEntry& head);

/// How many of a variant's images at no base image's path its problem names.
inline constexpr std::size_t kVariantOnlyNamed = 3;

/// Fills the head of variant theme n and appends one entry per base entry: same names, and the
/// variant's folder when it holds the file, else the base entry's folder. Something other than a
/// regular file that opens at the variant's path (a folder, a FIFO, a device, a file that may not
/// be read, a path that cannot be looked at) is no variant file: the base entry's folder is used
/// and problems tells why. A variant file whose path differs from the base entry's in letter case
/// alone is told too: used where names ignore case, not used where they do not. The images of
/// the variant folder that stand at no base image's path (whatever the case of their letters)
/// are told in one problem, with their count and the first kVariantOnlyNamed paths. Returns 1.
int listVariantTheme(ImageFileEntry& head, const std::string& rootPath, int n,
                     const ImageFileEntry& baseList, std::vector<SourceProblem>& problems);

/// 1 when path is a regular file (after following links) that opens for reading, else 0; only a
/// regular file is opened. why is empty when nothing is at path, else it says why what is there
/// is no file that can be used.
int fileExists(const std::string& path, std::string& why);
