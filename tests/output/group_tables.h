// Group tables built in memory from records of chosen sizes, and the byte-building helpers the
// writer's tests compare files against.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_record.h"
#include "image/name_field.h"

using Bytes = std::vector<std::uint8_t>;

inline void putU32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

/// text cut or zero-padded to width.
inline void putText(Bytes& out, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

/// The image bytes of a record: a 16-byte header whose magic and size agree with dataSize (an
/// uncompressed image is one row of (dataSize - 16) / 2 pixels), then a payload that differs
/// with seed.
inline Bytes imageBytes(std::uint32_t dataSize, int seed, bool compressed) {
    Bytes bytes;
    putText(bytes, compressed ? "RLE4" : "PRI0", 4);
    putU32(bytes, compressed ? 8 : (dataSize - 16) / 2);
    putU32(bytes, compressed ? 8 : 1);
    putU32(bytes, 16);
    for (std::uint32_t i = 16; i < dataSize; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(seed * 31 + i * 7));
    }
    return bytes;
}

struct ImageSpec {
    std::string name;
    std::uint32_t dataSize = 0;
};

struct GroupSpec {
    std::string name;
    std::vector<ImageSpec> images;
};

/// The seed of theme t's copy of image k of group g, so that every copy's bytes differ.
inline int imageSeed(int theme, std::size_t group, std::size_t image) {
    return theme * 100 + static_cast<int>(group * 10 + image);
}

inline std::unique_ptr<ImageGroup> makeGroupTable(const std::vector<GroupSpec>& groups, int theme,
                                                  bool compressed) {
    auto head = std::make_unique<ImageGroup>();
    std::unique_ptr<ImageGroup>* groupLink = &head->next;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        auto group = std::make_unique<ImageGroup>();
        copyNameField(group->name.data(), kGroupNameSize - 1, groups[g].name);
        std::unique_ptr<ImageRecord>* imageLink = &group->images;
        for (std::size_t k = 0; k < groups[g].images.size(); ++k) {
            const ImageSpec& spec = groups[g].images[k];
            auto record = std::make_unique<ImageRecord>();
            copyNameField(record->name.data(), kImageNameSize, spec.name);
            record->path = spec.name;
            record->dataSize = spec.dataSize;
            const Bytes bytes = imageBytes(spec.dataSize, imageSeed(theme, g, k), compressed);
            auto data = std::make_shared<std::uint8_t[]>(bytes.size());
            std::copy(bytes.begin(), bytes.end(), data.get());
            record->data = std::move(data);
            *imageLink = std::move(record);
            imageLink = &(*imageLink)->next;
            ++group->count;
        }
        *groupLink = std::move(group);
        groupLink = &(*groupLink)->next;
        ++head->count;
    }
    return head;
}
