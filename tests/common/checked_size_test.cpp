// The multiply-add that the size checks stand on: exact up to the largest value that fits, a
// refusal one past it, whichever operand takes it there.
#include "common/checked_size.h"

#include <gtest/gtest.h>

namespace {

TEST(CheckedSizeTest, MultiplyAddFitsUpToTheLimitAndRefusesOnePast) {
    constexpr std::uint64_t kMax = UINT64_MAX;
    constexpr std::uint64_t k2To32 = std::uint64_t{1} << 32;
    const struct {
        std::uint64_t a, b, c;
        bool fits;
    } cases[] = {{0, kMax, kMax, true},
                 {kMax, 1, 0, true},
                 {kMax, 1, 1, false},
                 {k2To32 - 1, k2To32 + 1, 0, true},
                 {k2To32, k2To32, 0, false},
                 {kMax / 3, 3, kMax % 3, true},
                 {kMax / 3, 3, kMax % 3 + 1, false},
                 {2, kMax / 2 + 1, 0, false}};
    for (const auto& c : cases) {
        std::uint64_t result = 7;
        EXPECT_EQ(mulAddU64(c.a, c.b, c.c, result), c.fits) << c.a << " * " << c.b << " + " << c.c;
        EXPECT_EQ(result, c.fits ? c.a * c.b + c.c : 7u);
    }
}

} // namespace
