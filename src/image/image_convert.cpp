// Converting listed bitmap files into image records: read, check, convert to RGB565, wrap in
// a PRI0 header and, when compressing, run-length encode. Each file is done once per run and
// its result shared by every theme whose list names it. Jobs are claimed in order from one
// counter; each job's done flag hands its result to the filing thread.
#include "image/image_convert.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "codec/image_format.h"
#include "codec/rle_encoder.h"
#include "common/byte_order.h"
#include "common/linked_chain.h"
#include "common/name_field.h"
#include "image/bmp_reader.h"
#include "platform/files.h"
#include "platform/threads.h"

namespace {

// Stored rows are read in bands of about this many bytes (one row at least), so that the memory a
// conversion takes does not grow with the image.
constexpr std::size_t kBandBytes = std::size_t{1} << 20;
// Converted images that workers hold for the filing thread may take this much before the workers
// wait for it: ahead of a theme that stops, their work is lost.
constexpr std::uint64_t kAheadBudget = std::uint64_t{16} << 20;

// The encoder counts its units in an int, and a slot's size is a 32-bit field.
std::string runsTooLarge(std::int32_t width, std::int32_t height) {
    return bmpDimensions(width, height) +
           "; their runs may take more than the 4 GiB an image may take in a slot";
}

// Reads the headers, head first: every limit is checked on them before any pixel is read and
// before any buffer of the image's size is reserved.
ImageResult readImageHeaders(const std::string& path, int compress, std::size_t headBytes,
                             FileBytes& file, BmpLayout& layout, std::string& cause) {
    BmpFrame frame;
    ImageResult result = checkImageHeaders(path, compress, headBytes, file, frame, cause);
    if (result == ImageResult::kOk) {
        result = readFileRest(file, frame.headerBytes, cause);
    }
    if (result == ImageResult::kOk) {
        result = readBmpLayout(file.view(), file.fileSize, layout);
    }
    return result;
}

// The stored rows of picture rows [y, y + count), from the one stored first: in the head when it
// holds them, else read into scratch.band.
ImageResult readBand(ConversionScratch& scratch, const BmpLayout& layout, std::int32_t y,
                     std::int32_t count, const std::uint8_t*& rows, std::string& cause) {
    const std::int32_t first = std::min(storedRowOf(layout, y), storedRowOf(layout, y + count - 1));
    const std::uint64_t begin = storedRowOffset(layout, first);
    const std::uint64_t end = storedRowOffset(layout, first + count - 1) + storedRowBytes(layout);
    FileBytes& file = scratch.file;
    if (end <= file.buffer.size) {
        rows = file.buffer.data.get() + begin;
        return ImageResult::kOk;
    }
    const ImageResult result =
        readFileRange(file, begin, static_cast<std::size_t>(end - begin), scratch.band, cause);
    rows = scratch.band.data.get();
    return result;
}

// The image's rows, top row first, as RGB565 in place in pri0 (its pixel area) or, when pri0 is
// null, each run-length encoded behind the last at rle; units counts the 16-bit units encoded,
// fourth gathers a 32-bit image's fourth bytes.
ImageResult convertRows(ConversionScratch& scratch, const BmpLayout& layout, std::uint8_t* pri0,
                        std::uint8_t* rle, std::size_t& units, FourthBytes& fourth,
                        std::string& cause) {
    const std::size_t rowBytes = 2 * static_cast<std::size_t>(layout.width);
    const std::uint64_t perBand = kBandBytes / layout.stride;
    const auto bandRows = static_cast<std::int32_t>(perBand < 1           ? 1
                                                    : perBand > INT32_MAX ? INT32_MAX
                                                                          : perBand);
    units = 0;
    for (std::int32_t y = 0; y < layout.height;) {
        const std::int32_t count = std::min(bandRows, layout.height - y);
        const std::uint8_t* rows = nullptr;
        const ImageResult result = readBand(scratch, layout, y, count, rows, cause);
        if (result != ImageResult::kOk) {
            return result;
        }
        const std::int32_t first =
            std::min(storedRowOf(layout, y), storedRowOf(layout, y + count - 1));
        for (const std::int32_t end = y + count; y < end; ++y) {
            const std::uint8_t* source =
                rows + static_cast<std::uint64_t>(storedRowOf(layout, y) - first) * layout.stride;
            std::uint8_t* pixels = pri0 != nullptr ? pri0 + static_cast<std::size_t>(y) * rowBytes
                                                   : scratch.row.data.get();
            if (!convertBmpRow(layout, source, pixels)) {
                return ImageResult::kBadPaletteIndex;
            }
            noteFourthBytes(layout, source, fourth);
            if (pri0 == nullptr) {
                units += static_cast<std::size_t>(
                    encodeRuns16(rle + units * 2, pixels, layout.width, y == layout.height - 1));
            }
        }
    }
    return ImageResult::kOk;
}

// Writes the header at blob and sets the image's size: a PRI0 block, or an RLE4 image of units
// 16-bit units, padded to whole words. A slot's size is a 32-bit field: an image whose runs do
// not fit is refused, never cut.
ImageResult finishImage(std::uint8_t* blob, const BmpLayout& layout, int compress,
                        std::size_t units, ConvertedImage& image) {
    std::uint64_t size = kImageHeaderSize + std::uint64_t{layout.outputSize};
    if (compress != 0) {
        if (units % 2 != 0) {
            storeU16Le(blob + kImageHeaderSize + units * 2, 0);
            ++units;
        }
        size = kImageHeaderSize + std::uint64_t{units} * 2;
    }
    if (size > kMaxStoredSize) {
        image.cause = runsTooLarge(layout.width, layout.height);
        return ImageResult::kTooLarge;
    }
    writeImageHeader(blob,
                     {compress == 0 ? kPri0Magic : kRle4Magic, layout.width, layout.height, 16});
    image.dataSize = static_cast<std::uint32_t>(size);
    return ImageResult::kOk;
}

// The converted image goes straight into the arena, row by row: as a PRI0 block, or run-length
// encoded into room for its worst case, of which it keeps what it used. The file is read a band
// of rows at a time, so that only the image's result grows with its size.
ConvertedImage convertFile(const std::string& path, int compress, std::size_t headBytes,
                           ConversionScratch& scratch) {
    ConvertedImage image;
    BmpLayout layout;
    image.result = readImageHeaders(path, compress, headBytes, scratch.file, layout, image.cause);
    if (image.result == ImageResult::kOk) {
        image.width = layout.width;
        image.height = layout.height;
        // The layout check guarantees that the header plus the pixels fit in 32 bits; the encoder's
        // bound is counted in 64 bits and is below INT_MAX words (checked on the headers).
        const std::size_t room =
            compress == 0 ? kImageHeaderSize + layout.outputSize
                          : static_cast<std::size_t>(
                                rleImageSizeBound(layout.width, layout.height, 16, RunMode::kRows));
        std::uint8_t* blob = arenaRoom(scratch.kept, room);
        std::size_t units = 0;
        FourthBytes fourth;
        if (blob == nullptr ||
            (compress != 0 &&
             !reserveBytes(scratch.row, 2 * static_cast<std::size_t>(layout.width)))) {
            image.result = ImageResult::kOutOfMemory;
        } else {
            std::uint8_t* pixels = blob + kImageHeaderSize;
            image.result = convertRows(scratch, layout, compress == 0 ? pixels : nullptr, pixels,
                                       units, fourth, image.cause);
        }
        if (image.result == ImageResult::kOk) {
            image.result = finishImage(blob, layout, compress, units, image);
            image.transparencyLost = losesTransparency(layout, fourth);
        }
    }
    closeInputFile(scratch.file.input);
    image.machineShortage = isMachineFailure(image.result, scratch.file);
    if (image.result == ImageResult::kOk) {
        image.data = arenaKeep(scratch.kept, image.dataSize);
    }
    return image;
}

// Workers may be claiming jobs while more are planned: the list grows under handInLock, and they
// are told.
std::int32_t addJob(ImageConverter& converter, const std::string& path) {
    std::int32_t index = 0;
    {
        const std::lock_guard<std::mutex> lock(converter.handInLock);
        converter.jobs.emplace_back(path);
        index = static_cast<std::int32_t>(converter.jobs.size() - 1);
    }
    converter.handedIn.notify_all();
    return index;
}

// Converts job; a worker's result counts as held ahead of the filing until it is taken.
void convertJob(ImageConverter& converter, ConversionJob& job, ConversionScratch& scratch,
                bool ahead) {
    job.result = convertFile(job.path, converter.compress, converter.headBytes, scratch);
    {
        const std::lock_guard<std::mutex> lock(converter.handInLock);
        job.ahead = ahead;
        converter.aheadBytes += ahead ? job.result.dataSize : 0;
        job.done.store(1, std::memory_order_release);
    }
    converter.handedIn.notify_all();
}

// Converts the jobs in order, as they are claimed, until none is left; run by every worker. A
// worker claims a job only while what the workers hold ahead of the filing is within the budget,
// so that the memory of a run does not grow with its threads.
void startWorker(void* context) {
    auto* worker = static_cast<ConversionWorker*>(context);
    ImageConverter& converter = *worker->converter;
    for (;;) {
        ConversionJob* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(converter.handInLock);
            converter.handedIn.wait(lock, [&converter] {
                return converter.stopping.load() ||
                       (converter.aheadBytes < kAheadBudget &&
                        (converter.nextJob.load() < converter.jobs.size() || converter.planned));
            });
            std::size_t next = converter.nextJob.load();
            while (next < converter.jobs.size() &&
                   !converter.nextJob.compare_exchange_weak(next, next + 1)) {
            }
            if (converter.stopping.load() || (next >= converter.jobs.size() && converter.planned)) {
                return;
            }
            if (next < converter.jobs.size()) {
                job = &converter.jobs[next];
            }
        }
        if (job != nullptr) {
            convertJob(converter, *job, worker->scratch, true);
        }
    }
}

// The filing thread has job: what it held ahead no longer counts.
void takeFromWorker(ImageConverter& converter, ConversionJob& job) {
    {
        const std::lock_guard<std::mutex> lock(converter.handInLock);
        if (!job.ahead) {
            return;
        }
        job.ahead = false;
        converter.aheadBytes -= job.result.dataSize;
    }
    converter.handedIn.notify_all();
}

// The result of job index. Alone, the filing thread converts exactly the files it files, when it
// files them, so a theme that stops leaves its later files unopened; with workers, it converts
// whatever nobody has claimed until a worker hands index in.
const ConvertedImage& awaitJob(ImageConverter& converter, std::size_t index) {
    ConversionJob& wanted = converter.jobs[index];
    if (converter.workers.empty()) {
        if (wanted.done.load(std::memory_order_relaxed) == 0) {
            convertJob(converter, wanted, converter.scratch, false);
        }
        return wanted.result;
    }
    while (wanted.done.load(std::memory_order_acquire) == 0) {
        std::size_t next = converter.nextJob.load();
        if (next >= converter.jobs.size()) {
            // A worker has it.
            std::unique_lock<std::mutex> lock(converter.handInLock);
            converter.handedIn.wait(lock, [&wanted] { return wanted.done.load() != 0; });
        } else if (converter.nextJob.compare_exchange_weak(next, next + 1)) {
            convertJob(converter, converter.jobs[next], converter.scratch, false);
        }
    }
    takeFromWorker(converter, wanted);
    return wanted.result;
}

// Jobs for the entries of list that have none yet, each a file of its own.
void planList(ImageConverter& converter, ImageFileEntry& list) {
    ImageFileEntry* entry = list.next.get();
    for (std::int32_t i = 0; i < list.count && entry != nullptr; ++i, entry = entry->next.get()) {
        if (entry->fileIndex < 0) {
            entry->fileIndex = addJob(converter, joinPath(entry->dirPath, entry->fileName));
        }
    }
}

// Gives record the converted image, or fills failure with why there is none.
int takeImage(ImageRecord& record, const ConvertedImage& image, ImageFailure& failure) {
    if (image.result != ImageResult::kOk) {
        failure = {record.path, image.result, image.cause, image.machineShortage};
        return 0;
    }
    record.width = image.width;
    record.height = image.height;
    record.dataSize = image.dataSize;
    record.data = image.data;
    record.transparencyLost = image.transparencyLost;
    return 1;
}

} // namespace

ImageResult checkImageHeaders(const std::string& path, int compress, std::size_t headBytes,
                              FileBytes& file, BmpFrame& frame, std::string& cause) {
    ImageResult result = readFileHead(path, file, cause, headBytes);
    if (result == ImageResult::kOk) {
        result = readBmpFrame(file.view(), file.fileSize, frame);
        cause = bmpRefusalDetail(file.view(), result);
    }
    // The encoder refuses an image whose worst case it cannot count.
    if (result == ImageResult::kOk && compress != 0 &&
        rleImageSizeBound(frame.width, frame.height, 16, RunMode::kRows) == 0) {
        result = ImageResult::kTooLarge;
        cause = runsTooLarge(frame.width, frame.height);
    }
    return result;
}

bool isMachineFailure(ImageResult result, const FileBytes& file) {
    const bool fileFailed = result == ImageResult::kCannotOpen || result == ImageResult::kReadError;
    return result == ImageResult::kOutOfMemory || (fileFailed && file.machineShortage);
}

ImageConverter::~ImageConverter() {
    stopConversionWorkers(*this);
}

void planConversions(ImageConverter& converter,
                     const PerTheme<std::unique_ptr<ImageFileEntry>>& lists, int theme) {
    if (!lists[0] || !lists[theme]) {
        return;
    }
    if (theme == 0) {
        planList(converter, *lists[0]);
        return;
    }
    // A variant entry names the base entry's file exactly when it kept the base folder.
    const ImageFileEntry* base = lists[0]->next.get();
    for (ImageFileEntry* entry = lists[theme]->next.get(); entry != nullptr;
         entry = entry->next.get(), base = base ? base->next.get() : nullptr) {
        if (base != nullptr && entry->dirPath == base->dirPath &&
            entry->fileName == base->fileName) {
            entry->fileIndex = base->fileIndex;
        } else {
            entry->fileIndex = addJob(converter, joinPath(entry->dirPath, entry->fileName));
        }
    }
}

void finishPlanning(ImageConverter& converter) {
    {
        const std::lock_guard<std::mutex> lock(converter.handInLock);
        converter.planned = true;
    }
    converter.handedIn.notify_all();
}

void startConversionWorkers(ImageConverter& converter, unsigned threads) {
    for (unsigned t = 1; t < threads; ++t) {
        auto worker = std::make_unique<ConversionWorker>();
        worker->converter = &converter;
        std::string ignored;
        if (!startThread(startWorker, worker.get(), worker->thread, ignored)) {
            break; // fewer threads only make the run slower
        }
        converter.workers.push_back(std::move(worker));
    }
}

void stopConversionWorkers(ImageConverter& converter) {
    {
        const std::lock_guard<std::mutex> lock(converter.handInLock);
        converter.stopping.store(true);
    }
    converter.handedIn.notify_all(); // a worker may wait for the budget
    for (const auto& worker : converter.workers) {
        joinThread(worker->thread);
    }
    converter.workers.clear();
}

int convertImage(ImageRecord& record, int compress, ImageConverter& converter,
                 ImageFailure& failure) {
    return takeImage(record,
                     convertFile(record.path, compress, converter.headBytes, converter.scratch),
                     failure);
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

int createImageRecords(ImageFileEntry& fileList, ImageGroup& groupTable, int compress,
                       ImageConverter& converter, ImageFailure& failure) {
    const ImageFileEntry* entry = fileList.next.get();
    if (entry == nullptr) {
        return 0;
    }
    if (converter.workers.empty()) {
        converter.compress = compress;
        planList(converter, fileList);
    }
    for (std::int32_t i = 0; i < fileList.count && entry != nullptr;
         ++i, entry = entry->next.get()) {
        auto record = std::make_unique<ImageRecord>();
        copyNameField(record->name.data(), kImageNameSize, entry->fileName);
        record->path = joinPath(entry->dirPath, entry->fileName);
        const auto job = static_cast<std::size_t>(entry->fileIndex);
        if (takeImage(*record, awaitJob(converter, job), failure) == 0) {
            failure.position = i;
            return 0;
        }
        addImageToGroup(groupTable, entry->groupName, std::move(record));
    }
    return 1;
}
