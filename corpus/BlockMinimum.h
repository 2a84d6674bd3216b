// BlockMinimum: minima over ranges of an array of unsigned integers, from the minima of its blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Answers from one minimum per block of 64 values, so a query costs its
// range's length / 64 plus up to two partial blocks. The array is viewed, not
// copied: it must outlive this index and keep its place in memory.
class BlockMinimum {
public:
    BlockMinimum() = default;
    explicit BlockMinimum(std::span<const std::uint32_t> values);

    // The smallest value in [first, last); requires first < last <= size.
    std::uint32_t minimum(std::size_t first, std::size_t last) const;
    // The first index in [first, last) whose value is at most `bound`, or
    // `last` if there is none.
    std::size_t firstAtMost(std::size_t first, std::size_t last, std::uint32_t bound) const;

private:
    static constexpr std::size_t blockSize = 64;

    std::span<const std::uint32_t> values_;
    std::vector<std::uint32_t> blockMinima_;
};
