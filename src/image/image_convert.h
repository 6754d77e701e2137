// Turning the themes' file lists into image records filed into groups. Every distinct file of a
// run is converted once, on as many threads as the run allows, and filed by the thread that
// walks the lists in order, so that what is filed, and where a theme stops, never depends on
// the number of threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/byte_arena.h"
#include "common/byte_buffer.h"
#include "common/theme_slots.h"
#include "image/bmp_reader.h"
#include "image/file_bytes.h"
#include "image/image_record.h"
#include "image/image_result.h"
#include "platform/memory.h"
#include "platform/threads.h"
#include "source/file_list.h"

/// One file's conversion, kept so that every theme naming the same file shares it.
struct ConvertedImage {
    ImageResult result = ImageResult::kOk;
    /// What follows the reason: the OS's word on a file that could not be opened or read, or the
    /// file's numbers behind a refusal (bmpRefusalDetail); may be empty.
    std::string cause;
    /// The failure was the machine's (memory, open files, an I/O error), not the file's.
    bool machineShortage = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t dataSize = 0;
    std::shared_ptr<const std::uint8_t[]> data;
    /// The file held transparency that the RGB565 pixels do not keep (losesTransparency).
    bool transparencyLost = false;
};

/// What one thread needs to convert files: the buffers reused from file to file (the file's
/// head, a band of its rows, one converted row), none larger than about a megabyte whatever the
/// image, and the arena that keeps the converted images for the rest of the run, in large blocks
/// that cost few page faults to fill.
struct ConversionScratch {
    FileBytes file;
    ByteBuffer band;
    ByteBuffer row;
    ByteArena kept{allocateLargeBlock, releaseBlockTail, nullptr, 0, 0};
};

struct ImageConverter;

/// A thread that converts jobs ahead of the filing, with buffers of its own.
struct ConversionWorker {
    ImageConverter* converter = nullptr;
    ConversionScratch scratch;
    ThreadHandle thread;
};

/// One distinct file of the run and, once converted, its result.
struct ConversionJob {
    explicit ConversionJob(std::string file) : path(std::move(file)) {}

    const std::string path;
    /// 1 once result is set, by whichever thread claimed the job.
    std::atomic<std::uint32_t> done{0};
    ConvertedImage result;
    /// A worker converted it and the filing thread has not taken it yet (under handInLock).
    bool ahead = false;
};

/// The run's conversions: the distinct files in the order a single thread would first need them,
/// and the threads that convert them ahead of the filing. A job is claimed in order, by a worker
/// or by the filing thread when it needs one nobody has taken, and converted exactly once.
struct ImageConverter {
    /// Bytes read first from every file, before its headers are checked (see readFileHead).
    std::size_t headBytes = kFileHeadBytes;
    /// Non-zero: run-length encode. Set before the jobs are planned.
    int compress = 1;
    /// Grows under handInLock, also while workers run, until planned; a deque, so that a job
    /// never moves.
    std::deque<ConversionJob> jobs;
    /// Set (under handInLock) when every job is planned: a worker that finds none left stops.
    bool planned = false;
    /// The next job nobody has claimed.
    std::atomic<std::size_t> nextJob{0};
    /// Set when the filing is done: workers claim no more.
    std::atomic<bool> stopping{false};
    /// A job's done flag is set under handInLock, and handedIn wakes the filing thread, which
    /// waits for a worker's job. (Not std::atomic's wait: the Windows build's C++ library, MinGW
    /// GCC 12, waits on atomics without a futex, and was seen to miss a wake-up and hang.)
    std::mutex handInLock;
    std::condition_variable handedIn;
    /// Bytes of the jobs that workers converted and the filing thread has not taken (under
    /// handInLock); workers claim no job while it is at its budget. handedIn wakes them too.
    std::uint64_t aheadBytes = 0;
    /// The filing thread's own buffers.
    ConversionScratch scratch;
    std::vector<std::unique_ptr<ConversionWorker>> workers;

    ImageConverter() = default;
    ImageConverter(const ImageConverter&) = delete;
    ImageConverter& operator=(const ImageConverter&) = delete;
    /// Stops and joins the workers.
    ~ImageConverter();
};

/// The image that stopped a theme's walk, and why.
struct ImageFailure {
    std::string path;
    ImageResult result = ImageResult::kOk;
    /// ConvertedImage::cause of the image.
    std::string cause;
    /// The machine fell short (memory, open files, an I/O error): no image of the run can be
    /// trusted to be what the files hold, the image is not at fault.
    bool machineShortage = false;
    /// The failing entry's place in its list (0 for the first).
    std::int32_t position = -1;
};

/// Gives every entry of the list of theme its conversion (the entry's fileIndex): one job per
/// entry of theme 0, and per entry of a variant that names a file of its own; an entry of a
/// variant that names the same file as the base entry at its position shares that entry's job.
/// Theme 0 is planned first; a variant list must stand entry for entry beside theme 0's, as
/// listVariantTheme makes it. Workers may already be converting the jobs planned before.
void planConversions(ImageConverter& converter,
                     const PerTheme<std::unique_ptr<ImageFileEntry>>& lists, int theme);

/// Every theme is planned: workers stop once no job is left. Call before the filing.
void finishPlanning(ImageConverter& converter);

/// Starts up to threads - 1 workers that convert the planned jobs in order ahead of the filing,
/// and those planned later as they come; the filing thread is the last one. A worker the OS
/// refuses is done without: the filing thread converts what no worker takes.
void startConversionWorkers(ImageConverter& converter, unsigned threads);

/// Lets every worker finish the job it holds, then joins them; jobs nobody has claimed stay
/// unconverted.
void stopConversionWorkers(ImageConverter& converter);

/// Files every entry of fileList, in order, as a record in groupTable under the entry's group
/// name; run-length encodes when compress is non-zero. Entries that planConversions has not seen
/// get jobs of their own. Returns 1 when every entry was filed; 0 for an empty list, or at the
/// first image that fails (filling failure): the records filed before it stay, it and the later
/// entries are not filed (and, unless a worker took them already, not converted).
int createImageRecords(ImageFileEntry& fileList, ImageGroup& groupTable, int compress,
                       ImageConverter& converter, ImageFailure& failure);

/// What a conversion checks before it reads any pixel: opens path (a regular file only), reads
/// its first headBytes bytes (at least the 70 of the largest BMP headers) and checks the headers,
/// the limits and, when compress is non-zero, that the runs can be counted. Returns kOk with
/// frame filled, or the reason with its cause as a conversion gives them; file.machineShortage
/// then tells whether opening or reading failed for the machine's want (see ConvertedImage).
ImageResult checkImageHeaders(const std::string& path, int compress, std::size_t headBytes,
                              FileBytes& file, BmpFrame& frame, std::string& cause);

/// Whether a failure with result on file (as the last open or read left it) was the machine's.
bool isMachineFailure(ImageResult result, const FileBytes& file);

/// Converts the file at record.path and sets width, height, dataSize and data. Returns 1, or 0
/// with the path and the reason in failure. Only a regular file is opened, and no buffer is
/// reserved before the headers have shown that the image is within every limit.
int convertImage(ImageRecord& record, int compress, ImageConverter& converter,
                 ImageFailure& failure);

/// Files record at the end of the group called groupName (cut to the group name field), creating
/// that group behind the last one when the table has none of that name. Returns 1.
int addImageToGroup(ImageGroup& groupTable, const std::string& groupName,
                    std::unique_ptr<ImageRecord> record);
