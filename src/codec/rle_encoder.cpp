// The run-length encoder. One template serves both unit widths; a Source gives it the units,
// read in place from memory or, for the last word of a word-mode pixel area that ends inside
// that word, from a zero-filled copy.
#include "codec/rle_encoder.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

#include "codec/image_format.h"
#include "codec/run_scan.h"

namespace {

template <class Unit> constexpr const RunFormat& runFormat() {
    if constexpr (sizeof(Unit) == 2) {
        return kRle4Runs;
    } else {
        return kRle5Runs;
    }
}

template <class Unit> void storeControl(std::uint8_t* out, std::uint32_t control) {
    if constexpr (sizeof(Unit) == 2) {
        storeU16Le(out, static_cast<std::uint16_t>(control));
    } else {
        storeU32Le(out, control);
    }
}

// Literals are mostly a few units long. A memcpy of a variable length compiles to a string
// instruction here, whose start costs more than such a copy; steps of fixed sizes do not. Units
// are 2 or 4 bytes, so the 2-byte steps end exactly at size.
inline void copyLiteral(std::uint8_t* out, const std::uint8_t* in, std::size_t size) {
    std::size_t done = 0;
    for (; done + 16 <= size; done += 16) {
        std::memcpy(out + done, in + done, 16);
    }
    for (; done < size; done += 2) {
        std::memcpy(out + done, in + done, 2);
    }
}

template <class UnitType> struct UnitsInMemory {
    using Unit = UnitType;
    const std::uint8_t* bytes;

    Unit at(std::size_t index) const { return loadUnit<Unit>(bytes + index * sizeof(Unit)); }
    void copy(std::uint8_t* out, std::size_t first, std::size_t count) const {
        copyLiteral(out, bytes + first * sizeof(Unit), count * sizeof(Unit));
    }
    std::size_t findTriple(std::size_t from, std::size_t count) const {
        return ::findTriple<Unit>(bytes, from, count);
    }
    std::size_t findRunEnd(std::size_t from, std::size_t count, Unit value) const {
        return ::findRunEnd<Unit>(bytes, from, count, value);
    }
};

// A word-mode pixel area whose size is not a multiple of 4 bytes: its last word is read only as
// far as the area goes, so that no byte after the source is touched.
struct WordsWithPartialTail {
    using Unit = std::uint32_t;
    const std::uint8_t* bytes;
    std::size_t fullWords;
    std::uint8_t tail[4];

    Unit at(std::size_t index) const {
        return loadUnit<Unit>(index < fullWords ? bytes + index * 4 : tail);
    }
    void copy(std::uint8_t* out, std::size_t first, std::size_t count) const {
        const std::size_t inMemory = std::min(count, fullWords - first);
        std::memcpy(out, bytes + first * 4, inMemory * 4);
        if (inMemory < count) {
            std::memcpy(out + inMemory * 4, tail, 4);
        }
    }
    std::size_t findTriple(std::size_t from, std::size_t count) const {
        return findTripleEach([this](std::size_t index) { return at(index); }, from, count);
    }
    std::size_t findRunEnd(std::size_t from, std::size_t count, Unit value) const {
        return findRunEndEach([this](std::size_t index) { return at(index); }, from, count, value);
    }
};

template <class Unit, class Source>
std::uint8_t* writeLiteral(std::uint8_t* out, const Source& units, std::size_t first,
                           std::size_t end, std::uint32_t endFlags) {
    constexpr std::size_t kMaxLength = runFormat<Unit>().lengthMask;
    for (;;) {
        const std::size_t length = std::min(end - first, kMaxLength);
        const bool last = first + length == end;
        storeControl<Unit>(out, static_cast<std::uint32_t>(length) | (last ? endFlags : 0));
        units.copy(out + sizeof(Unit), first, length);
        out += (length + 1) * sizeof(Unit);
        first += length;
        if (last) {
            return out;
        }
    }
}

template <class Unit>
std::uint8_t* writeRepeat(std::uint8_t* out, Unit value, std::size_t length,
                          std::uint32_t endFlags) {
    constexpr RunFormat kFormat = runFormat<Unit>();
    while (length > kFormat.lengthMask) {
        // The last piece keeps 3 or more pixels, like every other repeat run.
        const std::size_t piece =
            length - kFormat.lengthMask >= 3 ? kFormat.lengthMask : length - 3;
        storeControl<Unit>(out, static_cast<std::uint32_t>(piece) | kFormat.repeat);
        std::memcpy(out + sizeof(Unit), &value, sizeof(Unit));
        out += 2 * sizeof(Unit);
        length -= piece;
    }
    storeControl<Unit>(out, static_cast<std::uint32_t>(length) | kFormat.repeat | endFlags);
    std::memcpy(out + sizeof(Unit), &value, sizeof(Unit));
    return out + 2 * sizeof(Unit);
}

// Encodes units [0, count) as one row; returns the units written.
template <class Source>
std::size_t encodeSequence(std::uint8_t* destination, const Source& units, std::size_t count,
                           bool lastRow) {
    using Unit = typename Source::Unit;
    constexpr RunFormat kFormat = runFormat<Unit>();
    const std::uint32_t endFlags = kFormat.rowEnd | (lastRow ? kFormat.imageEnd : 0);
    std::uint8_t* out = destination;
    // i always starts a run, so the next three equal units start a maximal run, and every unit
    // before them belongs to a run of one or two: the pending literal.
    std::size_t i = 0;
    while (i < count) {
        const std::size_t runStart = units.findTriple(i, count);
        if (runStart == count) {
            break;
        }
        const Unit value = units.at(runStart);
        const std::size_t runEnd = units.findRunEnd(runStart + 3, count, value);
        if (i < runStart) {
            out = writeLiteral<Unit>(out, units, i, runStart, 0);
        }
        out = writeRepeat<Unit>(out, value, runEnd - runStart, runEnd == count ? endFlags : 0);
        i = runEnd;
    }
    if (i < count) {
        out = writeLiteral<Unit>(out, units, i, count, endFlags);
    }
    return static_cast<std::size_t>(out - destination) / sizeof(Unit);
}

using RunEncoder = int (*)(std::uint8_t*, const std::uint8_t*, int, int);

// Rows are encoded one by one with the run encoder of their unit width, so no run spans rows.
template <class Unit>
int encodeRows(const std::uint8_t* pixels, std::uint8_t* destination, int width, int height,
               RunEncoder encodeRuns) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(Unit);
    std::uint8_t* out = destination;
    for (int row = 0; row < height; ++row) {
        const int units = encodeRuns(out, pixels + static_cast<std::size_t>(row) * rowBytes, width,
                                     row == height - 1);
        out += static_cast<std::size_t>(units) * sizeof(Unit);
    }
    return static_cast<int>(static_cast<std::size_t>(out - destination) / sizeof(Unit));
}

std::size_t encodeWords(const Pri0Image& image, std::uint8_t* destination) {
    const std::uint64_t words = pixelAreaWords(image.header);
    const std::uint64_t bytes = pixelAreaBytes(image.header);
    if (bytes % 4 == 0) {
        return encodeSequence(destination, UnitsInMemory<std::uint32_t>{image.pixels}, words, true);
    }
    WordsWithPartialTail units{image.pixels, bytes / 4, {}};
    std::memcpy(units.tail, image.pixels + bytes / 4 * 4, bytes % 4);
    return encodeSequence(destination, units, words, true);
}

// Units of one encoded sequence of count units at most: every unit as data, plus one control
// unit per started block of the largest run length.
std::uint64_t sequenceUnitsBound(std::uint64_t count, std::uint64_t maxLength) {
    return count + (count + maxLength - 1) / maxLength;
}

} // namespace

std::uint64_t rleImageSizeBound(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                int rowMode) {
    std::uint64_t units = 0;
    std::uint64_t unitBytes = 4;
    if (rowMode == 0) {
        const std::uint64_t words = pixelAreaWords({kPri0Magic, width, height, bitsPerPixel});
        if (words > INT_MAX) {
            return 0;
        }
        units = sequenceUnitsBound(words, kRle5Runs.lengthMask);
    } else if (bitsPerPixel == 16 || bitsPerPixel == 32) {
        unitBytes = static_cast<std::uint64_t>(bitsPerPixel / 8);
        const RunFormat& format = bitsPerPixel == 16 ? kRle4Runs : kRle5Runs;
        if (width > 0 && height > 0) {
            units = static_cast<std::uint64_t>(height) *
                    sequenceUnitsBound(static_cast<std::uint64_t>(width), format.lengthMask);
        }
    } else {
        return 0;
    }
    // Unit counts travel as int, and the result adds the header's 4 words.
    if (units > INT_MAX - 4) {
        return 0;
    }
    return kImageHeaderSize + (units * unitBytes + 3) / 4 * 4;
}

int encodeRleImage(const std::uint8_t* source, std::uint8_t* destination, int rowMode) {
    const Pri0Image image{readImageHeader(source), source + kImageHeaderSize};
    ImageHeader header = image.header;
    if (header.magic != kPri0Magic ||
        rleImageSizeBound(header.width, header.height, header.bitsPerPixel, rowMode) == 0) {
        return -1;
    }
    std::uint8_t* payload = destination + kImageHeaderSize;
    std::size_t words = 0;
    if (rowMode == 0) {
        header.magic = kRle5Magic;
        words = encodeWords(image, payload);
    } else if (header.bitsPerPixel == 32) {
        header.magic = kRle5Magic;
        words = static_cast<std::size_t>(
            encodeRows32(image.pixels, payload, header.width, header.height));
    } else {
        header.magic = kRle4Magic;
        const auto units = static_cast<std::size_t>(
            encodeRows16(image.pixels, payload, header.width, header.height));
        if (units % 2 != 0) {
            storeU16Le(payload + units * 2, 0);
        }
        words = (units + 1) / 2;
    }
    writeImageHeader(destination, header);
    return static_cast<int>(words + kImageHeaderSize / 4);
}

int encodeRows16(const std::uint8_t* pixels, std::uint8_t* destination, int width, int height) {
    return encodeRows<std::uint16_t>(pixels, destination, width, height, encodeRuns16);
}

int encodeRows32(const std::uint8_t* pixels, std::uint8_t* destination, int width, int height) {
    return encodeRows<std::uint32_t>(pixels, destination, width, height, encodeRuns32);
}

int encodeRuns16(std::uint8_t* destination, const std::uint8_t* values, int count, int lastRow) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<int>(encodeSequence(destination, UnitsInMemory<std::uint16_t>{values},
                                           static_cast<std::size_t>(count), lastRow != 0));
}

int encodeRuns32(std::uint8_t* destination, const std::uint8_t* values, int count, int lastRow) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<int>(encodeSequence(destination, UnitsInMemory<std::uint32_t>{values},
                                           static_cast<std::size_t>(count), lastRow != 0));
}
