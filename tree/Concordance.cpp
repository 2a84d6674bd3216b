#include "Concordance.h"

#include "SuffixTreeBuilder.h"
#include "Tokenizer.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// How many line feeds bytes[0, n) holds. A concordance of a large file
// counts them up to its last occurrence: sixteen bytes at a time, byte
// counters summed before they can overflow.
std::uint64_t countLineFeeds(const char *bytes, std::size_t n)
{
    std::uint64_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i feed = _mm_set1_epi8('\n');
    while (n - i >= 16) {
        __m128i counters = _mm_setzero_si128();
        // Each round adds at most one to a byte counter: 255 rounds fit.
        const std::size_t rounds = std::min<std::size_t>((n - i) / 16, 255);
        for (std::size_t r = 0; r < rounds; ++r, i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(chunk, feed));
        }
        const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        count += static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums))
                 + static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; i < n; ++i)
        count += bytes[i] == '\n';
    return count;
}

}  // namespace

PhraseOccurrences findOccurrences(const Corpus &corpus, std::string_view text)
{
    PhraseOccurrences result;
    std::vector<Corpus::TokenId> query;
    const bool known = corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), query);
    if (query.empty())
        return result;
    if (known)
        result.starts = occurrenceStarts(corpus.forward(), query);
    result.length = static_cast<std::uint32_t>(query.size());
    result.status = result.starts.empty() ? PhraseSearchResult::Status::NotFound : PhraseSearchResult::Status::Found;
    return result;
}

std::vector<std::uint64_t> occurrenceLines(const Corpus &corpus, std::span<const std::string_view> documents,
                                           std::span<const Corpus::Position> starts)
{
    std::vector<std::uint64_t> lines;
    lines.reserve(starts.size());
    std::uint32_t document = UINT32_MAX;
    std::size_t counted = 0;  // bytes of the document whose line feeds are in `line`
    std::uint64_t line = 1;
    std::string word;
    for (const Corpus::Position p : starts) {
        const std::uint32_t d = corpus.documentOf(p);
        if (d != document) {
            document = d;
            counted = 0;
            line = 1;
        }
        const std::string_view bytes = documents[d];
        // Cut the document again from a noted token up to p's token.
        const auto resume = corpus.resumePoint(p);
        Corpus::Position at = resume.first;
        const std::size_t offset = resume.second;
        std::size_t found = offset;
        const auto seek = [&](std::string_view token) {
            if (at == p) {
                // A token gathered across a zero byte lies in `word`: it
                // starts after the last byte before it that was read.
                found = token.data() >= bytes.data() && token.data() < bytes.data() + bytes.size()
                            ? static_cast<std::size_t>(token.data() - bytes.data())
                            : found;
                return false;
            }
            ++at;
            found = static_cast<std::size_t>(token.data() - bytes.data()) + token.size();
            return true;
        };
        const auto rest = static_cast<std::uint32_t>(bytes.size() - offset);
        forEachTokenOf(corpus.options(), bytes.data() + offset, rest, word, seek);
        found = std::max(found, counted);
        line += countLineFeeds(bytes.data() + counted, found - counted);
        counted = found;
        lines.push_back(line);
    }
    return lines;
}
