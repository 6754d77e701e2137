// VOX_ZIP's restore on any bytes: read whole and read in small pieces, it must give the same
// outcome, the same restored bytes and the same account of what followed the last member.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "gzip/gzip_stream.h"

namespace {

// The restored bytes as an FNV-1a hash and a count: a stream of a few kilobytes may restore to
// megabytes, which need not be kept.
struct Digest {
    std::uint64_t hash = 0xCBF29CE484222325u;
    std::uint64_t size = 0;
};

bool addToDigest(void* context, const std::uint8_t* bytes, std::size_t size, int&) {
    auto& digest = *static_cast<Digest*>(context);
    for (std::size_t i = 0; i < size; ++i) {
        digest.hash = (digest.hash ^ bytes[i]) * 0x100000001B3u;
    }
    digest.size += size;
    return true;
}

struct Outcome {
    bool ok = false;
    GzipError error;
    GzipRestored restored;
    Digest digest;
};

Outcome restore(std::span<const std::uint8_t> input, std::size_t chunk) {
    MemoryBytes memory{input, chunk};
    Outcome outcome;
    outcome.ok = gzipDecompress(memorySource(memory), {&outcome.digest, addToDigest},
                                outcome.restored, outcome.error);
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const Outcome whole = restore(input, 0);
    // Read boundaries that move as the fuzzer changes the input's length.
    const Outcome cut = restore(input, 1 + size % 97);
    FUZZ_CHECK(whole.ok == cut.ok && whole.error.reason == cut.error.reason);
    if (!whole.ok) {
        return 0; // how much was written before the fault depends on where the reads ended
    }
    FUZZ_CHECK(whole.digest.hash == cut.digest.hash && whole.digest.size == cut.digest.size);
    FUZZ_CHECK(whole.restored.members == cut.restored.members);
    FUZZ_CHECK(whole.restored.tail == cut.restored.tail);
    FUZZ_CHECK(whole.restored.tailOffset == cut.restored.tailOffset);
    FUZZ_CHECK(whole.restored.members >= 1 && whole.restored.tailOffset <= size);
    FUZZ_CHECK(whole.restored.tail != GzipTail::kNone || whole.restored.tailOffset == size);
    return 0;
}
