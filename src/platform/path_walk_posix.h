// Paths longer than the OS limit (PATH_MAX), for the *at calls: the folder that holds the last
// component is opened one component at a time, so that a deep tree is no limit. Internal to the
// POSIX files of the platform layer.
#pragma once

#include <string>

/// The folder that holds a path's last component, as a descriptor for the *at calls, and that
/// component. A path within the OS limit is used as it is, relative to the current folder.
struct PathParent {
    int folder = -1;
    std::string leaf;

    PathParent() = default;
    PathParent(const PathParent&) = delete;
    PathParent& operator=(const PathParent&) = delete;
    ~PathParent();
};

/// Fills parent for path, following links on the way like the OS does. Returns false with the
/// errno value in err when a folder on the way cannot be opened.
bool openPathParent(const std::string& path, PathParent& parent, int& err);
