// Files of a variant theme whose paths differ from a base image's only in the letter case of
// their folder or file names. Windows finds them under the base image's path and uses them;
// POSIX does not. The same tree then gives other bytes on the two systems, so the user is told.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/folders.h"

/// The listings read so far, kept for the whole of one variant theme.
struct CaseTwinSearch {
    /// Per folder path, its entries keyed by name with ASCII letters upper-cased; empty for a
    /// folder that cannot be listed.
    std::map<std::string, std::multimap<std::string, FolderEntry>> listings;
};

/// The files under themeFolder whose path relative to it is relative (one name per folder, the
/// file's name last) when ASCII letters are compared without regard to case, but differs from it
/// in some letter; none when a file is there under exactly that path. In listing order.
std::vector<std::string> findCaseTwins(CaseTwinSearch& search, const std::string& themeFolder,
                                       const std::vector<std::string>& relative);
