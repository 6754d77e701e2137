// Turning a theme's file list into image records filed into groups.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "common/byte_buffer.h"
#include "image/file_bytes.h"
#include "image/image_record.h"
#include "image/image_result.h"
#include "source/file_list.h"

/// One file's conversion, kept so that every theme naming the same file shares it.
struct ConvertedImage {
    ImageResult result = ImageResult::kOk;
    /// The OS's word on a file that could not be opened or read.
    std::string cause;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t dataSize = 0;
    std::shared_ptr<const std::uint8_t[]> data;
};

/// What the conversions of a run share: the buffers reused from image to image, and every
/// file's result by path, so that a file is read and converted once per run however many
/// themes fall back to it.
struct ImageConverter {
    /// Bytes read first from every file, before its headers are checked (see readFileHead).
    std::size_t headBytes = kFileHeadBytes;
    FileBytes file;
    ByteBuffer flatBlock;
    ByteBuffer encoded;
    std::unordered_map<std::string, ConvertedImage> convertedByPath;
};

/// The image that stopped a theme's walk, and why.
struct ImageFailure {
    std::string path;
    ImageResult result = ImageResult::kOk;
    /// Why the file could not be opened or read, as the OS tells it; empty for other reasons.
    std::string cause;
};

/// Converts every entry of fileList, in order, into a record filed into groupTable under the
/// entry's group name; run-length encodes when compress is non-zero. Returns 1 when every entry
/// was filed; 0 for an empty list, or at the first image that fails (filling failure): the
/// records filed before it stay, it and the later entries are not converted.
int createImageRecords(const ImageFileEntry& fileList, ImageGroup& groupTable, int compress,
                       ImageConverter& converter, ImageFailure& failure);

/// Converts the file at record.path and sets width, height, dataSize and data. Returns 1, or 0
/// with the path and the reason in failure. Only a regular file is opened, and no buffer is
/// reserved before the headers have shown that the image is within every limit.
int convertImage(ImageRecord& record, int compress, ImageConverter& converter,
                 ImageFailure& failure);

/// Files record at the end of the group called groupName (cut to the group name field), creating
/// that group behind the last one when the table has none of that name. Returns 1.
int addImageToGroup(ImageGroup& groupTable, const std::string& groupName,
                    std::unique_ptr<ImageRecord> record);
