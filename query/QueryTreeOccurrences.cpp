#include "QueryTreeOccurrences.h"

std::vector<Corpus::TokenId> queryTokenIds(const Corpus &corpus, const Query &query)
{
    if (!query.tokens.empty())
        return query.tokens;
    std::vector<Corpus::TokenId> ids;
    if (!corpus.findTokens(query.phrase.data(), static_cast<std::uint32_t>(query.phrase.size()), ids))
        ids.clear();
    return ids;
}

TreeOccurrences queryTreeOccurrences(const Corpus &corpus, const Query &query, TreeDirection side)
{
    return TreeOccurrences(corpus, side, queryTokenIds(corpus, query));
}
