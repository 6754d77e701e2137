// Names that Index.bin cannot tell apart. A group keeps the first 29 bytes of its folder's name,
// so folders whose names agree in those bytes make one group; the index keeps only the first 11
// bytes of a group name and the first 39 of an image name, and two names cut to the same bytes
// look alike to a device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_record.h"

enum class NameCollisionKind : std::uint8_t {
    kImage,   // two images of a group stored alike: the source paths of the images
    kGroup,   // two groups stored alike: the source paths of the first image of each
    kFolders, // two folders that make one group: the folders' paths
};

/// Two names that are kept alike: `firstPath` and `laterPath` (in filing order) as the kind says,
/// and the name as it is kept.
struct NameCollision {
    NameCollisionKind kind = NameCollisionKind::kImage;
    std::string stored;
    std::string firstPath;
    std::string laterPath;
};

/// In the base theme's table: every later folder of another name that was filed into a group
/// (paired with the group's first folder), every later group whose stored name equals an earlier
/// group's, and every later image whose stored name equals an earlier image's of the same group
/// (each paired with the first one stored alike).
std::vector<NameCollision> findStoredNameCollisions(const ImageGroup& groupTable);
