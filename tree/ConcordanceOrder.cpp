#include "ConcordanceOrder.h"

#include "UnicodeTokens.h"

#include <algorithm>
#include <string>
#include <utility>

std::vector<Corpus::Position> orderByWordBeside(const Corpus &corpus, std::span<const Corpus::Position> starts,
                                                std::uint32_t length, ConcordanceSide side)
{
    // The word beside each occurrence; a boundary's id is noToken already.
    const auto keyOf = [&](Corpus::Position p) {
        if (side == ConcordanceSide::Left)
            return p == 0 ? Corpus::noToken : corpus.tokenId(p - 1);
        return p + length < corpus.end() ? corpus.tokenId(p + length) : Corpus::noToken;
    };
    // The words are read once (the rows are many, the text large); only
    // those met are ranked, rank 0 being no word.
    std::vector<Corpus::TokenId> keys(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        keys[i] = keyOf(starts[i]);
    std::vector<std::uint32_t> rank(corpus.vocabularySize(), 0);
    std::vector<std::pair<std::string, Corpus::TokenId>> words;
    const bool utf8 = corpus.options().utf8();
    for (const Corpus::TokenId id : keys) {
        if (id != Corpus::noToken && rank[id] == 0) {
            rank[id] = 1;
            std::string folded;
            appendFolded(corpus.tokenText(id), utf8, folded);
            words.emplace_back(std::move(folded), id);
        }
    }
    std::sort(words.begin(), words.end(), [&corpus](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : corpus.tokenText(a.second) < corpus.tokenText(b.second);
    });
    for (std::size_t i = 0; i < words.size(); ++i)
        rank[words[i].second] = static_cast<std::uint32_t>(i + 1);
    for (Corpus::TokenId &key : keys)
        key = key == Corpus::noToken ? 0 : rank[key];
    // A counting sort keeps equal words in the order they came.
    std::vector<std::uint32_t> next(words.size() + 2, 0);
    for (const std::uint32_t r : keys)
        ++next[r + 1];
    for (std::size_t r = 1; r < next.size(); ++r)
        next[r] += next[r - 1];
    std::vector<Corpus::Position> ordered(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        ordered[next[keys[i]]++] = starts[i];
    return ordered;
}
