#include "SuffixArray.h"

#include <algorithm>
#include <cassert>

namespace {

using Index = std::uint32_t;
constexpr Index none = UINT32_MAX;

// Below this length a comparison sort is faster than setting up the buckets.
constexpr Index naiveLimit = 16;

void sortNaively(const Index *s, Index n, Index *sa)
{
    for (Index i = 0; i < n; ++i)
        sa[i] = i;
    std::sort(sa, sa + n, [s, n](Index a, Index b) {
        return std::lexicographical_compare(s + a, s + n, s + b, s + n);
    });
}

// SA-IS (Nong, Zhang and Chan): sorts the LMS substrings by induction, names
// them, sorts the reduced text recursively (it is at most half as long), and
// induces the whole order from the sorted LMS suffixes. The end of the text
// acts as a sentinel smaller than every symbol, so the last suffix is L-type.
void sortSuffixes(const Index *s, Index n, Index alphabetSize, Index *sa)
{
    if (n < naiveLimit) {
        sortNaively(s, n, sa);
        return;
    }

    // isS[i]: the suffix at i is smaller than the one at i + 1.
    std::vector<std::uint8_t> isS(n, 0);
    for (Index i = n - 1; i-- > 0;)
        isS[i] = s[i] < s[i + 1] || (s[i] == s[i + 1] && isS[i + 1]);

    // Each symbol's bucket holds its L-type suffixes first, then its S-type ones.
    std::vector<Index> lStart(alphabetSize + 1, 0);  // start of the bucket of c
    std::vector<Index> sStart(alphabetSize + 1, 0);  // start of the S-part of the bucket of c
    for (Index i = 0; i < n; ++i) {
        if (isS[i])
            ++sStart[s[i]];
        else
            ++lStart[s[i] + 1];
    }
    // Turn counts into starts: lStart[c] = symbols < c; sStart[c] = lStart[c] + L-count of c.
    for (Index c = 0, sum = 0; c < alphabetSize; ++c) {
        const Index lCount = lStart[c + 1];
        const Index sCount = sStart[c];
        lStart[c] = sum;
        sStart[c] = sum + lCount;
        sum += lCount + sCount;
        lStart[c + 1] = sum;
    }
    lStart[alphabetSize] = n;

    std::vector<Index> bucket(alphabetSize + 1);
    auto induce = [&](const std::vector<Index> &lms) {
        std::fill(sa, sa + n, none);
        std::copy(sStart.begin(), sStart.end(), bucket.begin());
        for (Index p : lms)
            sa[bucket[s[p]]++] = p;
        // L-type suffixes, left to right; the last suffix is the smallest of its bucket.
        std::copy(lStart.begin(), lStart.end(), bucket.begin());
        sa[bucket[s[n - 1]]++] = n - 1;
        for (Index i = 0; i < n; ++i) {
            const Index v = sa[i];
            if (v != none && v > 0 && !isS[v - 1])
                sa[bucket[s[v - 1]]++] = v - 1;
        }
        // S-type suffixes, right to left, from the ends of the buckets.
        std::copy(lStart.begin(), lStart.end(), bucket.begin());
        for (Index i = n; i-- > 0;) {
            const Index v = sa[i];
            if (v != none && v > 0 && isS[v - 1])
                sa[--bucket[s[v - 1] + 1]] = v - 1;
        }
    };

    std::vector<Index> lmsIndex(n, none);  // position -> rank among the LMS positions
    std::vector<Index> lms;
    for (Index i = 1; i < n; ++i) {
        if (!isS[i - 1] && isS[i]) {
            lmsIndex[i] = static_cast<Index>(lms.size());
            lms.push_back(i);
        }
    }
    const Index m = static_cast<Index>(lms.size());

    induce(lms);
    if (m == 0)
        return;

    // The LMS substrings now stand in sorted order; name equal ones alike.
    std::vector<Index> sortedLms;
    sortedLms.reserve(m);
    for (Index i = 0; i < n; ++i) {
        if (lmsIndex[sa[i]] != none)
            sortedLms.push_back(sa[i]);
    }
    std::vector<Index> reduced(m);
    Index name = 0;
    reduced[lmsIndex[sortedLms[0]]] = 0;
    for (Index i = 1; i < m; ++i) {
        Index l = sortedLms[i - 1];
        Index r = sortedLms[i];
        const Index endL = lmsIndex[l] + 1 < m ? lms[lmsIndex[l] + 1] : n;
        const Index endR = lmsIndex[r] + 1 < m ? lms[lmsIndex[r] + 1] : n;
        bool same = endL - l == endR - r;
        if (same) {
            while (l < endL && s[l] == s[r]) {
                ++l;
                ++r;
            }
            // Equal up to the next LMS position, which must itself match and
            // not be the end of the text.
            same = l == endL && l < n && r < n && s[l] == s[r];
        }
        if (!same)
            ++name;
        reduced[lmsIndex[sortedLms[i]]] = name;
    }
    lmsIndex = std::vector<Index>();

    if (name + 1 < m) {
        std::vector<Index> reducedSa(m);
        sortSuffixes(reduced.data(), m, name + 1, reducedSa.data());
        for (Index i = 0; i < m; ++i)
            sortedLms[i] = lms[reducedSa[i]];
    } else {
        // All names differ: the names are the ranks.
        for (Index i = 0; i < m; ++i)
            sortedLms[reduced[i]] = lms[i];
    }
    induce(sortedLms);
}

}  // namespace

std::vector<std::uint32_t> buildSuffixArray(const std::uint32_t *text, std::uint32_t length,
                                            std::uint32_t alphabetSize)
{
    assert(length < none);
    std::vector<std::uint32_t> sa(length);
    if (length > 0)
        sortSuffixes(text, length, alphabetSize, sa.data());
    return sa;
}

std::vector<std::uint32_t> buildLcpArray(const std::uint32_t *text, std::uint32_t length,
                                         const std::vector<std::uint32_t> &suffixArray)
{
    std::vector<std::uint32_t> lcp(length, 0);
    if (length == 0)
        return lcp;
    std::vector<Index> rank(length);
    for (Index i = 0; i < length; ++i)
        rank[suffixArray[i]] = i;
    // Kasai: the common prefix with the preceding suffix shrinks by at most
    // one from the suffix at i to the suffix at i + 1.
    Index h = 0;
    for (Index i = 0; i < length; ++i) {
        const Index r = rank[i];
        if (r == 0) {
            h = 0;
            continue;
        }
        const Index j = suffixArray[r - 1];
        while (i + h < length && j + h < length && text[i + h] == text[j + h])
            ++h;
        lcp[r] = h;
        if (h > 0)
            --h;
    }
    return lcp;
}
