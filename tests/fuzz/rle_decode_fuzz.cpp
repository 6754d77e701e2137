// The RLE decoder on any bytes, in both modes: it must agree with its non-allocating check,
// leave nothing behind when it refuses, and what it accepts must encode and decode to the same
// pixels again.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz_check.h"
#include "support/rle_check.h"

namespace {

// Larger images take longer to write out and reach no code that smaller ones do not.
constexpr std::uint64_t kMaxPri0Bytes = 1u << 20;

void decodeInMode(std::span<const std::uint8_t> blob, RunMode mode) {
    const std::string problem = decodeProblem(blob, mode, kMaxPri0Bytes);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s mode: %s\n", mode == RunMode::kRows ? "row" : "word",
                     problem.c_str());
    }
    FUZZ_CHECK(problem.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decodeInMode({data, size}, RunMode::kWords);
    decodeInMode({data, size}, RunMode::kRows);
    return 0;
}
