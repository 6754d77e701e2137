// Converting listed bitmap files into image records: read, check, convert to RGB565, wrap in
// a PRI0 header and, when compressing, run-length encode. Each file is done once per run and
// its result shared by every theme whose list names it. Jobs are claimed in order from one
// counter; each job's done flag hands its result to the filing thread.
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

// Reads what the conversion needs, head first: every limit is checked on the headers, before
// the pixel array is read and before any buffer of the image's size is reserved.
ImageResult readImageFile(const std::string& path, int compress, std::size_t headBytes,
                          FileBytes& file, BmpLayout& layout, std::string& cause) {
    ImageResult result = readFileHead(path, file, cause, headBytes);
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

// The converted image goes straight into the arena: as a PRI0 block, or run-length encoded from
// the flat block in scratch into room for its worst case, of which it keeps what it used.
ConvertedImage convertFile(const std::string& path, int compress, std::size_t headBytes,
                           ConversionScratch& scratch) {
    ConvertedImage image;
    BmpLayout layout;
    image.result = readImageFile(path, compress, headBytes, scratch.file, layout, image.cause);
    if (image.result != ImageResult::kOk) {
        image.machineShortage =
            image.result == ImageResult::kOutOfMemory || scratch.file.machineShortage;
        return image;
    }
    const auto bytes = scratch.file.view();
    image.width = layout.width;
    image.height = layout.height;
    const ImageHeader header{kPri0Magic, layout.width, layout.height, 16};
    // The layout check guarantees that the header plus the pixels fit in 32 bits.
    const std::uint32_t pri0Size = static_cast<std::uint32_t>(kImageHeaderSize) + layout.outputSize;

    if (compress == 0) {
        std::uint8_t* blob = arenaRoom(scratch.kept, pri0Size);
        if (blob == nullptr) {
            image.result = ImageResult::kOutOfMemory;
            image.machineShortage = true;
            return image;
        }
        writeImageHeader(blob, header);
        convertBmpPixels(bytes, layout, {blob + kImageHeaderSize, layout.outputSize});
        image.dataSize = pri0Size;
        image.data = arenaKeep(scratch.kept, pri0Size);
        return image;
    }

    // The bound is counted in 64 bits and is below INT_MAX words (checked on the headers).
    const auto encodedBound =
        static_cast<std::size_t>(rleImageSizeBound(layout.width, layout.height, 16, 1));
    std::uint8_t* encoded = nullptr;
    if (!reserveBytes(scratch.flatBlock, pri0Size) ||
        (encoded = arenaRoom(scratch.kept, encodedBound)) == nullptr) {
        image.result = ImageResult::kOutOfMemory;
        image.machineShortage = true;
        return image;
    }
    std::uint8_t* flat = scratch.flatBlock.data.get();
    writeImageHeader(flat, header);
    convertBmpPixels(bytes, layout, {flat + kImageHeaderSize, layout.outputSize});
    const int words = encodeRleImage(flat, encoded, 1);
    // A slot's size is a 32-bit field: an image whose runs do not fit is refused, never cut.
    const std::uint64_t encodedBytes =
        words < 0 ? 0 : std::uint64_t{4} * static_cast<unsigned>(words);
    if (encodedBytes == 0 || encodedBytes > UINT32_MAX) {
        image.result = ImageResult::kTooLarge;
        return image;
    }
    image.dataSize = static_cast<std::uint32_t>(encodedBytes);
    image.data = arenaKeep(scratch.kept, image.dataSize);
    return image;
}

std::int32_t addJob(ImageConverter& converter, const std::string& path) {
    converter.jobs.emplace_back(path);
    return static_cast<std::int32_t>(converter.jobs.size() - 1);
}

void convertJob(ImageConverter& converter, ConversionJob& job, ConversionScratch& scratch) {
    job.result = convertFile(job.path, converter.compress, converter.headBytes, scratch);
    {
        const std::lock_guard<std::mutex> lock(converter.handInLock);
        job.done.store(1, std::memory_order_release);
    }
    converter.handedIn.notify_all();
}

// Converts the jobs in order, as they are claimed, until none is left; run by every worker.
void startWorker(void* context) {
    auto* worker = static_cast<ConversionWorker*>(context);
    ImageConverter& converter = *worker->converter;
    while (!converter.stopping.load(std::memory_order_relaxed)) {
        const std::size_t next = converter.nextJob.fetch_add(1);
        if (next >= converter.jobs.size()) {
            return;
        }
        convertJob(converter, converter.jobs[next], worker->scratch);
    }
}

// The result of job index. Alone, the filing thread converts exactly the files it files, when it
// files them, so a theme that stops leaves its later files unopened; with workers, it converts
// whatever nobody has claimed until a worker hands index in.
const ConvertedImage& awaitJob(ImageConverter& converter, std::size_t index) {
    ConversionJob& wanted = converter.jobs[index];
    if (converter.workers.empty()) {
        if (wanted.done.load(std::memory_order_relaxed) == 0) {
            convertJob(converter, wanted, converter.scratch);
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
            convertJob(converter, converter.jobs[next], converter.scratch);
        }
    }
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
    return 1;
}

} // namespace

ImageConverter::~ImageConverter() {
    stopConversionWorkers(*this);
}

void planConversions(ImageConverter& converter,
                     const PerTheme<std::unique_ptr<ImageFileEntry>>& lists, int compress) {
    converter.compress = compress;
    if (!lists[0]) {
        return;
    }
    planList(converter, *lists[0]);
    for (int n = 1; n < kThemeSlots; ++n) {
        if (!lists[n]) {
            continue;
        }
        // A variant entry names the base entry's file exactly when it kept the base folder.
        const ImageFileEntry* base = lists[0]->next.get();
        for (ImageFileEntry* entry = lists[n]->next.get(); entry != nullptr;
             entry = entry->next.get(), base = base ? base->next.get() : nullptr) {
            if (base != nullptr && entry->dirPath == base->dirPath &&
                entry->fileName == base->fileName) {
                entry->fileIndex = base->fileIndex;
            } else {
                entry->fileIndex = addJob(converter, joinPath(entry->dirPath, entry->fileName));
            }
        }
    }
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
    converter.stopping.store(true);
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
            return 0;
        }
        addImageToGroup(groupTable, entry->groupName, std::move(record));
    }
    return 1;
}
