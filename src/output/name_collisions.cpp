// Finding names that the index stores alike.
#include "output/name_collisions.h"

#include <string_view>
#include <unordered_map>

#include "common/name_field.h"
#include "output/bin_format.h"
#include "platform/files.h"

namespace {

std::string storedName(const char* field, std::size_t fieldWidth, std::size_t storedWidth) {
    const std::string_view name = nameFieldView(field, fieldWidth);
    return std::string(name.substr(0, storedWidth));
}

std::string folderOf(const std::string& path) {
    const std::size_t end = path.find_last_of(kPathSeparator);
    return end == std::string::npos ? std::string() : path.substr(0, end);
}

std::string lastName(const std::string& path) {
    return path.substr(path.find_last_of(kPathSeparator) + 1);
}

void findImageCollisions(const ImageGroup& group, std::vector<NameCollision>& collisions) {
    std::unordered_map<std::string, const ImageRecord*> seen;
    // Folders of the same name at different depths share a group on purpose; other names only
    // meet when they agree in the bytes a group keeps.
    std::unordered_map<std::string, std::string> folderNames;
    for (const ImageRecord* image = group.images.get(); image != nullptr;
         image = image->next.get()) {
        std::string stored = storedName(image->name.data(), kImageNameSize, kImageNameFieldWidth);
        const auto [first, added] = seen.emplace(stored, image);
        if (!added) {
            collisions.push_back(
                {NameCollisionKind::kImage, std::move(stored), first->second->path, image->path});
        }
        const std::string folder = folderOf(image->path);
        if (folderNames.emplace(lastName(folder), folder).second && folderNames.size() > 1) {
            collisions.push_back({NameCollisionKind::kFolders,
                                  std::string(nameFieldView(group.name.data(), kGroupNameSize)),
                                  folderOf(group.images->path), folder});
        }
    }
}

} // namespace

std::vector<NameCollision> findStoredNameCollisions(const ImageGroup& groupTable) {
    std::vector<NameCollision> collisions;
    std::unordered_map<std::string, const ImageGroup*> seen;
    for (const ImageGroup* group = groupTable.next.get(); group != nullptr;
         group = group->next.get()) {
        std::string stored = storedName(group->name.data(), kGroupNameSize, kGroupNameFieldWidth);
        const auto [first, added] = seen.emplace(stored, group);
        if (!added && first->second->images && group->images) {
            collisions.push_back({NameCollisionKind::kGroup, std::move(stored),
                                  first->second->images->path, group->images->path});
        }
        findImageCollisions(*group, collisions);
    }
    return collisions;
}
