// SuffixIndex: a corpus's token sequence read in one direction, with the suffix array that phrase trees are read off.
#pragma once

#include "BlockMinimum.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// Positions are indices into the sequence as this index reads it. Besides
// tokens the sequence may hold boundaries (positions with the id noBoundary's
// value, UINT32_MAX) between the documents of a corpus: nothing is ever
// matched across one, and a suffix that reaches one sorts before every
// suffix that goes on with a token there, as a suffix that reaches the end.
class SuffixIndex {
public:
    using Position = std::uint32_t;
    using TokenId = std::uint32_t;
    static constexpr TokenId boundaryId = UINT32_MAX;

    SuffixIndex() = default;
    // Indexes `ids`, token ids below `alphabetSize` and boundaries (at the
    // ascending positions `boundaries`), read forward (the span must outlive
    // the index and keep its place) or, with `reversed`, a reversed copy of
    // them that the index owns. `stopIds` are the ids of the full stops, the
    // tokens that a continuation stops after (at most maxStops of them;
    // none when the text has none). When `stop` is set, Progress::Stopped is
    // thrown soon.
    SuffixIndex(std::span<const TokenId> ids, std::uint32_t alphabetSize, std::span<const TokenId> stopIds,
                std::span<const Position> boundaries, bool reversed, const std::atomic<bool> *stop = nullptr);

    static constexpr std::size_t maxStops = 8;

    SuffixIndex(SuffixIndex &&) = default;
    SuffixIndex &operator=(SuffixIndex &&) = default;

    bool reversed() const { return reversed_; }
    Position end() const { return static_cast<Position>(ids_.size()); }
    TokenId tokenId(Position p) const { return ids_[p]; }
    std::span<const TokenId> ids() const { return ids_; }
    // Whether `id` is a full stop. Most texts have one, so this is a compare or two.
    bool isStop(TokenId id) const
    {
        for (std::uint32_t k = 0; k < stopCount_; ++k) {
            if (stopIds_[k] == id)
                return true;
        }
        return false;
    }

    // Every position, ordered by the sequence that starts there (up to the
    // next boundary or the end; one that is a prefix of another comes first).
    const std::vector<Position> &suffixArray() const { return suffixArray_; }
    // lcpArray()[i]: how many tokens the sequences at suffixArray()[i - 1]
    // and suffixArray()[i] share from their start (never a boundary); 0 for i = 0.
    const std::vector<std::uint32_t> &lcpArray() const { return lcpArray_; }
    const BlockMinimum &suffixArrayMinimum() const { return suffixArrayMinimum_; }
    const BlockMinimum &lcpMinimum() const { return lcpMinimum_; }

    // The first position at or after p that holds a full stop, or end().
    Position nextStop(Position p) const;
    // The first boundary at or after p, or end(): where a continuation from p stops.
    Position boundaryAfter(Position p) const
    {
        return boundaries_.empty() ? end() : boundaryAfterSlow(p);
    }
    // The first position, in the corpus's own reading order, of the `length`
    // positions of this reading from `start`.
    Position corpusStart(Position start, std::uint32_t length) const
    {
        return reversed_ ? end() - start - length : start;
    }

private:
    Position boundaryAfterSlow(Position p) const;

    bool reversed_ = false;
    std::vector<TokenId> ownIds_;  // the reversed sequence, when reversed
    std::span<const TokenId> ids_;
    std::array<TokenId, maxStops> stopIds_{};
    std::uint32_t stopCount_ = 0;
    std::vector<Position> suffixArray_;
    std::vector<std::uint32_t> lcpArray_;
    BlockMinimum suffixArrayMinimum_;
    BlockMinimum lcpMinimum_;
    std::vector<Position> stops_;       // of any full stop, ascending
    std::vector<Position> boundaries_;  // ascending
};
