#include "BlockMinimum.h"

#include <algorithm>

BlockMinimum::BlockMinimum(std::span<const std::uint32_t> values) : values_(values)
{
    ownMinima_.resize(blocksOf(values.size()));
    for (std::size_t b = 0; b < ownMinima_.size(); ++b) {
        const std::size_t first = b * blockSize;
        const std::size_t last = std::min(values.size(), first + blockSize);
        ownMinima_[b] = *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(first),
                                          values.begin() + static_cast<std::ptrdiff_t>(last));
    }
    blockMinima_ = ownMinima_;
}

BlockMinimum::BlockMinimum(std::span<const std::uint32_t> values, std::span<const std::uint32_t> blockMinima)
    : values_(values), blockMinima_(blockMinima)
{
}

std::uint32_t BlockMinimum::minimum(std::size_t first, std::size_t last) const
{
    std::uint32_t least = UINT32_MAX;
    const std::size_t firstFull = (first + blockSize - 1) / blockSize;
    const std::size_t lastFull = last / blockSize;
    if (firstFull >= lastFull) {
        for (std::size_t i = first; i < last; ++i)
            least = std::min(least, values_[i]);
        return least;
    }
    for (std::size_t i = first; i < firstFull * blockSize; ++i)
        least = std::min(least, values_[i]);
    for (std::size_t b = firstFull; b < lastFull; ++b)
        least = std::min(least, blockMinima_[b]);
    for (std::size_t i = lastFull * blockSize; i < last; ++i)
        least = std::min(least, values_[i]);
    return least;
}

std::size_t BlockMinimum::firstAtMost(std::size_t first, std::size_t last, std::uint32_t bound) const
{
    std::size_t i = first;
    // The partial block at the start, then whole blocks by their minima,
    // then inside the block that holds the answer.
    for (; i < last && i % blockSize != 0; ++i) {
        if (values_[i] <= bound)
            return i;
    }
    std::size_t b = i / blockSize;
    while (b < last / blockSize && blockMinima_[b] > bound)
        ++b;
    for (i = std::max(i, b * blockSize); i < last; ++i) {
        if (values_[i] <= bound)
            return i;
    }
    return last;
}
