// Looking for variant files whose names differ from a base image's in letter case alone, folder
// by folder through the listings, as a file system that ignores case would match them.
#include "source/case_twins.h"

#include "common/ascii_case.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace {

const std::multimap<std::string, FolderEntry>& listingOf(CaseTwinSearch& search,
                                                         const std::string& folder) {
    const auto found = search.listings.find(folder);
    if (found != search.listings.end()) {
        return found->second;
    }
    std::multimap<std::string, FolderEntry>& listing = search.listings[folder];
    FolderHandle handle;
    std::vector<FolderEntry> entries;
    std::string error;
    if (openFolder(folder, handle, error) && listFolder(handle, entries, error)) {
        for (FolderEntry& entry : entries) {
            listing.emplace(upperAscii(entry.name), std::move(entry));
        }
    }
    return listing;
}

struct TwinWalk {
    CaseTwinSearch& search;
    const std::vector<std::string>& relative;
    std::vector<std::string> twins;
    bool exact = false;
};

void walk(TwinWalk& w, const std::string& folder, std::size_t level, bool differs) {
    const std::string& wanted = w.relative[level];
    const bool last = level + 1 == w.relative.size();
    const auto [first, end] = listingOf(w.search, folder).equal_range(upperAscii(wanted));
    for (auto at = first; at != end; ++at) {
        const FolderEntry& entry = at->second;
        if (entry.isFolder == last) {
            continue; // a folder where the file belongs, or a file on the way to it
        }
        const std::string path = joinPath(folder, entry.name);
        const bool entryDiffers = differs || entry.name != wanted;
        if (!last) {
            walk(w, path, level + 1, entryDiffers);
        } else if (entryDiffers) {
            w.twins.push_back(path);
        } else {
            w.exact = true;
        }
    }
}

} // namespace

std::vector<std::string> findCaseTwins(CaseTwinSearch& search, const std::string& themeFolder,
                                       const std::vector<std::string>& relative) {
    if (relative.empty()) {
        return {};
    }
    TwinWalk w{search, relative, {}, false};
    walk(w, themeFolder, 0, false);
    return w.exact ? std::vector<std::string>() : w.twins;
}
