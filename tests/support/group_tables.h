// Group tables filled by hand, as image conversion files them, with the bytes a test chooses as
// each image's data; and byte strings joined, as the bins and seeds are put together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/name_field.h"
#include "image/image_convert.h"

/// Files a record called name, holding bytes, at the end of group in table.
inline void fileRecord(ImageGroup& table, const std::string& group, const std::string& name,
                       const std::vector<std::uint8_t>& bytes) {
    auto record = std::make_unique<ImageRecord>();
    copyNameField(record->name.data(), kImageNameSize, name);
    record->dataSize = static_cast<std::uint32_t>(bytes.size());
    auto data = std::make_shared<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.get());
    record->data = std::move(data);
    addImageToGroup(table, group, std::move(record));
}

/// The parts one after another.
inline std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}
