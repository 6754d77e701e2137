// The bin writer: a dry walk over theme 0's group table with every variant's table walked in step
// proves the tables line up and the files fit 32-bit offsets, and plans the size of every slot;
// each bin is then written on its own from that plan, Index.bin from theme 0's table and each
// Theme.bin from its theme's, so that several threads can write different bins at once. Every
// bin is written under a temporary name beside its final one and renamed into place only when
// all of them are complete, so that a run that fails changes none of the files already there.
#include "output/bin_writer.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

#include "common/byte_buffer.h"
#include "common/name_field.h"
#include "gzip/gzip_format.h"
#include "output/bin_format.h"
#include "platform/files.h"
#include "platform/pending_output.h"
#include "platform/processes.h"
#include "platform/threads.h"

namespace {

// Headers and index records are small pieces; a buffer turns them into few system calls.
constexpr std::size_t kWriteBufferSize = 256 * 1024;
// The slots of a Theme.bin (images and fill) are gathered and written straight from where they
// are, this many pieces at a time: Linux's IOV_MAX, so one system call takes them all there
// (writePieces splits them further where the OS takes fewer).
constexpr std::size_t kPiecesPerWrite = 1024;

// One bin being written under a temporary name. Messages name its final path: that is the file
// the user knows.
struct OutputFile {
    PendingOutput bin;
    // The stdio buffer of the bin's file; the destructor's body closes the file before it is
    // released.
    HeapBlock<char> buffer;
    // Slot pieces not yet written; their bytes stay where they are until then.
    std::vector<BytePiece> pending;

    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { abandonOutput(bin); }
};

bool openFile(OutputFile& out, const std::string& path, std::string& error) {
    std::string cause;
    if (!beginOutput(path, out.bin, cause)) {
        error = "cannot create " + path + ": " + cause;
        return false;
    }
    // Without the large buffer the file is still written correctly, only in smaller pieces.
    out.buffer = allocateBytes<char>(kWriteBufferSize);
    if (out.buffer) {
        std::setvbuf(out.bin.file, out.buffer.get(), _IOFBF, kWriteBufferSize);
    }
    return true;
}

bool writeBytes(OutputFile& out, const void* bytes, std::size_t size, std::string& error) {
    std::string cause;
    if (!writeOutput(out.bin, bytes, size, cause)) {
        error = "cannot write " + out.bin.finalPath + ": " + cause;
        return false;
    }
    return true;
}

bool writePending(OutputFile& out, std::string& error) {
    std::string cause;
    if (!writePieces(out.bin.file, out.pending, cause)) {
        error = "cannot write " + out.bin.finalPath + ": " + cause;
        return false;
    }
    out.pending.clear();
    return true;
}

// Bytes that stay where they are until the file is closed, written with the next pieces.
bool queueBytes(OutputFile& out, const std::uint8_t* bytes, std::size_t size, std::string& error) {
    if (size != 0) {
        out.pending.push_back({bytes, size});
    }
    return out.pending.size() < kPiecesPerWrite || writePending(out, error);
}

// 'P' bytes from one shared block, so padding a copy never allocates.
bool queueFill(OutputFile& out, std::uint64_t count, std::string& error) {
    static constexpr auto kFill = [] {
        std::array<std::uint8_t, 4096> fill{};
        fill.fill(kSlotFill);
        return fill;
    }();
    while (count > 0) {
        const std::size_t chunk =
            count < kFill.size() ? static_cast<std::size_t>(count) : kFill.size();
        if (!queueBytes(out, kFill.data(), chunk, error)) {
            return false;
        }
        count -= chunk;
    }
    return true;
}

bool seekTo(OutputFile& out, std::uint64_t offset, std::string& error) {
    errno = 0;
    // fseek takes a long, which is 32-bit signed on some hosts.
    if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
        std::fseek(out.bin.file, static_cast<long>(offset), SEEK_SET) != 0) {
        error = "cannot seek to " + std::to_string(offset) + " in " + out.bin.finalPath + ": " +
                osErrorText(errno);
        return false;
    }
    return true;
}

bool closeFile(OutputFile& out, std::string& error) {
    std::string cause;
    if (!closeOutput(out.bin, cause)) {
        error = "cannot close " + out.bin.finalPath + ": " + cause;
        return false;
    }
    return true;
}

std::string indexPath(const std::string& rootPath) {
    return joinPath(rootPath, kIndexFileName);
}

std::string themePath(const std::string& rootPath, int theme) {
    return joinPath(rootPath, themeBinName(theme));
}

// The lock-step walk: per present theme (theme 0 first) the group and image at the current
// position.
struct ThemeCursor {
    int theme = 0;
    const ImageGroup* group = nullptr;
    const ImageRecord* image = nullptr;
};

struct Walk {
    std::array<ThemeCursor, kThemeSlots> cursors;
    std::size_t count = 0;

    Walk(const GroupTables& groupTables, const ThemeFlags& themePresent) {
        for (int n = 0; n < kThemeSlots; ++n) {
            if (themePresent[n] != 0) {
                const ImageGroup* head = groupTables[n].get();
                cursors[count++] = {n, head ? head->next.get() : nullptr, nullptr};
            }
        }
    }
    ThemeCursor* begin() { return cursors.data(); }
    ThemeCursor* end() { return cursors.data() + count; }

    void enterGroup() {
        for (ThemeCursor& c : *this) {
            c.image = c.group->images.get();
        }
    }
    void nextImage() {
        for (ThemeCursor& c : *this) {
            c.image = c.image->next.get();
        }
    }
    void nextGroup() {
        for (ThemeCursor& c : *this) {
            c.group = c.group->next.get();
        }
    }
    /// The slot for the current image, made for its largest copy.
    std::uint64_t slotSize() {
        std::uint64_t largest = 0;
        for (const ThemeCursor& c : *this) {
            largest = c.image->dataSize > largest ? c.image->dataSize : largest;
        }
        return slotSizeFor(largest);
    }
};

std::uint32_t baseGroupCount(const GroupTables& groupTables) {
    return groupTables[0]->count;
}

// What the dry walk measured, so that the writing pass computes nothing again: every slot's size
// in walk order (theme 0's groups and images), theme 0's image count per group (a variant's
// group may hold more, which are not written), the size of each bin and the largest group's
// image count. Valid once checkTables has accepted the tables: every offset then fits in 32 bits.
struct BinPlan {
    std::vector<std::uint32_t> slotSizes;
    std::vector<std::uint32_t> groupCounts;
    std::uint64_t indexSize = 0;
    std::uint64_t themeSize = 0;
    std::uint32_t largestGroup = 0;
};

// Whose count a short table falls short of: theme 0 its own count field, a variant theme 0's
// counts, which decide every theme's layout.
const char* expectedCountSource(int theme) {
    return theme == 0 ? "its count says" : "theme 0";
}

bool checkCursors(Walk& walk, const std::string& rootPath, std::string& error) {
    const ImageGroup* base = walk.cursors[0].group;
    for (const ThemeCursor& c : walk) {
        if (!c.image) {
            const std::string group = std::string(nameFieldView(base->name.data(), kGroupNameSize));
            error = "cannot write " + themePath(rootPath, c.theme) + ": theme " +
                    std::to_string(c.theme) + " has fewer images in group " + group + " than " +
                    expectedCountSource(c.theme);
            return false;
        }
        if (!c.image->data && c.image->dataSize != 0) {
            error = "cannot write " + themePath(rootPath, c.theme) + ": no image data for " +
                    c.image->path;
            return false;
        }
    }
    return true;
}

// Walks the tables as writeBinFiles will, without touching a file, and fills plan with what the
// writing pass needs.
bool checkTables(const GroupTables& groupTables, const ThemeFlags& themePresent,
                 const std::string& rootPath, BinPlan& plan, std::string& error) {
    if (themePresent[0] == 0 || !groupTables[0]) {
        error = "cannot write " + indexPath(rootPath) + ": theme 0 is missing";
        return false;
    }
    const std::uint32_t groupCount = baseGroupCount(groupTables);
    if (groupCount == 0) {
        error = "cannot write " + indexPath(rootPath) + ": theme 0 has no images";
        return false;
    }
    Walk walk(groupTables, themePresent);
    std::uint64_t slotTotal = 0;
    plan.indexSize = kBinFileHeaderSize + std::uint64_t{groupCount} * kGroupDirectoryEntrySize;
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        for (const ThemeCursor& c : walk) {
            if (!c.group) {
                error = "cannot write " + themePath(rootPath, c.theme) + ": theme " +
                        std::to_string(c.theme) + " has fewer groups than " +
                        expectedCountSource(c.theme);
                return false;
            }
        }
        const std::uint32_t imageCount = walk.cursors[0].group->count;
        plan.groupCounts.push_back(imageCount);
        plan.largestGroup = imageCount > plan.largestGroup ? imageCount : plan.largestGroup;
        plan.indexSize += kGroupHeaderSize + std::uint64_t{imageCount} * kImageEntrySize;
        walk.enterGroup();
        for (std::uint32_t k = 0; k < imageCount; ++k) {
            if (!checkCursors(walk, rootPath, error)) {
                return false;
            }
            const std::uint64_t slotSize = walk.slotSize();
            slotTotal += slotSize;
            // A slot beyond 32 bits makes Theme.bin too long, which the size check refuses.
            plan.slotSizes.push_back(static_cast<std::uint32_t>(slotSize));
            walk.nextImage();
        }
        walk.nextGroup();
    }
    plan.indexSize += kEndMarkerSize;
    plan.themeSize = themeFileLength(slotTotal);
    if (plan.themeSize > kMaxStoredSize || plan.indexSize > kMaxStoredSize) {
        const bool theme = plan.themeSize > kMaxStoredSize;
        error = "cannot write " + (theme ? themePath(rootPath, 0) : indexPath(rootPath)) +
                ": it would be " + std::to_string(theme ? plan.themeSize : plan.indexSize) +
                " bytes long, beyond the 4 GiB that its 32-bit offsets reach";
        return false;
    }
    return true;
}

std::string outOfMemory(const std::string& path, const char* what) {
    return "cannot write " + path + ": out of memory for the " + what;
}

struct BinFiles {
    OutputFile index;
    PerTheme<OutputFile> themes;
};

// Index.bin just before theme 0's Theme.bin, then the variants in increasing order; the first
// file that cannot be created stops the opening.
bool openFiles(BinFiles& files, const ThemeFlags& themePresent, const std::string& rootPath,
               std::string& error) {
    for (int n = 0; n < kThemeSlots; ++n) {
        if (themePresent[n] == 0) {
            continue;
        }
        if (n == 0 && !openFile(files.index, indexPath(rootPath), error)) {
            return false;
        }
        if (!openFile(files.themes[n], themePath(rootPath, n), error)) {
            return false;
        }
    }
    return true;
}

// Index.bin: the file header, a gap for the group directory, each group's header and image
// entries, the end marker, and last the directory in the gap; then closed.
bool writeIndex(OutputFile& index, const ImageGroup& table, const BinPlan& plan,
                std::string& error) {
    const std::uint32_t groupCount = table.count;
    std::array<std::uint8_t, kBinFileHeaderSize> header;
    makeFileHeader(header, kIndexTag, groupCount);
    if (!writeBytes(index, header.data(), header.size(), error)) {
        return false;
    }
    const HeapBlock<std::uint8_t> directory = allocGroupDirectory(groupCount);
    if (!directory) {
        error = outOfMemory(index.bin.finalPath, "group directory");
        return false;
    }
    const HeapBlock<std::uint8_t> imageTable =
        allocateBytes<std::uint8_t>(std::size_t{plan.largestGroup} * kImageEntrySize);
    if (!imageTable) {
        error = outOfMemory(index.bin.finalPath, "image entries");
        return false;
    }
    // Offsets stay inside the bins whose sizes the plan measured, so none of them can wrap.
    auto indexOffset =
        static_cast<std::uint32_t>(kBinFileHeaderSize + groupCount * kGroupDirectoryEntrySize);
    auto dataOffset = static_cast<std::uint32_t>(kBinFileHeaderSize);
    std::span<const std::uint32_t> slotSizes = plan.slotSizes;
    const ImageGroup* group = table.next.get();
    for (std::uint32_t g = 0; g < groupCount; ++g, group = group->next.get()) {
        const std::uint32_t imageCount = plan.groupCounts[g];
        GroupDirectoryEntry entry;
        copyNameField(entry.name.data(), entry.name.size(),
                      nameFieldView(group->name.data(), kGroupNameSize));
        entry.groupOffset = indexOffset;
        serialize(entry, std::span<std::uint8_t, kGroupDirectoryEntrySize>(
                             directory.get() + std::size_t{g} * kGroupDirectoryEntrySize,
                             kGroupDirectoryEntrySize));
        std::array<std::uint8_t, kGroupHeaderSize> groupHeader;
        serialize(GroupHeader{imageCount, dataOffset}, groupHeader);
        if (!seekTo(index, indexOffset, error) ||
            !writeBytes(index, groupHeader.data(), groupHeader.size(), error)) {
            return false;
        }
        std::uint32_t groupDataSize = 0;
        const ImageRecord* image = group->images.get();
        for (std::uint32_t k = 0; k < imageCount; ++k, image = image->next.get()) {
            ImageEntry imageEntry;
            copyNameField(imageEntry.name.data(), imageEntry.name.size(),
                          nameFieldView(image->name.data(), kImageNameSize));
            imageEntry.slotOffset = groupDataSize;
            imageEntry.slotSize = slotSizes[k];
            serialize(imageEntry,
                      std::span<std::uint8_t, kImageEntrySize>(
                          imageTable.get() + std::size_t{k} * kImageEntrySize, kImageEntrySize));
            groupDataSize += slotSizes[k];
        }
        if (!writeBytes(index, imageTable.get(), std::size_t{imageCount} * kImageEntrySize,
                        error)) {
            return false;
        }
        slotSizes = slotSizes.subspan(imageCount);
        dataOffset += groupDataSize;
        indexOffset += static_cast<std::uint32_t>(kGroupHeaderSize + imageCount * kImageEntrySize);
    }
    std::array<std::uint8_t, kEndMarkerBufferSize> marker;
    makeEndMarker(marker, kIndexTag);
    // The directory goes in last, into the gap left after the file header.
    return writeBytes(index, marker.data(), kEndMarkerSize, error) &&
           seekTo(index, kBinFileHeaderSize, error) &&
           writeBytes(index, directory.get(), std::size_t{groupCount} * kGroupDirectoryEntrySize,
                      error) &&
           closeFile(index, error);
}

// One theme's Theme.bin: the file header, then every slot in plan order, each holding the
// theme's copy of its image padded with 'P' to the slot's length, then the end marker; then
// closed. Each slot starts at the current end of the file, so it is written straight through.
bool writeTheme(OutputFile& out, const ImageGroup& table, const BinPlan& plan, std::string& error) {
    std::array<std::uint8_t, kBinFileHeaderSize> header;
    makeFileHeader(header, kThemeTag, 0);
    if (!writeBytes(out, header.data(), header.size(), error)) {
        return false;
    }
    const std::uint32_t* slotSize = plan.slotSizes.data();
    const ImageGroup* group = table.next.get();
    for (const std::uint32_t imageCount : plan.groupCounts) {
        const ImageRecord* image = group->images.get();
        for (std::uint32_t k = 0; k < imageCount; ++k, ++slotSize, image = image->next.get()) {
            if (!queueBytes(out, image->data.get(), image->dataSize, error) ||
                !queueFill(out, *slotSize - image->dataSize, error)) {
                return false;
            }
        }
        group = group->next.get();
    }
    std::array<std::uint8_t, kEndMarkerBufferSize> marker;
    makeEndMarker(marker, kThemeTag);
    return writePending(out, error) && writeBytes(out, marker.data(), kEndMarkerSize, error) &&
           closeFile(out, error);
}

// One bin to write: Index.bin from theme 0's table, or a Theme.bin from its theme's.
struct BinJob {
    BinJob(OutputFile& file, const ImageGroup& groups, bool isIndex)
        : out(&file), table(&groups), index(isIndex) {}

    OutputFile* out;
    const ImageGroup* table;
    bool index;
    bool failed = false;
    std::string error;
};

// The bins of a run and the threads that write them: each thread takes the next bin nobody has
// taken, until none is left or one has failed.
struct BinJobs {
    std::vector<BinJob> jobs;
    const BinPlan* plan = nullptr;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
};

void writeBinJobs(void* context) {
    auto& work = *static_cast<BinJobs*>(context);
    while (!work.failed.load()) {
        const std::size_t next = work.next.fetch_add(1);
        if (next >= work.jobs.size()) {
            return;
        }
        BinJob& job = work.jobs[next];
        job.failed = !(job.index ? writeIndex(*job.out, *job.table, *work.plan, job.error)
                                 : writeTheme(*job.out, *job.table, *work.plan, job.error));
        if (job.failed) {
            work.failed.store(true);
        }
    }
}

// Writes the complete content of every temporary file, each closed, on up to threads threads.
// When some fail, error tells the first of them in the order of the bins.
bool writeContents(BinFiles& files, const GroupTables& groupTables, const ThemeFlags& themePresent,
                   const BinPlan& plan, unsigned threads, std::string& error) {
    BinJobs work;
    work.plan = &plan;
    work.jobs.emplace_back(files.index, *groupTables[0], true);
    for (int n = 0; n < kThemeSlots; ++n) {
        if (themePresent[n] != 0) {
            work.jobs.emplace_back(files.themes[n], *groupTables[n], false);
        }
    }
    std::vector<ThreadHandle> helpers;
    for (unsigned t = 1; t < threads && t < work.jobs.size(); ++t) {
        ThreadHandle handle;
        std::string ignored;
        if (!startThread(writeBinJobs, &work, handle, ignored)) {
            break; // fewer threads only take longer
        }
        helpers.push_back(handle);
    }
    writeBinJobs(&work);
    for (const ThreadHandle& helper : helpers) {
        joinThread(helper);
    }
    for (const BinJob& job : work.jobs) {
        if (job.failed) {
            error = job.error;
            return false;
        }
    }
    return true;
}

// The bins in the order they are opened, reported and renamed: Index.bin, then the themes'.
std::vector<PendingOutput*> inOrder(BinFiles& files, Walk& walk) {
    std::vector<PendingOutput*> order{&files.index.bin};
    for (const ThemeCursor& c : walk) {
        order.push_back(&files.themes[c.theme].bin);
    }
    return order;
}

// A folder at a final name would make its rename fail after the earlier ones had replaced their
// files; found now, it fails the run while every old file is still in place. A link to a folder
// counts too: telling it from a folder is not worth a rename that might fail half-way.
bool checkFinalNames(const std::vector<PendingOutput*>& order, std::string& error) {
    for (const PendingOutput* bin : order) {
        if (pathKind(bin->finalPath) == PathKind::kFolder) {
            error = "cannot replace " + bin->finalPath + ": " + osErrorText(EISDIR);
            return false;
        }
    }
    return true;
}

// Renames every temporary file over its final name, in order. After the checks a rename fails
// only when the OS refuses it for one name (a sticky folder and a file of another owner, say);
// then the files renamed so far stay, the rest keep their earlier content, and error says which
// are which so that the user knows the set no longer belongs together.
bool renameFiles(const std::vector<PendingOutput*>& order, std::string& error) {
    std::string cause;
    const std::size_t renamed = publishOutputs(order, cause);
    if (renamed == order.size()) {
        return true;
    }
    error = "cannot replace " + order[renamed]->finalPath + ": " + cause;
    if (renamed != 0) {
        error += "; already replaced by this run:";
        for (std::size_t i = 0; i < renamed; ++i) {
            error += " " + order[i]->finalPath;
        }
        error += "; the other bins are as they were, so the bins no longer belong together: run "
                 "again";
    }
    return false;
}

// The .gz of an earlier run beside a bin no longer matches it: anything that ships the .gz would
// ship the old build. One that cannot be removed stays; the compression step tells it and keeps
// that bin uncompressed.
void removeEarlierCompressedCopies(const std::vector<PendingOutput*>& order) {
    for (const PendingOutput* bin : order) {
        std::string ignored;
        deleteFile(bin->finalPath + kGzipSuffix, ignored);
    }
}

// Puts the bins in place and their earlier .gz files out of the way, with the stop signals held:
// a signal that comes meanwhile is acted on once the build on disk is all new, never while old
// and new files stand side by side.
bool publishBins(const std::vector<PendingOutput*>& order, std::string& error) {
    holdStopSignals();
    const bool renamed = renameFiles(order, error);
    if (renamed) {
        removeEarlierCompressedCopies(order);
    }
    releaseStopSignals();
    return renamed;
}

// Closes and removes every temporary file still there. A temporary that cannot be removed is
// named in error, so that nothing is left behind unsaid.
void discardTemporaries(const std::vector<PendingOutput*>& order, std::string& error) {
    for (PendingOutput* bin : order) {
        const std::string tempPath = bin->tempPath;
        std::string cause;
        if (!abandonOutput(*bin, &cause)) {
            error += "; cannot remove the temporary file " + tempPath + ": " + cause;
        }
    }
}

} // namespace

int writeBinFiles(const GroupTables& groupTables, const ThemeFlags& themePresent,
                  const std::string& rootPath, int /*compress*/, std::string& error,
                  unsigned threads) {
    BinPlan plan;
    if (!checkTables(groupTables, themePresent, rootPath, plan, error)) {
        return 0;
    }
    BinFiles files;
    Walk walk(groupTables, themePresent);
    const std::vector<PendingOutput*> order = inOrder(files, walk);
    if (!openFiles(files, themePresent, rootPath, error) ||
        !writeContents(files, groupTables, themePresent, plan, threads, error) ||
        !checkFinalNames(order, error) || !publishBins(order, error)) {
        discardTemporaries(order, error);
        return 0;
    }
    return 1;
}
