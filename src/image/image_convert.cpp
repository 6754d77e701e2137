// Converting listed bitmap files into image records: read, check, convert to RGB565, wrap in
// a PRI0 header and, when compressing, run-length encode. Each file is done once per run and
// its result shared by every theme whose list names it.
#include "image/image_convert.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "codec/image_format.h"
#include "codec/rle_encoder.h"
#include "common/linked_chain.h"
#include "common/name_field.h"
#include "image/bmp_reader.h"
#include "platform/platform.h"

namespace {

std::shared_ptr<std::uint8_t[]> allocateBlob(std::size_t size) {
    return std::shared_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

// Reads what the conversion needs, head first: every limit is checked on the headers, before
// the pixel array is read and before any buffer of the image's size is reserved.
ImageResult readImageFile(const std::string& path, int compress, ImageConverter& converter,
                          BmpLayout& layout, std::string& cause) {
    FileBytes& file = converter.file;
    ImageResult result = readFileHead(path, file, cause, converter.headBytes);
    BmpFrame frame;
    if (result == ImageResult::kOk) {
        result = readBmpFrame(file.view(), file.fileSize, frame);
    }
    // The encoder refuses an image whose worst case it cannot count.
    if (result == ImageResult::kOk && compress != 0 &&
        rleImageSizeBound(frame.width, frame.height, 16, 1) == 0) {
        result = ImageResult::kTooLarge;
    }
    if (result == ImageResult::kOk) {
        result = readFileRest(file, frame.bytesNeeded, cause);
    }
    if (result == ImageResult::kOk) {
        result = readBmpLayout(file.view(), layout);
    }
    file.stream.reset();
    return result;
}

ConvertedImage convertFile(const std::string& path, int compress, ImageConverter& converter) {
    ConvertedImage image;
    BmpLayout layout;
    image.result = readImageFile(path, compress, converter, layout, image.cause);
    if (image.result != ImageResult::kOk) {
        return image;
    }
    const auto bytes = converter.file.view();
    image.width = layout.width;
    image.height = layout.height;
    const ImageHeader header{kPri0Magic, layout.width, layout.height, 16};
    // The layout check guarantees that the header plus the pixels fit in 32 bits.
    const std::uint32_t pri0Size = static_cast<std::uint32_t>(kImageHeaderSize) + layout.outputSize;

    if (compress == 0) {
        auto blob = allocateBlob(pri0Size);
        if (!blob) {
            image.result = ImageResult::kOutOfMemory;
            return image;
        }
        writeImageHeader(blob.get(), header);
        convertBmpPixels(bytes, layout, {blob.get() + kImageHeaderSize, layout.outputSize});
        image.dataSize = pri0Size;
        image.data = std::move(blob);
        return image;
    }

    const std::uint64_t encodedBound = rleImageSizeBound(layout.width, layout.height, 16, 1);
    if (!reserveBytes(converter.flatBlock, pri0Size) ||
        !reserveBytes(converter.encoded, encodedBound)) {
        image.result = ImageResult::kOutOfMemory;
        return image;
    }
    std::uint8_t* flat = converter.flatBlock.data.get();
    writeImageHeader(flat, header);
    convertBmpPixels(bytes, layout, {flat + kImageHeaderSize, layout.outputSize});
    const int words = encodeRleImage(flat, converter.encoded.data.get(), 1);
    // A slot's size is a 32-bit field: an image whose runs do not fit is refused, never cut.
    const std::uint64_t encodedBytes =
        words < 0 ? 0 : std::uint64_t{4} * static_cast<unsigned>(words);
    if (encodedBytes == 0 || encodedBytes > UINT32_MAX) {
        image.result = ImageResult::kTooLarge;
        return image;
    }
    // Keep the encoded image at its real size; the scratch buffers serve the next image.
    const auto encodedSize = static_cast<std::uint32_t>(encodedBytes);
    auto blob = allocateBlob(encodedSize);
    if (!blob) {
        image.result = ImageResult::kOutOfMemory;
        return image;
    }
    std::memcpy(blob.get(), converter.encoded.data.get(), encodedSize);
    image.dataSize = encodedSize;
    image.data = std::move(blob);
    return image;
}

} // namespace

int convertImage(ImageRecord& record, int compress, ImageConverter& converter,
                 ImageFailure& failure) {
    auto found = converter.convertedByPath.find(record.path);
    if (found == converter.convertedByPath.end()) {
        found = converter.convertedByPath
                    .emplace(record.path, convertFile(record.path, compress, converter))
                    .first;
    }
    const ConvertedImage& image = found->second;
    if (image.result != ImageResult::kOk) {
        failure = {record.path, image.result, image.cause};
        return 0;
    }
    record.width = image.width;
    record.height = image.height;
    record.dataSize = image.dataSize;
    record.data = image.data;
    return 1;
}

int addImageToGroup(ImageGroup& groupTable, const std::string& groupName,
                    std::unique_ptr<ImageRecord> record) {
    // Names are cut to the field before they are compared, so one folder name always gives
    // one group however long it is.
    std::array<char, kGroupNameSize> name{};
    copyNameField(name.data(), kGroupNameSize - 1, groupName);
    // The files of one folder come together, so the last group is the usual match.
    ImageGroup* group = groupTable.lastGroup;
    if (group == nullptr || group->name != name) {
        group = groupTable.next.get();
        while (group != nullptr && group->name != name) {
            group = group->next.get();
        }
    }
    if (group == nullptr) {
        auto fresh = std::make_unique<ImageGroup>();
        fresh->name = name;
        group = fresh.get();
        appendToChain(groupTable.next, groupTable.lastGroup, std::move(fresh));
        ++groupTable.count;
    }
    appendToChain(group->images, group->lastImage, std::move(record));
    ++group->count;
    return 1;
}

int createImageRecords(const ImageFileEntry& fileList, ImageGroup& groupTable, int compress,
                       ImageConverter& converter, ImageFailure& failure) {
    const ImageFileEntry* entry = fileList.next.get();
    if (entry == nullptr) {
        return 0;
    }
    for (std::int32_t i = 0; i < fileList.count && entry != nullptr;
         ++i, entry = entry->next.get()) {
        auto record = std::make_unique<ImageRecord>();
        copyNameField(record->name.data(), kImageNameSize, entry->fileName);
        record->path = joinPath(entry->dirPath, entry->fileName);
        if (convertImage(*record, compress, converter, failure) == 0) {
            return 0;
        }
        addImageToGroup(groupTable, entry->groupName, std::move(record));
    }
    return 1;
}
