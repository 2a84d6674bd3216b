#include "QueryTreeOccurrences.h"

#include <stdexcept>

std::vector<Corpus::TokenId> queryTokenIds(const Corpus &corpus, const Query &query)
{
    if (!query.tokens.empty())
        return query.tokens;
    std::vector<Corpus::TokenId> ids;
    try {
        if (!corpus.findTokens(query.phrase.data(), static_cast<std::uint32_t>(query.phrase.size()), ids))
            ids.clear();
    } catch (const std::runtime_error &) {
        ids.clear();  // the phrase cannot be cut (see answerQuery): it has no occurrences to list
    }
    return ids;
}

TreeOccurrences queryTreeOccurrences(const Corpus &corpus, const Query &query, TreeDirection side)
{
    return TreeOccurrences(corpus, side, queryTokenIds(corpus, query));
}
