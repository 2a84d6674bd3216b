// Range minima from block minima, against a plain scan, on ranges that start and end inside and across blocks.
#include "BlockMinimum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

TEST(BlockMinimum, AgreesWithAScanOnEveryKindOfRange)
{
    std::mt19937 random(7);
    for (const std::size_t size : {1u, 2u, 63u, 64u, 65u, 200u, 1000u}) {
        std::vector<std::uint32_t> values(size);
        for (auto &v : values)
            v = random() % 50;  // repeated values: the first of equal minima counts
        const BlockMinimum index(values);
        for (int trial = 0; trial < 2000; ++trial) {
            std::size_t first = random() % size;
            std::size_t last = random() % (size + 1);
            if (first >= last)
                std::swap(first, last), ++last;
            last = std::min(last, size);
            if (first >= last)
                continue;
            EXPECT_EQ(index.minimum(first, last), *std::min_element(values.begin() + first, values.begin() + last));
            const auto bound = static_cast<std::uint32_t>(random() % 50);
            const auto found = std::find_if(values.begin() + first, values.begin() + last,
                                            [&](std::uint32_t v) { return v <= bound; });
            EXPECT_EQ(index.firstAtMost(first, last, bound), static_cast<std::size_t>(found - values.begin()))
                << size << " [" << first << ", " << last << ") <= " << bound;
        }
        EXPECT_EQ(index.firstAtMost(size, size, 0), size);
    }
}
