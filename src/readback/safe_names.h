// File names made from the raw name bytes of a build, safe on every OS the tool runs on: one
// plain name each, never a path, and never one that two images share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// raw as one plain file or folder name: separators (/ \), the characters Windows forbids
/// (: * ? " < > |), characters that would act on a terminal (isUnsafeCharacter: C0 and C1
/// controls, bidirectional overrides) and bytes outside valid UTF-8 become '_'; trailing dots and
/// blanks become '_' (so "." and ".." cannot come out); a device name of Windows (CON, NUL,
/// COM0, LPT¹, ...) gets a leading '_'; an empty name becomes "_".
std::string safeFileName(std::string_view raw);

struct NamedImage {
    std::string_view group;
    std::string_view name;
};

struct PngPath {
    /// "<group>/<name>.png", '/' as the separator.
    std::string path;
    /// The path is not the group and the name as they are.
    bool renamed = false;
};

/// For each image in order, the path of its PNG file: its group and name made safe, with a
/// trailing ".bmp" dropped from the name. A path that an earlier image took already, compared
/// with ASCII letters folded as a case-insensitive file system does, gets "~2", "~3", ... before
/// ".png".
std::vector<PngPath> pngPaths(const std::vector<NamedImage>& images);
