// Random names for temporary files.
#include "platform/temp_name.h"

#include <random>

std::string tempFileName(const std::string& finalPath) {
    static constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    thread_local std::mt19937_64 rng(std::random_device{}());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name = finalPath + ".";
    for (int i = 0; i < 8; ++i) {
        name += kLetters[pick(rng)];
    }
    return name + ".tmp";
}
