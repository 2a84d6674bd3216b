// BlockMinimum: minima over ranges of an array of unsigned integers, from the minima of its blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Answers from one minimum per block of 64 values, so a query costs its
// range's length / 64 plus up to two partial blocks. The array is viewed, not
// copied: it must outlive this index and keep its place in memory. The
// block minima are the index's own when it computes them, or viewed too
// (read from a saved index). Movable, not copyable.
class BlockMinimum {
public:
    static constexpr std::size_t blockSize = 64;

    BlockMinimum() = default;
    explicit BlockMinimum(std::span<const std::uint32_t> values);
    // Views `values` and their block minima as minima() gave them; requires
    // blockMinima.size() == blocksOf(values.size()). Minima that lie give
    // wrong answers, never a read outside the two spans.
    BlockMinimum(std::span<const std::uint32_t> values, std::span<const std::uint32_t> blockMinima);

    BlockMinimum(BlockMinimum &&) = default;
    BlockMinimum &operator=(BlockMinimum &&) = default;

    static std::size_t blocksOf(std::size_t size) { return (size + blockSize - 1) / blockSize; }
    // The minimum of each block of 64 values, the last block possibly shorter.
    std::span<const std::uint32_t> minima() const { return blockMinima_; }

    // The smallest value in [first, last); requires first < last <= size.
    std::uint32_t minimum(std::size_t first, std::size_t last) const;
    // The first index in [first, last) whose value is at most `bound`, or
    // `last` if there is none.
    std::size_t firstAtMost(std::size_t first, std::size_t last, std::uint32_t bound) const;

private:
    std::span<const std::uint32_t> values_;
    std::span<const std::uint32_t> blockMinima_;
    std::vector<std::uint32_t> ownMinima_;
};
