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
// The index reads its arrays through views: of vectors of its own when it
// sorted the sequence itself, or of a saved index (see Stored). Values read
// from a saved index are not trusted where they become places to read: a
// position past the end reads as a boundary, a stop past the end as the end.
class SuffixIndex {
public:
    using Position = std::uint32_t;
    using TokenId = std::uint32_t;
    static constexpr TokenId boundaryId = UINT32_MAX;

    // The arrays that make an index, as a built one holds them.
    struct Stored {
        std::span<const TokenId> ids;  // in the corpus's order, also for a reversed index
        bool reversed = false;
        std::span<const TokenId> stopIds;  // at most maxStops
        std::span<const Position> suffixArray;
        std::span<const std::uint32_t> lcpArray;
        std::span<const std::uint32_t> suffixArrayMinima;  // block minima (BlockMinimum::minima)
        std::span<const std::uint32_t> lcpMinima;
        std::span<const Position> stops;       // ascending, in this index's reading
        std::span<const Position> boundaries;  // ascending, in this index's reading
        std::span<const std::uint32_t> ranks;  // the suffix array's inverse, when saved (else empty)
    };

    SuffixIndex() = default;
    // Indexes `ids`, token ids below `alphabetSize` and boundaries (at the
    // ascending positions `boundaries`), read forward or, with `reversed`,
    // from last to first. The span must outlive the index and keep its
    // place. `stopIds` are the ids of the full stops, the tokens that a
    // continuation stops after (at most maxStops of them; none when the
    // text has none). When `stop` is set, Progress::Stopped is thrown soon.
    // An annotated text marks its sentence ends by position instead:
    // `stopBits` (bit p % 64 of word p / 64, in the corpus's order, as long
    // as the sequence needs) makes the positions whose bit is set the stops,
    // whatever their ids, and `stopIds` must then be empty.
    SuffixIndex(std::span<const TokenId> ids, std::uint32_t alphabetSize, std::span<const TokenId> stopIds,
                std::span<const Position> boundaries, bool reversed, const std::atomic<bool> *stop = nullptr,
                std::span<const std::uint64_t> stopBits = {});
    // Views the arrays of a saved index; requires the suffix and lcp arrays
    // as long as `ids`, and block minima as BlockMinimum::blocksOf gives;
    // `stopBits` as above (a word short reads as no stop).
    explicit SuffixIndex(const Stored &stored, std::span<const std::uint64_t> stopBits = {});

    static constexpr std::size_t maxStops = 8;

    SuffixIndex(SuffixIndex &&) = default;
    SuffixIndex &operator=(SuffixIndex &&) = default;

    bool reversed() const { return reversed_; }
    Position end() const { return static_cast<Position>(ids_.size()); }
    // The token at p as this index reads the sequence; a boundary's id at or past the end.
    TokenId tokenId(Position p) const
    {
        if (p >= ids_.size()) [[unlikely]]
            return boundaryId;
        return reversed_ ? ids_[ids_.size() - 1 - p] : ids_[p];
    }
    // Whether `id` is a full stop. Most texts have one, so this is a compare or two.
    bool isStop(TokenId id) const
    {
        for (std::uint32_t k = 0; k < stopCount_; ++k) {
            if (stopIds_[k] == id)
                return true;
        }
        return false;
    }
    std::span<const TokenId> stopIds() const { return {stopIds_.data(), stopCount_}; }
    // Whether the token at p (as this index reads) is a stop: a full stop's
    // id, or a position the stop bits mark.
    bool isStopAt(Position p) const
    {
        if (stopBits_.empty())
            return isStop(tokenId(p));
        if (p >= ids_.size()) [[unlikely]]
            return false;
        const std::size_t at = reversed_ ? ids_.size() - 1 - p : p;
        return at / 64 < stopBits_.size() && ((stopBits_[at / 64] >> (at % 64)) & 1);
    }

    // Every position, ordered by the sequence that starts there (up to the
    // next boundary or the end; one that is a prefix of another comes first).
    std::span<const Position> suffixArray() const { return suffixArray_; }
    // lcpArray()[i]: how many tokens the sequences at suffixArray()[i - 1]
    // and suffixArray()[i] share from their start (never a boundary); 0 for i = 0.
    std::span<const std::uint32_t> lcpArray() const { return lcpArray_; }
    const BlockMinimum &suffixArrayMinimum() const { return suffixArrayMinimum_; }
    const BlockMinimum &lcpMinimum() const { return lcpMinimum_; }
    // The arrays, for saving.
    Stored stored() const;
    // The suffix array's inverse as a saved index holds it (values that
    // may lie), or empty: see Corpus::ranks.
    std::span<const std::uint32_t> savedRanks() const { return savedRanks_; }

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
    std::span<const TokenId> ids_;  // in the corpus's order
    std::array<TokenId, maxStops> stopIds_{};
    std::uint32_t stopCount_ = 0;
    std::span<const std::uint64_t> stopBits_;  // in the corpus's order; empty unless the stops are marked by position
    std::span<const Position> suffixArray_;
    std::span<const std::uint32_t> lcpArray_;
    BlockMinimum suffixArrayMinimum_;
    BlockMinimum lcpMinimum_;
    std::span<const Position> stops_;       // of any full stop, ascending
    std::span<const Position> boundaries_;  // ascending
    std::span<const std::uint32_t> savedRanks_;

    // A built index's own storage, which the views above show.
    std::vector<Position> ownSuffixArray_;
    std::vector<std::uint32_t> ownLcpArray_;
    std::vector<Position> ownStops_;
    std::vector<Position> ownBoundaries_;
};
