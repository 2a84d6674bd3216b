#include "SuffixIndex.h"

#include "HugePages.h"
#include "SuffixArray.h"

#include "Progress.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace {

// The passes here are light beside the suffix sorting, but on the largest
// texts each still takes a few hundred milliseconds: they read the stop flag
// once per this many positions.
constexpr std::uint32_t pollSpan = std::uint32_t{1} << 22;

void throwIfStopped(const std::atomic<bool> *stop)
{
    if (stop != nullptr && stop->load(std::memory_order_relaxed))
        throw Progress::Stopped();
}

// Calls body(p) for p in [0, n), reading the stop flag between spans.
template <typename Body>
void forEachPosition(std::uint32_t n, const std::atomic<bool> *stop, Body &&body)
{
    for (std::uint32_t from = 0; from < n; from += std::min(pollSpan, n - from)) {
        throwIfStopped(stop);
        const std::uint32_t to = from + std::min(pollSpan, n - from);
        for (std::uint32_t p = from; p < to; ++p)
            body(p);
    }
}

}  // namespace

SuffixIndex::SuffixIndex(std::span<const TokenId> ids, std::uint32_t alphabetSize, std::span<const TokenId> stopIds,
                         std::span<const Position> boundaries, bool reversed, const std::atomic<bool> *stop,
                         std::span<const std::uint64_t> stopBits)
    : reversed_(reversed), ids_(ids), stopBits_(stopBits)
{
    if (!stopBits.empty() && !stopIds.empty())
        throw std::invalid_argument("stops are marked by id or by position, not both");
    if (stopIds.size() > maxStops)
        throw std::invalid_argument("more full stops than an index keeps");
    std::copy(stopIds.begin(), stopIds.end(), stopIds_.begin());
    stopCount_ = static_cast<std::uint32_t>(stopIds.size());
    const auto n = static_cast<Position>(ids_.size());
    if (reversed) {
        for (auto b = boundaries.rbegin(); b != boundaries.rend(); ++b)
            ownBoundaries_.push_back(n - 1 - *b);
    } else {
        ownBoundaries_.assign(boundaries.begin(), boundaries.end());
    }
    if (ownBoundaries_.empty() && !reversed) {
        buildSuffixAndLcpArrays(ids_.data(), n, alphabetSize, ownSuffixArray_, ownLcpArray_, stop);
    } else {
        // The suffix sorting reads the sequence in this index's order, and
        // sees each boundary as a symbol of its own below every token:
        // suffixes part there, and one that reaches a boundary sorts first,
        // as one that reaches the end does. The copy lives while sorting.
        const auto count = static_cast<TokenId>(ownBoundaries_.size());
        std::vector<TokenId> text;
        reserveOnHugePages(text, n);
        resizeInSteps(text, n, [stop] { throwIfStopped(stop); });
        TokenId next = 0;
        forEachPosition(n, stop, [&](Position p) __attribute__((always_inline)) {
            const TokenId id = tokenId(p);
            text[p] = id == boundaryId ? next++ : id + count;
        });
        buildSuffixAndLcpArrays(text.data(), n, alphabetSize + count, ownSuffixArray_, ownLcpArray_, stop);
    }
    suffixArray_ = ownSuffixArray_;
    lcpArray_ = ownLcpArray_;
    throwIfStopped(stop);
    suffixArrayMinimum_ = BlockMinimum(suffixArray_);
    throwIfStopped(stop);
    lcpMinimum_ = BlockMinimum(lcpArray_);
    // One compare per position for the usual single stop; a flag per id
    // for several (a boundary's id is never a stop).
    if (!stopBits_.empty()) {
        for (std::size_t w = 0; w < stopBits_.size(); ++w) {
            for (std::uint64_t bits = stopBits_[w]; bits != 0; bits &= bits - 1) {
                const std::size_t at = w * 64 + static_cast<unsigned>(std::countr_zero(bits));
                if (at < n)
                    ownStops_.push_back(static_cast<Position>(reversed ? n - 1 - at : at));
            }
        }
        if (reversed)
            std::reverse(ownStops_.begin(), ownStops_.end());
    } else if (stopCount_ == 1) {
        const TokenId only = stopIds_[0];
        forEachPosition(n, stop, [&](Position p) __attribute__((always_inline)) {
            if (tokenId(p) == only)
                ownStops_.push_back(p);
        });
    } else if (stopCount_ > 1) {
        std::vector<bool> stopFlag(alphabetSize, false);
        for (std::uint32_t k = 0; k < stopCount_; ++k)
            stopFlag[stopIds_[k]] = true;
        forEachPosition(n, stop, [&](Position p) __attribute__((always_inline)) {
            const TokenId id = tokenId(p);
            if (id != boundaryId && stopFlag[id])
                ownStops_.push_back(p);
        });
    }
    stops_ = ownStops_;
    boundaries_ = ownBoundaries_;
}

SuffixIndex::SuffixIndex(const Stored &stored, std::span<const std::uint64_t> stopBits)
    : reversed_(stored.reversed), ids_(stored.ids), stopBits_(stopBits), suffixArray_(stored.suffixArray), lcpArray_(stored.lcpArray),
      suffixArrayMinimum_(stored.suffixArray, stored.suffixArrayMinima),
      lcpMinimum_(stored.lcpArray, stored.lcpMinima), stops_(stored.stops), boundaries_(stored.boundaries),
      savedRanks_(stored.ranks.size() == stored.ids.size() ? stored.ranks : std::span<const std::uint32_t>())
{
    stopCount_ = static_cast<std::uint32_t>(std::min(stored.stopIds.size(), maxStops));
    std::copy_n(stored.stopIds.begin(), stopCount_, stopIds_.begin());
}

SuffixIndex::Stored SuffixIndex::stored() const
{
    return {ids_,
            reversed_,
            stopIds(),
            suffixArray_,
            lcpArray_,
            suffixArrayMinimum_.minima(),
            lcpMinimum_.minima(),
            stops_,
            boundaries_,
            savedRanks_};
}

SuffixIndex::Position SuffixIndex::nextStop(Position p) const
{
    const auto stop = std::lower_bound(stops_.begin(), stops_.end(), p);
    return stop == stops_.end() ? end() : std::min(*stop, end());
}

SuffixIndex::Position SuffixIndex::boundaryAfterSlow(Position p) const
{
    const auto boundary = std::lower_bound(boundaries_.begin(), boundaries_.end(), p);
    return boundary == boundaries_.end() ? end() : std::min(*boundary, end());
}
