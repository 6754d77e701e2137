// Theme file lists: the folder scan of the base theme and the lists derived from it for the
// variant themes.
#include "source/file_list.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/linked_chain.h"
#include "common/terminal_text.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "source/case_twins.h"
#include "source/theme_folders.h"

namespace {

// Only the last three characters count, case-sensitively: "ab.bmp" and "abmp" are images,
// "photo.BMP" is not.
bool isImageName(const std::string& name) {
    return name.size() >= 3 && name.compare(name.size() - 3, 3, "bmp") == 0;
}

} // namespace

ImageFileEntry::~ImageFileEntry() {
    releaseChain(next);
}

int appendFileEntry(ImageFileEntry& list, std::unique_ptr<ImageFileEntry> entry) {
    appendToChain(list.next, list.tail, std::move(entry));
    ++list.count;
    return 1;
}

int freeFileList(ImageFileEntry& head) {
    releaseChain(head.next);
    head.tail = nullptr;
    return 1;
}

namespace {

// At most this many folders of a scan are held open: the first and the deepest. No depth then
// runs out of descriptors; a folder closed on the way is opened again from its nearest open
// ancestor, by name, when a sub-folder of it is entered.
constexpr std::size_t kFoldersHeldOpen = 32;

// A folder of the scan whose entries are being walked.
struct OpenFolder {
    FolderHandle handle; // closed (value -1) while the scan is deep below it
    FolderId id;
    std::string path;
    std::string name; // its entry in the folder above it
    std::string group;
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
};

struct FolderVisits {
    std::uint32_t entered = 0;
    bool open = false; // one of the folders the scan is inside
};

// A folder the scan may not enter, with how the user is told of a link to it.
struct BarredFolder {
    FolderId id;
    std::string what;
};

struct FolderScan {
    ImageFileEntry& list;
    std::vector<SourceProblem>& problems;
    std::vector<BarredFolder> barred;
    std::map<FolderId, FolderVisits> visits;
    // Depth-first without recursion, so that no depth exhausts the stack.
    std::vector<OpenFolder> open;
};

enum class Entered : std::uint8_t { kYes, kNo, kAbandon };

void tell(FolderScan& scan, SourceProblemKind kind, std::string text) {
    scan.problems.push_back({kind, std::move(text)});
}

// Tells that the folder at path cannot be listed. A machine that falls short (machine: no memory,
// no descriptor) says nothing of the folder: packed without its images, the theme would replace a
// complete build by a smaller one. Returns true when the scan must stop for that reason.
bool tellNotListed(FolderScan& scan, const std::string& path, const std::string& error,
                   bool machine) {
    if (machine) {
        tell(scan, SourceProblemKind::kMachineShortage,
             "cannot list " + path + ": " + error + "; the run stops and writes nothing");
        return true;
    }
    tell(scan, SourceProblemKind::kFolderNotListed,
         "cannot list " + path + ": " + error + "; its images are not packed");
    return false;
}

// The root folder and the theme folders: images of the root or of a variant listed as the base
// theme's own would be packed twice, or in the wrong theme. Returns false when one of them cannot
// be looked at for want of memory or descriptors, which is told.
bool barFolders(FolderScan& scan, const std::string& rootPath) {
    for (int n = -1; n < kThemeSlots; ++n) {
        const std::string path = n < 0 ? rootPath : themeFolderPath(rootPath, n);
        FolderHandle folder;
        FolderId id;
        std::string error;
        bool machine = false;
        if (openFolder(path, folder, error, &machine) && folderIdentity(folder, id, error)) {
            scan.barred.push_back({id, (n < 0 ? "the root folder " : "theme folder ") + path});
        } else if (machine) {
            tellNotListed(scan, path, error, machine);
            return false;
        }
    }
    return true;
}

bool isOpen(const OpenFolder& folder) {
    return folder.handle.value != -1;
}

// Closes the shallowest open folders but the first until at most kFoldersHeldOpen are open.
void closeShallowFolders(FolderScan& scan) {
    std::size_t open = 0;
    for (const OpenFolder& folder : scan.open) {
        open += isOpen(folder) ? 1 : 0;
    }
    for (std::size_t i = 1; i < scan.open.size() && open > kFoldersHeldOpen; ++i) {
        if (isOpen(scan.open[i])) {
            scan.open[i].handle = FolderHandle();
            --open;
        }
    }
}

// Opens the innermost folder again, when it was closed, from its nearest open ancestor by name,
// checking that each folder on the way is still the one the scan entered.
bool reopenInnermost(FolderScan& scan, std::string& error, bool& machine) {
    if (isOpen(scan.open.back())) {
        return true;
    }
    std::size_t at = scan.open.size() - 1;
    while (!isOpen(scan.open[at])) {
        --at; // the first folder is never closed
    }
    for (++at; at < scan.open.size(); ++at) {
        OpenFolder& folder = scan.open[at];
        FolderId id;
        if (!openSubFolder(scan.open[at - 1].handle, folder.name, folder.handle, error, &machine) ||
            !folderIdentity(folder.handle, id, error)) {
            return false;
        }
        if (id != folder.id) {
            error = "it was replaced while it was scanned";
            folder.handle = FolderHandle();
            return false;
        }
    }
    closeShallowFolders(scan);
    return true;
}

Entered enterFolder(FolderScan& scan, FolderHandle handle, const std::string& path,
                    const std::string& name, const std::string& group) {
    std::string error;
    OpenFolder folder{std::move(handle), {}, path, name, group, {}, 0};
    if (!folderIdentity(folder.handle, folder.id, error)) {
        tellNotListed(scan, path, error, false);
        return Entered::kNo;
    }
    FolderVisits& visits = scan.visits[folder.id];
    if (visits.open) {
        // A link back into the scan would repeat it forever.
        for (const OpenFolder& open : scan.open) {
            if (open.id == folder.id) {
                tell(scan, SourceProblemKind::kLinkNotFollowed,
                     path + " leads back to " + open.path +
                         ", which is being scanned; it is not followed");
            }
        }
        return Entered::kNo;
    }
    if (!scan.open.empty()) {
        for (const BarredFolder& barred : scan.barred) {
            if (barred.id == folder.id) {
                tell(scan, SourceProblemKind::kLinkNotFollowed,
                     path + " leads to " + barred.what + "; it is not followed");
                return Entered::kNo;
            }
        }
    }
    if (++visits.entered > kMaxFolderEntries) {
        tell(scan, SourceProblemKind::kLinkFanOut,
             path + " is a folder reached through links more than " +
                 std::to_string(kMaxFolderEntries) + " times: the linked folders fan out; " +
                 scan.open.front().path + " is not scanned and none of its images are packed");
        return Entered::kAbandon;
    }
    bool machine = false;
    if (!listFolder(folder.handle, folder.entries, error, &machine)) {
        return tellNotListed(scan, path, error, machine) ? Entered::kAbandon : Entered::kNo;
    }
    visits.open = true;
    scan.open.push_back(std::move(folder));
    closeShallowFolders(scan);
    return Entered::kYes;
}

void leaveFolder(FolderScan& scan) {
    scan.visits[scan.open.back().id].open = false;
    scan.open.pop_back();
}

void appendImage(ImageFileEntry& list, const OpenFolder& folder, const std::string& name) {
    auto entry = std::make_unique<ImageFileEntry>();
    entry->dirPath = folder.path;
    entry->groupName = folder.group;
    entry->fileName = name;
    appendFileEntry(list, std::move(entry));
}

// Walks the entries of the innermost open folder: images are listed, sub-folders entered.
bool scanOpenFolders(FolderScan& scan) {
    while (!scan.open.empty()) {
        OpenFolder& folder = scan.open.back();
        if (folder.next == folder.entries.size()) {
            leaveFolder(scan);
            continue;
        }
        const FolderEntry& e = folder.entries[folder.next++];
        if (!e.isFolder) {
            if (isImageName(e.name)) {
                appendImage(scan.list, folder, e.name);
            }
            continue;
        }
        const std::string path = joinPath(folder.path, e.name);
        FolderHandle handle;
        std::string error;
        bool machine = false;
        if (!reopenInnermost(scan, error, machine) ||
            !openSubFolder(folder.handle, e.name, handle, error, &machine)) {
            if (tellNotListed(scan, path, error, machine)) {
                return false;
            }
            continue;
        }
        const std::string name = e.name; // e dies when the folder is pushed
        if (enterFolder(scan, std::move(handle), path, name, name) == Entered::kAbandon) {
            return false;
        }
    }
    return true;
}

} // namespace

int scanImageFolder(ImageFileEntry& list, const std::string& folderPath,
                    const std::string& groupName, const std::string& rootPath,
                    std::vector<SourceProblem>& problems) {
    FolderScan scan{list, problems, {}, {}, {}};
    FolderHandle handle;
    std::string error;
    bool machine = false;
    if (!barFolders(scan, rootPath)) {
        return 0;
    }
    if (!openFolder(folderPath, handle, error, &machine)) {
        tellNotListed(scan, folderPath, error, machine);
        return 0;
    }
    if (enterFolder(scan, std::move(handle), folderPath, "", groupName) != Entered::kYes) {
        return 0;
    }
    if (!scanOpenFolders(scan)) {
        releaseChain(list.next);
        list.tail = nullptr;
        list.count = 0;
        return 0;
    }
    return 1;
}

int listBaseTheme(ImageFileEntry& head, const std::string& rootPath, int n,
                  std::vector<SourceProblem>& problems) {
    head.dirPath = themeFolderPath(rootPath, n);
    head.groupName = std::to_string(n);
    return scanImageFolder(head, head.dirPath, head.groupName, rootPath, problems);
}

namespace {

// Only a file that opens is a variant file: one the user may not read would stop its theme.
int regularFileOpens(const std::string& path, std::string& why) {
    if (!mayReadFile(path, why)) {
        why = "cannot be opened: " + why;
        return 0;
    }
    return 1;
}

} // namespace

int fileExists(const std::string& path, std::string& why) {
    switch (pathKind(path, &why)) {
    case PathKind::kRegular:
        return regularFileOpens(path, why);
    case PathKind::kMissing:
        return 0;
    case PathKind::kFolder:
        why = "is a folder";
        return 0;
    case PathKind::kLink: // never after following links
    case PathKind::kOther:
        why = why.empty() ? "is not a regular file" : "cannot be looked at: " + why;
        return 0;
    }
    return 0;
}

namespace {

// The names in one variant folder, listed once for every base entry of the folder it stands
// for. It spares the look-ups of names that are not there; a name the listing calls a regular
// file is only opened, any other name found in it is looked up first, and a folder that cannot
// be listed has every name looked up.
struct VariantFolder {
    bool listed = false;
    // Whether a name may be there: every listed name, with ASCII letters upper-cased where names
    // compare without regard to case, and whether the listing called it a regular file.
    std::unordered_map<std::string, bool> keys;
    // Where names compare without regard to case, a listed name outside ASCII may match a
    // name that differs from it in more than ASCII letters.
    bool beyondAscii = false;
};

bool isAscii(const std::string& name) {
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string nameKey(const std::string& name) {
    return kFileNamesIgnoreCase ? upperAscii(name) : name;
}

VariantFolder listVariantFolder(const std::string& path) {
    VariantFolder folder;
    FolderHandle handle;
    std::vector<FolderEntry> entries;
    std::string error;
    if (!openFolder(path, handle, error) || !listFolder(handle, entries, error)) {
        // No folder there holds no file either.
        folder.listed = pathKind(path) == PathKind::kMissing;
        return folder;
    }
    folder.listed = true;
    for (const FolderEntry& entry : entries) {
        // Names that differ only in case share a key: neither is taken as known then.
        const auto [key, added] = folder.keys.emplace(nameKey(entry.name), entry.isRegular);
        key->second = added && entry.isRegular;
        folder.beyondAscii = folder.beyondAscii || !isAscii(entry.name);
    }
    return folder;
}

enum class Presence { kAbsent, kRegular, kLookUp };

// What the listing says of name: certainly absent, a regular file there, or only a look-up can
// tell. Where names compare without regard to case, a name outside ASCII or with a '~' (which
// may be a short 8.3 alias) is always looked up.
Presence presence(const VariantFolder& folder, const std::string& name) {
    if (!folder.listed) {
        return Presence::kLookUp;
    }
    if (kFileNamesIgnoreCase &&
        (folder.beyondAscii || !isAscii(name) || name.find('~') != std::string::npos)) {
        return Presence::kLookUp;
    }
    const auto found = folder.keys.find(nameKey(name));
    if (found == folder.keys.end()) {
        return Presence::kAbsent;
    }
    return found->second ? Presence::kRegular : Presence::kLookUp;
}

// Whether the variant file at path, whose listing said what it did, is to be used.
int variantFileUsable(Presence what, const std::string& path, std::string& why) {
    switch (what) {
    case Presence::kAbsent:
        return 0;
    case Presence::kRegular:
        return regularFileOpens(path, why);
    case Presence::kLookUp:
        return fileExists(path, why);
    }
    return 0;
}

// A variant file under a name that differs from the base image's in letter case alone is used
// where names ignore case and not elsewhere: the same tree packs other bytes on the two systems.
// Tells each such file for the base entry base, whose path has the theme digit at digitAt.
void tellCaseTwins(CaseTwinSearch& search, const std::string& themeFolder,
                   const ImageFileEntry& base, std::size_t digitAt, const std::string& theme,
                   std::vector<SourceProblem>& problems) {
    std::vector<std::string> relative;
    for (std::size_t at = digitAt + 2; at <= base.dirPath.size();) {
        const std::size_t end =
            std::min(base.dirPath.find(kPathSeparator, at), base.dirPath.size());
        relative.push_back(base.dirPath.substr(at, end - at));
        at = end + 1;
    }
    relative.push_back(base.fileName);
    const std::string basePath = joinPath(base.dirPath, base.fileName);
    for (const std::string& twin : findCaseTwins(search, themeFolder, relative)) {
        problems.push_back(
            {SourceProblemKind::kCaseTwin,
             "warning: theme " + theme + ": " + twin + " differs from " + basePath +
                 " in letter case alone: " +
                 (kFileNamesIgnoreCase
                      ? "Windows uses it in its place, systems that compare names exactly do not"
                      : "it is not used, though Windows would use it in its place")});
    }
}

// Where entry lies below its theme folder, whose digit is at digitAt, with letters upper-cased:
// the same for a base image and for the variant file that replaces it on any system.
std::string pathInTheme(const ImageFileEntry& entry, std::size_t digitAt) {
    return upperAscii(joinPath(entry.dirPath.substr(digitAt + 1), entry.fileName));
}

// The variant's images that replace nothing: a misspelt folder, a file theme 0 lacks. The scan's
// own problems are not told: those of the folders theme 0 shares are told for theme 0.
void tellVariantOnlyImages(const ImageFileEntry& head, const std::string& rootPath,
                           const ImageFileEntry& baseList, std::vector<SourceProblem>& problems) {
    const std::size_t digitAt = rootPath.size() + 1;
    std::unordered_set<std::string> basePaths;
    for (const ImageFileEntry* base = baseList.next.get(); base != nullptr;
         base = base->next.get()) {
        basePaths.insert(pathInTheme(*base, digitAt));
    }
    ImageFileEntry found;
    std::vector<SourceProblem> unused;
    scanImageFolder(found, head.dirPath, head.groupName, rootPath, unused);
    std::vector<std::string> only;
    for (const ImageFileEntry* file = found.next.get(); file != nullptr; file = file->next.get()) {
        if (basePaths.count(pathInTheme(*file, digitAt)) == 0) {
            only.push_back(joinPath(file->dirPath, file->fileName));
        }
    }
    if (only.empty()) {
        return;
    }
    problems.push_back(
        {SourceProblemKind::kVariantOnly,
         "theme " + head.groupName + ": " + std::to_string(only.size()) +
             (only.size() == 1 ? " file has no image of theme 0 at its path and is"
                               : " files have no image of theme 0 at their paths and are") +
             " not packed: " + firstFewOf(only, kVariantOnlyNamed)});
}

} // namespace

int listVariantTheme(ImageFileEntry& head, const std::string& rootPath, int n,
                     const ImageFileEntry& baseList, std::vector<SourceProblem>& problems) {
    head.dirPath = themeFolderPath(rootPath, n);
    head.groupName = std::to_string(n);
    // Every base path starts with rootPath, a separator and the base theme's digit; only that
    // digit changes, so later components named 0 stay as they are.
    const std::size_t digitAt = rootPath.size() + 1;
    const char digit = static_cast<char>('0' + n);
    const ImageFileEntry* base = baseList.next.get();
    std::map<std::string, VariantFolder> folders;
    const VariantFolder* folder = nullptr;
    std::string baseFolder;
    std::string candidate;
    std::string why;
    CaseTwinSearch twins;
    for (std::int32_t i = 0; i < baseList.count && base != nullptr; ++i, base = base->next.get()) {
        auto entry = std::make_unique<ImageFileEntry>();
        entry->fileName = base->fileName;
        entry->groupName = base->groupName;
        // The entries of one folder come together: its listing is looked for once per run of them.
        if (folder == nullptr || base->dirPath != baseFolder) {
            baseFolder = base->dirPath;
            candidate = base->dirPath;
            if (digitAt < candidate.size()) {
                candidate[digitAt] = digit;
            }
            auto found = folders.find(candidate);
            if (found == folders.end()) {
                found = folders.emplace(candidate, listVariantFolder(candidate)).first;
            }
            folder = &found->second;
        }
        const std::string path = joinPath(candidate, base->fileName);
        const bool used = variantFileUsable(presence(*folder, base->fileName), path, why) != 0;
        // Where names ignore case, a used file may be a twin; elsewhere, one that is not there.
        if (used == kFileNamesIgnoreCase && why.empty()) {
            tellCaseTwins(twins, head.dirPath, *base, digitAt, head.groupName, problems);
        }
        if (used) {
            entry->dirPath = candidate;
        } else {
            entry->dirPath = base->dirPath;
            if (!why.empty()) {
                problems.push_back({SourceProblemKind::kNotAVariantFile,
                                    "theme " + head.groupName + ": " + path + " " + why + "; " +
                                        joinPath(base->dirPath, base->fileName) +
                                        " is used in its place"});
            }
        }
        why.clear();
        appendFileEntry(head, std::move(entry));
    }
    tellVariantOnlyImages(head, rootPath, baseList, problems);
    return 1;
}
