// A fuzz target's checks in make test, without libFuzzer: every input file in the folders given
// (the seeds make_fuzz_seeds writes), whole and cut short at every length.
//   replay_NAME FOLDER...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            for (std::size_t length = 0; length <= bytes.size(); ++length) {
                // A copy of its own, so that AddressSanitizer sees a read past the cut.
                const std::vector<std::uint8_t> cut(
                    bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
                LLVMFuzzerTestOneInput(cut.data(), cut.size());
            }
            ++inputs;
        }
    }
    std::printf("replayed %d inputs at every length\n", inputs);
    return inputs > 0 ? 0 : 1;
}
