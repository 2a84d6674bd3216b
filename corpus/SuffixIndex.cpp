#include "SuffixIndex.h"

#include "HugePages.h"
#include "SuffixArray.h"

#include <algorithm>
#include <stdexcept>

SuffixIndex::SuffixIndex(std::span<const TokenId> ids, std::uint32_t alphabetSize, std::span<const TokenId> stopIds,
                         std::span<const Position> boundaries, bool reversed, const std::atomic<bool> *stop)
    : reversed_(reversed), ids_(ids)
{
    if (stopIds.size() > maxStops)
        throw std::invalid_argument("more full stops than an index keeps");
    std::copy(stopIds.begin(), stopIds.end(), stopIds_.begin());
    stopCount_ = static_cast<std::uint32_t>(stopIds.size());
    const auto n = static_cast<Position>(ids_.size());
    if (reversed) {
        reserveOnHugePages(ownIds_, n);
        ownIds_.assign(ids.rbegin(), ids.rend());
        ids_ = ownIds_;
        for (auto b = boundaries.rbegin(); b != boundaries.rend(); ++b)
            boundaries_.push_back(n - 1 - *b);
    } else {
        boundaries_.assign(boundaries.begin(), boundaries.end());
    }
    if (boundaries_.empty()) {
        buildSuffixAndLcpArrays(ids_.data(), n, alphabetSize, suffixArray_, lcpArray_, stop);
    } else {
        // The suffix sorting sees each boundary as a symbol of its own below
        // every token: suffixes part there, and one that reaches a boundary
        // sorts first, as one that reaches the end does.
        const auto count = static_cast<TokenId>(boundaries_.size());
        std::vector<TokenId> text;
        reserveOnHugePages(text, n);
        text.resize(n);
        TokenId next = 0;
        for (Position p = 0; p < n; ++p)
            text[p] = ids_[p] == boundaryId ? next++ : ids_[p] + count;
        buildSuffixAndLcpArrays(text.data(), n, alphabetSize + count, suffixArray_, lcpArray_, stop);
    }
    suffixArrayMinimum_ = BlockMinimum(suffixArray_);
    lcpMinimum_ = BlockMinimum(lcpArray_);
    // One compare per position for the usual single stop; a flag per id
    // for several (a boundary's id is never a stop).
    if (stopCount_ == 1) {
        const TokenId only = stopIds_[0];
        for (Position p = 0; p < n; ++p) {
            if (ids_[p] == only)
                stops_.push_back(p);
        }
    } else if (stopCount_ > 1) {
        std::vector<bool> stopFlag(alphabetSize, false);
        for (std::uint32_t k = 0; k < stopCount_; ++k)
            stopFlag[stopIds_[k]] = true;
        for (Position p = 0; p < n; ++p) {
            if (ids_[p] != boundaryId && stopFlag[ids_[p]])
                stops_.push_back(p);
        }
    }
}

SuffixIndex::Position SuffixIndex::nextStop(Position p) const
{
    const auto stop = std::lower_bound(stops_.begin(), stops_.end(), p);
    return stop == stops_.end() ? end() : *stop;
}

SuffixIndex::Position SuffixIndex::boundaryAfterSlow(Position p) const
{
    const auto boundary = std::lower_bound(boundaries_.begin(), boundaries_.end(), p);
    return boundary == boundaries_.end() ? end() : *boundary;
}
