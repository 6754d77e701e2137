// Names that Index.bin cannot tell apart. Group names are told apart at their full length when
// images are filed, but the index keeps only the first 11 bytes of a group name and the first 39
// of an image name; two names cut to the same bytes look alike to a device.
#pragma once

#include <string>
#include <vector>

#include "image/image_record.h"

/// Two names that the index stores alike: `firstPath` and `laterPath` are the source paths of
/// the two images (for groups, the first image of each group), in filing order.
struct NameCollision {
    bool isGroup = false;
    std::string stored;
    std::string firstPath;
    std::string laterPath;
};

/// Every later group whose stored name equals an earlier group's, and every later image whose
/// stored name equals an earlier image's of the same group, in the base theme's table; each
/// paired with the first one stored alike.
std::vector<NameCollision> findStoredNameCollisions(const ImageGroup& groupTable);
