#include "ConcordanceOrder.h"

#include "UnicodeTokens.h"

#include <algorithm>
#include <string>
#include <utility>

std::vector<Corpus::Position> orderByWordsBeside(const Corpus &corpus, std::span<const Corpus::Position> starts,
                                                 std::uint32_t length, std::uint32_t context, ConcordanceSide side)
{
    using Position = Corpus::Position;
    using TokenId = Corpus::TokenId;
    // The k-th word beside the occurrence at p (from 0), or noToken where
    // the text or the document has ended: a boundary's id is noToken, and
    // so is a position past the end (Corpus::tokenId).
    const auto wordAt = [&](Position p, std::uint32_t k) {
        if (side == ConcordanceSide::Left)
            return k < p ? corpus.tokenId(p - 1 - k) : Corpus::noToken;
        const std::uint64_t at = std::uint64_t{p} + length + k;
        return at < corpus.end() ? corpus.tokenId(static_cast<Position>(at)) : Corpus::noToken;
    };
    // How many words each row has to compare, and the distinct words met,
    // read once (the rows are many, the text large); only those are ranked,
    // rank 0 being no word. Every id is below the vocabulary: a saved
    // index's are checked when it is opened.
    const std::size_t rows = starts.size();
    std::vector<std::uint32_t> depth(rows, 0);
    std::vector<std::uint32_t> rank(corpus.vocabularySize(), 0);
    std::vector<TokenId> words;
    std::uint32_t deepest = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        std::uint32_t k = 0;
        for (; k < context; ++k) {
            const TokenId id = wordAt(starts[i], k);
            if (id == Corpus::noToken)
                break;
            if (rank[id] == 0) {
                rank[id] = 1;
                words.push_back(id);
            }
        }
        depth[i] = k;
        deepest = std::max(deepest, k);
    }
    const bool utf8 = corpus.options().utf8();
    std::vector<std::pair<std::string, TokenId>> texts;
    texts.reserve(words.size());
    for (const TokenId id : words) {
        std::string folded;
        appendFolded(corpus.tokenText(id), utf8, folded);
        texts.emplace_back(std::move(folded), id);
    }
    words = {};
    std::sort(texts.begin(), texts.end(), [&corpus](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : corpus.tokenText(a.second) < corpus.tokenText(b.second);
    });
    for (std::size_t r = 0; r < texts.size(); ++r)
        rank[texts[r].second] = static_cast<std::uint32_t>(r + 1);
    const std::size_t ranks = texts.size() + 1;
    texts = {};

    // Least significant word first: a stable counting sort of the rows by
    // their k-th word, for k from the last compared down to the first,
    // leaves them ordered by the first word, equal first words by the
    // second, and so on, and rows equal throughout in the order they came.
    std::vector<std::uint32_t> order(rows), next(rows), key(rows), count;
    for (std::size_t i = 0; i < rows; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    for (std::uint32_t k = deepest; k-- > 0;) {
        // Keys in row order, so that the corpus is read in text order.
        for (std::size_t i = 0; i < rows; ++i)
            key[i] = k < depth[i] ? rank[wordAt(starts[i], k)] : 0;
        count.assign(ranks + 1, 0);
        for (const std::uint32_t r : key)
            ++count[r + 1];
        for (std::size_t r = 1; r < count.size(); ++r)
            count[r] += count[r - 1];
        for (const std::uint32_t i : order)
            next[count[key[i]]++] = i;
        order.swap(next);
    }
    std::vector<Position> ordered(rows);
    for (std::size_t j = 0; j < rows; ++j)
        ordered[j] = starts[order[j]];
    return ordered;
}
