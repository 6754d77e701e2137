// Lists of the bitmap files of one theme. The list is singly linked through `next` and keeps
// insertion order; its head is a record of the same type whose `next` is the first entry and
// whose `count` is the length.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct ImageFileEntry {
    /// Folder that holds the file, without a trailing separator; in the head, the theme folder.
    std::string dirPath;
    /// Name of the folder that holds the file (last path component), or the theme number as
    /// text for files directly in the theme folder; in the head, the theme number.
    std::string groupName;
    /// The file's name without folder; empty in the head.
    std::string fileName;
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

/// Fills the head of theme n (dirPath = rootPath/n, groupName = n) and scans the theme folder.
/// Returns the scan's result.
int listBaseTheme(ImageFileEntry& head, const std::string& rootPath, int n);

/// Appends an entry for every file whose name ends in "bmp" (case-sensitive) in folderPath and,
/// depth-first, in every sub-folder; a sub-folder's files carry the sub-folder's own name as
/// group name. Returns 0 when folderPath cannot be enumerated, else 1.
int scanImageFolder(ImageFileEntry& list, const std::string& folderPath,
                    const std::string& groupName);

/// Links entry at the tail of the list and counts it. Returns 1.
int appendFileEntry(ImageFileEntry& list, std::unique_ptr<ImageFileEntry> entry);

/// Frees every entry of the list; the head and its count stay. Returns 1.
int freeFileList(ImageFileEntry& head);

/// Fills the head of variant theme n and appends one entry per base entry: same names, and the
/// variant's folder when it holds the file, else the base entry's folder. Returns 1.
int listVariantTheme(ImageFileEntry& head, const std::string& rootPath, int n,
                     const ImageFileEntry& baseList);

/// 1 when path is a file that opens for reading (a folder is not), else 0.
int fileExists(const std::string& path);
