#include "SuffixArray.h"

#include "HugePages.h"
#include "Progress.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <stdexcept>

#if defined(_OPENMP)
#include <omp.h>
#endif

namespace {

using Index = std::uint32_t;
constexpr Index none = UINT32_MAX;

// Scratch that every level of the suffix sorting shares, and that the LCP
// pass takes over afterwards: fresh pages cost a page fault each, so the
// levels reuse one set of buffers instead of allocating their own.
struct Scratch {
    Scratch(Index length, Index alphabetSize)
    {
        // A reduced text is at most half as long as the one above and has at
        // most as many symbols as it is long: the levels' bucket starts take
        // at most alphabetSize + length words plus one per level, the cursors
        // as many as the largest alphabet. The LCP pass needs `length` words.
        const std::size_t cursors = std::max<std::size_t>(alphabetSize, length / 2) + 1;
        const std::size_t starts = std::size_t{alphabetSize} + 1 + length + 32;
        const std::size_t count = std::max<std::size_t>(length, cursors + starts);
        words = std::make_unique_for_overwrite<Index[]>(count);
        adviseHugePages(words.get(), count * sizeof(Index));
        firstStarts = cursors;
        types = std::make_unique_for_overwrite<std::uint8_t[]>(length);
        adviseHugePages(types.get(), length);
    }
    Index *cursor() const { return words.get(); }
    bool stopRequested() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }
    void throwIfStopped() const
    {
        if (stopRequested())
            throw Progress::Stopped();
    }

    const std::atomic<bool> *stop = nullptr;
    std::unique_ptr<Index[]> words;         // the bucket cursors, then each level's bucket starts
    std::size_t firstStarts = 0;            // where the top level's bucket starts begin in words
    std::unique_ptr<std::uint8_t[]> types;  // each suffix's type (see classify)
};

// A pass over the largest texts takes a second or more, so each one reads
// the stop flag every pollSpan entries: a relaxed load every millisecond
// or so of work, which no profile shows. The loops below run a pass as
// spans of the same loop, carrying what one entry hands the next in locals.
constexpr Index pollSpan = Index{1} << 20;

// Calls body(from, to) on [first, last) in ascending spans of at most
// pollSpan entries, throwing Progress::Stopped before any span once the
// stop is set.
template <typename Body>
inline void forSpans(const Scratch &scratch, Index first, Index last, Body &&body)
{
    for (Index from = first; from < last;) {
        scratch.throwIfStopped();
        const Index to = last - from > pollSpan ? from + pollSpan : last;
        body(from, to);
        from = to;
    }
}

// The same in descending spans, for the loops that walk down.
template <typename Body>
inline void forSpansDown(const Scratch &scratch, Index first, Index last, Body &&body)
{
    for (Index to = last; to > first;) {
        scratch.throwIfStopped();
        const Index from = to - first > pollSpan ? to - pollSpan : first;
        body(from, to);
        to = from;
    }
}

// std::fill of `count` entries, a span at a time.
inline void fillSpans(const Scratch &scratch, Index *at, Index count, Index value)
{
    forSpans(scratch, 0, count, [&](Index from, Index to) { std::fill(at + from, at + to, value); });
}

// Suffix types: L-type (0) if the suffix at i is larger than the one at
// i + 1, S-type if smaller, and among the S-type ones leftmost (LMS, 2), after
// an L-type one, or not (1). Sets types[i] for i < end from types[end], which
// must hold its type (the last suffix is L-type: the end of the text acts as a
// sentinel smaller than every symbol), and marks types[end] LMS or not.
constexpr std::uint8_t lTyped = 0;
constexpr std::uint8_t lmsTyped = 2;

void classify(const Index *s, Index end, std::uint8_t *types, const Scratch &scratch)
{
    // Branch-free, the type carried in a register: the outcome follows the
    // text, which no predictor knows.
    unsigned carried = types[end] != lTyped;
    forSpansDown(scratch, 0, end, [&](Index from, Index to) {
        unsigned nextSmaller = carried;
        for (Index i = to; i-- > from;) {
            const unsigned smaller = (s[i] < s[i + 1]) | ((s[i] == s[i + 1]) & nextSmaller);
            types[i + 1] = static_cast<std::uint8_t>(nextSmaller << (smaller ^ 1));
            nextSmaller = smaller;
        }
        carried = nextSmaller;
    });
    types[0] = static_cast<std::uint8_t>(carried);
}

// starts[c] = how many symbols are below c, for c <= alphabetSize.
void countBuckets(const Index *s, Index n, Index alphabetSize, Index *starts, const Scratch &scratch)
{
    std::fill(starts, starts + alphabetSize + 1, 0);
    if (alphabetSize <= 256) {
        // Few symbols: each increment would wait for the one before of the
        // same symbol, so four sets of counters take turns.
        Index partial[4][256] = {};
        forSpans(scratch, 0, n, [&](Index from, Index to) {
            Index i = from;
            for (; i + 4 <= to; i += 4) {
                ++partial[0][s[i]];
                ++partial[1][s[i + 1]];
                ++partial[2][s[i + 2]];
                ++partial[3][s[i + 3]];
            }
            for (; i < to; ++i)
                ++partial[0][s[i]];
        });
        for (Index c = 0; c < alphabetSize; ++c)
            starts[c] = partial[0][c] + partial[1][c] + partial[2][c] + partial[3][c];
    } else {
        forSpans(scratch, 0, n, [&](Index from, Index to) {
            for (Index i = from; i < to; ++i)
                ++starts[s[i]];
        });
    }
    Index sum = 0;
    for (Index c = 0; c <= alphabetSize; ++c) {
        const Index count = starts[c];
        starts[c] = sum;
        sum += count;
    }
}

bool isLms(const std::uint8_t *types, Index i) { return types[i] == lmsTyped; }

// Induces the order of all suffixes from the LMS suffixes that stand at the
// ends of their buckets: L-type ones left to right from the bucket starts
// (the last suffix first, right after the sentinel), then S-type ones right
// to left from the bucket ends.
// The scans read the text and the types at positions that the suffix array
// names, which on a large text miss the caches nearly every time; they ask
// for those a few dozen slots ahead. A slot that is filled later than that
// was asked for is simply not fetched in advance.
constexpr Index prefetchDistance = 32;
// Below this many symbols a second thread costs more than it saves.
[[maybe_unused]] constexpr Index parallelFrom = 1 << 20;

inline void prefetchBefore(const Index *s, Index n, Index entry)
{
    // An entry's position is its low 31 bits (see induce); an empty slot's
    // gives a position past the end.
    const Index previous = (entry & ~(Index{1} << 31)) - 1;
    if (previous < n)
        __builtin_prefetch(s + previous);
}

// While the order is induced, each suffix-array entry carries in its top bit
// whether the suffix before it is L-type: the scans then decide from the
// entry itself, and work out the bit of the entry they induce from the two
// symbols before it, which mostly share a cache line, instead of reading the
// types array at a third place. Positions are below 2^31, so the bit is free.
constexpr Index lBefore = Index{1} << 31;
constexpr Index positionBits = lBefore - 1;

void induce(const Index *s, Index n, Index alphabetSize, const std::uint8_t *types, const Index *starts,
            Index *cursor, Index *sa, const Scratch &scratch)
{
    // The sorted LMS suffixes stand at their bucket ends; an L-type suffix
    // stands before each of them.
    forSpans(scratch, 0, n, [&](Index from, Index to) {
        for (Index i = from; i < to; ++i) {
            if (sa[i] != none)
                sa[i] |= lBefore;
        }
    });
    std::copy(starts, starts + alphabetSize, cursor);
    // The last suffix is L-type; so is the one before it if its symbol is not smaller.
    sa[cursor[s[n - 1]]++] = (n - 1) | (n > 1 && types[n - 2] == lTyped ? lBefore : 0);
    forSpans(scratch, 0, n, [&](Index from, Index to) {
        for (Index i = from; i < to; ++i) {
            if (i + prefetchDistance < n)
                prefetchBefore(s, n, sa[i + prefetchDistance]);
            const Index entry = sa[i];
            if (entry == none || !(entry & lBefore))
                continue;
            // p = the L-type suffix before this one; the one before p is
            // L-type too when its symbol is not smaller than p's.
            const Index p = (entry & positionBits) - 1;
            sa[cursor[s[p]]++] = p | (p > 0 && s[p - 1] >= s[p] ? lBefore : 0);
        }
    });
    std::copy(starts + 1, starts + alphabetSize + 1, cursor);
    forSpansDown(scratch, 0, n, [&](Index from, Index to) {
        for (Index i = to; i-- > from;) {
            if (i >= prefetchDistance)
                prefetchBefore(s, n, sa[i - prefetchDistance]);
            const Index entry = sa[i];
            if (entry == none || (entry & lBefore) || (entry & positionBits) == 0)
                continue;
            // p = the S-type suffix before this one; the one before p is
            // L-type only when its symbol is larger than p's.
            const Index p = (entry & positionBits) - 1;
            sa[--cursor[s[p]]] = p | (p > 0 && s[p - 1] > s[p] ? lBefore : 0);
        }
    });
    forSpans(scratch, 0, n, [&](Index from, Index to) {
        for (Index i = from; i < to; ++i)
            sa[i] &= positionBits;
    });
}

// Whether the LMS substrings at a and b (each up to and including the next
// LMS position, or up to the end of the text) differ.
bool lmsSubstringsDiffer(const Index *s, Index n, const std::uint8_t *types, Index a, Index b)
{
    for (Index d = 0;; ++d) {
        // Only one of them can reach the end: a substring that does is unique.
        if (a + d == n || b + d == n || s[a + d] != s[b + d] || types[a + d] != types[b + d])
            return true;
        // Equal so far, types included, so both are LMS here or neither is.
        if (d > 0 && isLms(types, a + d))
            return false;
    }
}

// SA-IS (Nong, Zhang and Chan): sorts the LMS substrings by induction, names
// them, sorts the reduced text of names recursively (it is at most half as
// long), and induces the whole order from the sorted LMS suffixes. The
// reduced text and its suffix array live in `sa` itself, a level's buckets
// and types in the shared scratch: `starts` (alphabetSize + 1 words) are its
// own, the levels below stack theirs after them; the types of the first m
// positions (m LMS positions, at most n / 2) are rebuilt after the level
// below has used them for its own. Every symbol of s must be below alphabetSize.
void sortSuffixes(const Index *s, Index n, Index alphabetSize, Index *sa, const Scratch &scratch, Index *starts)
{
    std::uint8_t *types = scratch.types.get();
    Index *cursor = scratch.cursor();
    types[n - 1] = lTyped;
    classify(s, n - 1, types, scratch);
    countBuckets(s, n, alphabetSize, starts, scratch);

    // Sort the LMS substrings: LMS positions at their bucket ends, then induce.
    fillSpans(scratch, sa, n, none);
    std::copy(starts + 1, starts + alphabetSize + 1, cursor);
    Index m = 0;
    forSpans(scratch, 1, n, [&](Index from, Index to) {
        Index found = 0;
        for (Index i = from; i < to; ++i) {
            if (isLms(types, i)) {
                sa[--cursor[s[i]]] = i;
                ++found;
            }
        }
        m += found;
    });
    induce(s, n, alphabetSize, types, starts, cursor, sa, scratch);
    if (m == 0)
        return;  // nothing but the sentinel to induce from: the order is complete

    // Gather the LMS positions in sorted order at the front.
    Index gathered = 0;
    forSpans(scratch, 0, n, [&](Index from, Index to) {
        Index j = gathered;
        for (Index i = from; i < to; ++i) {
            if (i + prefetchDistance < n)
                __builtin_prefetch(types + sa[i + prefetchDistance]);
            const Index p = sa[i];
            sa[j] = p;
            j += isLms(types, p);
        }
        gathered = j;
    });

    // Name them, equal substrings alike; LMS positions are at least two
    // apart, so position / 2 gives each its own slot behind the front.
    fillSpans(scratch, sa + m, n - m, none);
    Index names = 0;
    Index previous = none;
    forSpans(scratch, 0, m, [&](Index from, Index to) {
        Index named = names, last = previous;
        for (Index i = from; i < to; ++i) {
            if (i + prefetchDistance < m) {
                __builtin_prefetch(s + sa[i + prefetchDistance]);
                __builtin_prefetch(types + sa[i + prefetchDistance]);
            }
            const Index p = sa[i];
            if (last == none || lmsSubstringsDiffer(s, n, types, last, p)) {
                ++named;
                last = p;
            }
            sa[m + p / 2] = named - 1;
        }
        names = named;
        previous = last;
    });
    // The reduced text: the names in text order, moved to the back.
    Index *reduced = sa + n - m;
    Index moved = n;
    forSpansDown(scratch, m, n, [&](Index from, Index to) {
        Index j = moved;
        for (Index i = to; i-- > from;) {
            if (sa[i] != none)
                sa[--j] = sa[i];
        }
        moved = j;
    });

    if (names < m) {
        sortSuffixes(reduced, m, names, sa, scratch, starts + alphabetSize + 1);
        // The level below overwrote the types of its m positions.
        classify(s, m, types, scratch);
    } else {
        // All names differ: a name is the rank of its suffix.
        forSpans(scratch, 0, m, [&](Index from, Index to) {
            for (Index i = from; i < to; ++i)
                sa[reduced[i]] = i;
        });
    }

    // Turn ranks into LMS positions (listed in text order where the reduced
    // text was). The LMS positions lie below n, so the walk stops in time.
    Index listed = 0;
    forSpans(scratch, 1, n, [&](Index from, Index to) {
        Index j = listed;
        for (Index i = from; i < to && j < m; ++i) {
            reduced[j] = i;
            j += isLms(types, i);
        }
        listed = j;
    });
    forSpans(scratch, 0, m, [&](Index from, Index to) {
        for (Index i = from; i < to; ++i) {
            if (i + prefetchDistance < m)
                __builtin_prefetch(reduced + sa[i + prefetchDistance]);
            sa[i] = reduced[sa[i]];
        }
    });
    // Put the sorted LMS suffixes at their bucket ends, the largest first; each
    // moves right or stays, so none is overwritten before it is moved.
    fillSpans(scratch, sa + m, n - m, none);
    std::copy(starts + 1, starts + alphabetSize + 1, cursor);
    forSpansDown(scratch, 0, m, [&](Index from, Index to) {
        for (Index i = to; i-- > from;) {
            if (i >= prefetchDistance)
                __builtin_prefetch(s + sa[i - prefetchDistance]);
            const Index p = sa[i];
            sa[i] = none;
            sa[--cursor[s[p]]] = p;
        }
    });
    induce(s, n, alphabetSize, types, starts, cursor, sa, scratch);
}

// Runs body(first, last, stopped) once on each thread of a parallel region
// (one thread for fewer than parallelFrom entries), [first, last) being
// the thread's run of [0, n), in order. The body reads the stop flag through
// stopped() between spans of pollSpan entries and ends its run when it is
// set. An exception may not leave a parallel region, so the stop is thrown
// here, after the region, when a thread saw it.
template <typename Body>
void forRunsOnThreads(const std::atomic<bool> *stop, Index n, Body &&body)
{
    std::atomic<bool> seen{false};
    const auto stopped = [&] {
        if (stop == nullptr || !stop->load(std::memory_order_relaxed))
            return false;
        seen.store(true, std::memory_order_relaxed);
        return true;
    };
#if defined(_OPENMP)
#pragma omp parallel if (n > parallelFrom)
#endif
    {
        Index first = 0, last = n;
#if defined(_OPENMP)
        const auto threads = static_cast<Index>(omp_get_num_threads());
        const auto thread = static_cast<Index>(omp_get_thread_num());
        first = static_cast<Index>(std::uint64_t{n} * thread / threads);
        last = static_cast<Index>(std::uint64_t{n} * (thread + 1) / threads);
#endif
        body(first, last, stopped);
    }
    if (seen.load(std::memory_order_relaxed))
        throw Progress::Stopped();
}

// Kasai's algorithm in the order of the text (the common prefix with the
// preceding suffix shrinks by at most one from the suffix at i to the one at
// i + 1), with phi[i] = the suffix before i's in the suffix array; phi then
// holds each position's common prefix length, which lcp takes in suffix-array
// order. With threads, each takes a run of the text and starts its run from
// nothing: the result is the same, for at most one longest common prefix's
// worth of comparisons more per thread. A thread's run is walked in spans
// that carry the common prefix over, so polling the stop costs no
// comparisons.
void computeLcp(const Index *text, Index n, const Index *sa, Index *phi, Index *lcp, const std::atomic<bool> *stop)
{
    phi[sa[0]] = none;
    forRunsOnThreads(stop, n, [&](Index first, Index last, const auto &stopped) {
        for (Index from = std::max<Index>(first, 1); from < last && !stopped(); from += pollSpan) {
            const Index to = std::min(last, from + pollSpan);
            for (Index i = from; i < to; ++i)
                phi[sa[i]] = sa[i - 1];
        }
    });
    forRunsOnThreads(stop, n, [&](Index first, Index last, const auto &stopped) {
        Index h = 0;
        for (Index from = first; from < last && !stopped(); from += pollSpan) {
            const Index to = std::min(last, from + pollSpan);
            for (Index i = from; i < to; ++i) {
                const Index j = phi[i];
                if (i + prefetchDistance < last && phi[i + prefetchDistance] != none)
                    __builtin_prefetch(text + phi[i + prefetchDistance]);
                if (j == none) {
                    h = 0;
                    phi[i] = 0;
                    continue;
                }
                while (i + h < n && j + h < n && text[i + h] == text[j + h])
                    ++h;
                phi[i] = h;
                if (h > 0)
                    --h;
            }
        }
    });
    forRunsOnThreads(stop, n, [&](Index first, Index last, const auto &stopped) {
        for (Index from = first; from < last && !stopped(); from += pollSpan) {
            const Index to = std::min(last, from + pollSpan);
            for (Index i = from; i < to; ++i) {
                if (i + prefetchDistance < n)
                    __builtin_prefetch(phi + sa[i + prefetchDistance]);
                lcp[i] = phi[sa[i]];
            }
        }
    });
}

}  // namespace

std::vector<std::uint32_t> buildSuffixArray(const std::uint32_t *text, std::uint32_t length,
                                            std::uint32_t alphabetSize)
{
    if (length > maxSuffixArrayLength)
        throw std::length_error("the text has more tokens than the suffix sorting can number");
    std::vector<std::uint32_t> sa(length);
    if (length > 0) {
        const Scratch scratch(length, alphabetSize);
        sortSuffixes(text, length, alphabetSize, sa.data(), scratch, scratch.words.get() + scratch.firstStarts);
    }
    return sa;
}

std::vector<std::uint32_t> buildLcpArray(const std::uint32_t *text, std::uint32_t length,
                                         const std::vector<std::uint32_t> &suffixArray)
{
    std::vector<std::uint32_t> lcp(length, 0);
    if (length > 0) {
        const auto phi = std::make_unique_for_overwrite<Index[]>(length);
        computeLcp(text, length, suffixArray.data(), phi.get(), lcp.data(), nullptr);
    }
    return lcp;
}

void buildSuffixAndLcpArrays(const std::uint32_t *text, std::uint32_t length, std::uint32_t alphabetSize,
                             std::vector<std::uint32_t> &suffixArray, std::vector<std::uint32_t> &lcpArray,
                             const std::atomic<bool> *stop)
{
    if (length > maxSuffixArrayLength)
        throw std::length_error("the text has more tokens than the suffix sorting can number");
    const auto throwIfStopped = [stop] {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            throw Progress::Stopped();
    };
    throwIfStopped();
    suffixArray.clear();
    lcpArray.clear();
    reserveOnHugePages(suffixArray, length);
    reserveOnHugePages(lcpArray, length);
    resizeInSteps(suffixArray, length, throwIfStopped);
    resizeInSteps(lcpArray, length, throwIfStopped);
    if (length == 0)
        return;
    Scratch scratch(length, alphabetSize);
    scratch.stop = stop;
    sortSuffixes(text, length, alphabetSize, suffixArray.data(), scratch, scratch.words.get() + scratch.firstStarts);
    computeLcp(text, length, suffixArray.data(), scratch.words.get(), lcpArray.data(), stop);
}
