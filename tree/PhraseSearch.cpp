#include "PhraseSearch.h"

#include "ContinuationGrouping.h"
#include "TreeShaping.h"

std::vector<Corpus::Position> findOccurrences(const Corpus &corpus, const std::vector<std::string> &queryTokens)
{
    std::vector<Corpus::Position> continuations;
    if (queryTokens.empty())
        return continuations;
    std::vector<Corpus::TokenId> query;
    query.reserve(queryTokens.size());
    for (const std::string &token : queryTokens) {
        const Corpus::TokenId id = corpus.findToken(token);
        if (id == Corpus::noToken)
            return continuations;
        query.push_back(id);
    }

    // fallback[k]: the length of the longest proper border of query[0, k).
    const std::size_t k = query.size();
    std::vector<std::uint32_t> fallback(k + 1, 0);
    for (std::size_t i = 1, border = 0; i < k; ++i) {
        while (border > 0 && query[i] != query[border])
            border = fallback[border];
        if (query[i] == query[border])
            ++border;
        fallback[i + 1] = static_cast<std::uint32_t>(border);
    }

    // All occurrences have the same length, so the earliest end is the
    // leftmost start; restarting from nothing after each match keeps them
    // from overlapping.
    const std::vector<Corpus::TokenId> &ids = corpus.tokenIds();
    std::size_t matched = 0;
    for (std::size_t p = 0; p < ids.size(); ++p) {
        while (matched > 0 && ids[p] != query[matched])
            matched = fallback[matched];
        if (ids[p] == query[matched])
            ++matched;
        if (matched == k) {
            continuations.push_back(static_cast<Corpus::Position>(p + 1));
            matched = 0;
        }
    }
    return continuations;
}

std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text)
{
    std::vector<std::string> queryTokens;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), queryTokens);
    if (queryTokens.empty())
        return nullptr;
    std::vector<Corpus::Position> continuations = findOccurrences(corpus, queryTokens);
    if (continuations.empty())
        return nullptr;

    auto root = std::make_unique<PhraseNode>(std::string(text), corpus, 0, 0);
    for (std::size_t i = 0; i < continuations.size(); ++i)
        root->countOccurrence();
    growContinuations(corpus, std::move(continuations), *root, 0);
    collapseChains(*root);
    normalizeWeights(*root, static_cast<float>(corpus.tokenCount()));
    return root;
}
