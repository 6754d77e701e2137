// Finding names that the index stores alike.
#include "output/name_collisions.h"

#include <string_view>
#include <unordered_map>

#include "common/name_field.h"
#include "output/bin_format.h"

namespace {

std::string storedName(const char* field, std::size_t fieldWidth, std::size_t storedWidth) {
    const std::string_view name = nameFieldView(field, fieldWidth);
    return std::string(name.substr(0, storedWidth));
}

void findImageCollisions(const ImageGroup& group, std::vector<NameCollision>& collisions) {
    std::unordered_map<std::string, const ImageRecord*> seen;
    for (const ImageRecord* image = group.images.get(); image != nullptr;
         image = image->next.get()) {
        std::string stored = storedName(image->name.data(), kImageNameSize, kImageNameFieldWidth);
        const auto [first, added] = seen.emplace(stored, image);
        if (!added) {
            collisions.push_back({false, std::move(stored), first->second->path, image->path});
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
            collisions.push_back(
                {true, std::move(stored), first->second->images->path, group->images->path});
        }
        findImageCollisions(*group, collisions);
    }
    return collisions;
}
