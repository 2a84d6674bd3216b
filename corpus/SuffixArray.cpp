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
    // Called between the passes (each a fraction of a second on the largest
    // texts), so that a stop comes soon without a check per entry.
    void throwIfStopped() const
    {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            throw Progress::Stopped();
    }

    const std::atomic<bool> *stop = nullptr;
    std::unique_ptr<Index[]> words;         // the bucket cursors, then each level's bucket starts
    std::size_t firstStarts = 0;            // where the top level's bucket starts begin in words
    std::unique_ptr<std::uint8_t[]> types;  // each suffix's type (see classify)
};

// Suffix types: L-type (0) if the suffix at i is larger than the one at
// i + 1, S-type if smaller, and among the S-type ones leftmost (LMS, 2), after
// an L-type one, or not (1). Sets types[i] for i < end from types[end], which
// must hold its type (the last suffix is L-type: the end of the text acts as a
// sentinel smaller than every symbol), and marks types[end] LMS or not.
constexpr std::uint8_t lTyped = 0;
constexpr std::uint8_t lmsTyped = 2;

void classify(const Index *s, Index end, std::uint8_t *types)
{
    // Branch-free, the type carried in a register: the outcome follows the
    // text, which no predictor knows.
    unsigned nextSmaller = types[end] != lTyped;
    for (Index i = end; i-- > 0;) {
        const unsigned smaller = (s[i] < s[i + 1]) | ((s[i] == s[i + 1]) & nextSmaller);
        types[i + 1] = static_cast<std::uint8_t>(nextSmaller << (smaller ^ 1));
        nextSmaller = smaller;
    }
    types[0] = static_cast<std::uint8_t>(nextSmaller);
}

// starts[c] = how many symbols are below c, for c <= alphabetSize.
void countBuckets(const Index *s, Index n, Index alphabetSize, Index *starts)
{
    std::fill(starts, starts + alphabetSize + 1, 0);
    Index i = 0;
    if (alphabetSize <= 256) {
        // Few symbols: each increment would wait for the one before of the
        // same symbol, so four sets of counters take turns.
        Index partial[4][256] = {};
        for (; i + 4 <= n; i += 4) {
            ++partial[0][s[i]];
            ++partial[1][s[i + 1]];
            ++partial[2][s[i + 2]];
            ++partial[3][s[i + 3]];
        }
        for (Index c = 0; c < alphabetSize; ++c)
            starts[c] = partial[0][c] + partial[1][c] + partial[2][c] + partial[3][c];
    }
    for (; i < n; ++i)
        ++starts[s[i]];
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
            Index *cursor, Index *sa)
{
    // The sorted LMS suffixes stand at their bucket ends; an L-type suffix
    // stands before each of them.
    for (Index i = 0; i < n; ++i) {
        if (sa[i] != none)
            sa[i] |= lBefore;
    }
    std::copy(starts, starts + alphabetSize, cursor);
    // The last suffix is L-type; so is the one before it if its symbol is not smaller.
    sa[cursor[s[n - 1]]++] = (n - 1) | (n > 1 && types[n - 2] == lTyped ? lBefore : 0);
    for (Index i = 0; i < n; ++i) {
        if (i + prefetchDistance < n)
            prefetchBefore(s, n, sa[i + prefetchDistance]);
        const Index entry = sa[i];
        if (entry == none || !(entry & lBefore))
            continue;
        // p = the L-type suffix before this one; the one before p is L-type
        // too when its symbol is not smaller than p's.
        const Index p = (entry & positionBits) - 1;
        sa[cursor[s[p]]++] = p | (p > 0 && s[p - 1] >= s[p] ? lBefore : 0);
    }
    std::copy(starts + 1, starts + alphabetSize + 1, cursor);
    for (Index i = n; i-- > 0;) {
        if (i >= prefetchDistance)
            prefetchBefore(s, n, sa[i - prefetchDistance]);
        const Index entry = sa[i];
        if (entry == none || (entry & lBefore) || (entry & positionBits) == 0)
            continue;
        // p = the S-type suffix before this one; the one before p is L-type
        // only when its symbol is larger than p's.
        const Index p = (entry & positionBits) - 1;
        sa[--cursor[s[p]]] = p | (p > 0 && s[p - 1] > s[p] ? lBefore : 0);
    }
    for (Index i = 0; i < n; ++i)
        sa[i] &= positionBits;
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
    classify(s, n - 1, types);
    countBuckets(s, n, alphabetSize, starts);

    // Sort the LMS substrings: LMS positions at their bucket ends, then induce.
    std::fill(sa, sa + n, none);
    std::copy(starts + 1, starts + alphabetSize + 1, cursor);
    Index m = 0;
    for (Index i = 1; i < n; ++i) {
        if (isLms(types, i)) {
            sa[--cursor[s[i]]] = i;
            ++m;
        }
    }
    induce(s, n, alphabetSize, types, starts, cursor, sa);
    if (m == 0)
        return;  // nothing but the sentinel to induce from: the order is complete
    scratch.throwIfStopped();

    // Gather the LMS positions in sorted order at the front.
    for (Index i = 0, j = 0; i < n; ++i) {
        if (i + prefetchDistance < n)
            __builtin_prefetch(types + sa[i + prefetchDistance]);
        const Index p = sa[i];
        sa[j] = p;
        j += isLms(types, p);
    }

    // Name them, equal substrings alike; LMS positions are at least two
    // apart, so position / 2 gives each its own slot behind the front.
    std::fill(sa + m, sa + n, none);
    Index names = 0;
    Index previous = none;
    for (Index i = 0; i < m; ++i) {
        if (i + prefetchDistance < m) {
            __builtin_prefetch(s + sa[i + prefetchDistance]);
            __builtin_prefetch(types + sa[i + prefetchDistance]);
        }
        const Index p = sa[i];
        if (previous == none || lmsSubstringsDiffer(s, n, types, previous, p)) {
            ++names;
            previous = p;
        }
        sa[m + p / 2] = names - 1;
    }
    scratch.throwIfStopped();
    // The reduced text: the names in text order, moved to the back.
    Index *reduced = sa + n - m;
    for (Index i = n, j = n; i-- > m;) {
        if (sa[i] != none)
            sa[--j] = sa[i];
    }

    if (names < m) {
        sortSuffixes(reduced, m, names, sa, scratch, starts + alphabetSize + 1);
        // The level below overwrote the types of its m positions.
        classify(s, m, types);
    } else {
        // All names differ: a name is the rank of its suffix.
        for (Index i = 0; i < m; ++i)
            sa[reduced[i]] = i;
    }

    // Turn ranks into LMS positions (listed in text order where the reduced text was).
    for (Index i = 1, j = 0; j < m; ++i) {
        reduced[j] = i;
        j += isLms(types, i);
    }
    for (Index i = 0; i < m; ++i) {
        if (i + prefetchDistance < m)
            __builtin_prefetch(reduced + sa[i + prefetchDistance]);
        sa[i] = reduced[sa[i]];
    }
    scratch.throwIfStopped();
    // Put the sorted LMS suffixes at their bucket ends, the largest first; each
    // moves right or stays, so none is overwritten before it is moved.
    std::fill(sa + m, sa + n, none);
    std::copy(starts + 1, starts + alphabetSize + 1, cursor);
    for (Index i = m; i-- > 0;) {
        if (i >= prefetchDistance)
            __builtin_prefetch(s + sa[i - prefetchDistance]);
        const Index p = sa[i];
        sa[i] = none;
        sa[--cursor[s[p]]] = p;
    }
    induce(s, n, alphabetSize, types, starts, cursor, sa);
}

// Kasai's algorithm in the order of the text (the common prefix with the
// preceding suffix shrinks by at most one from the suffix at i to the one at
// i + 1), with phi[i] = the suffix before i's in the suffix array; phi then
// holds each position's common prefix length, which lcp takes in suffix-array
// order. With threads, each takes a run of the text and starts its run from
// nothing: the result is the same, for at most one longest common prefix's
// worth of comparisons more per thread.
void computeLcp(const Index *text, Index n, const Index *sa, Index *phi, Index *lcp)
{
    phi[sa[0]] = none;
#if defined(_OPENMP)
#pragma omp parallel for schedule(static) if (n > parallelFrom)
#endif
    for (Index i = 1; i < n; ++i)
        phi[sa[i]] = sa[i - 1];
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
        Index h = 0;
        for (Index i = first; i < last; ++i) {
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
#if defined(_OPENMP)
#pragma omp parallel for schedule(static) if (n > parallelFrom)
#endif
    for (Index i = 0; i < n; ++i) {
        if (i + prefetchDistance < n)
            __builtin_prefetch(phi + sa[i + prefetchDistance]);
        lcp[i] = phi[sa[i]];
    }
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
        computeLcp(text, length, suffixArray.data(), phi.get(), lcp.data());
    }
    return lcp;
}

void buildSuffixAndLcpArrays(const std::uint32_t *text, std::uint32_t length, std::uint32_t alphabetSize,
                             std::vector<std::uint32_t> &suffixArray, std::vector<std::uint32_t> &lcpArray,
                             const std::atomic<bool> *stop)
{
    if (length > maxSuffixArrayLength)
        throw std::length_error("the text has more tokens than the suffix sorting can number");
    reserveOnHugePages(suffixArray, length);
    reserveOnHugePages(lcpArray, length);
    suffixArray.resize(length);
    lcpArray.resize(length);
    if (length == 0)
        return;
    Scratch scratch(length, alphabetSize);
    scratch.stop = stop;
    sortSuffixes(text, length, alphabetSize, suffixArray.data(), scratch, scratch.words.get() + scratch.firstStarts);
    scratch.throwIfStopped();
    computeLcp(text, length, suffixArray.data(), scratch.words.get(), lcpArray.data());
}
