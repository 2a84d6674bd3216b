#include "PhraseSearch.h"

#include "SuffixTreeBuilder.h"
#include "TreeShaping.h"

#include <string>
#include <vector>

std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text)
{
    std::vector<std::string> queryTokens;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), queryTokens);
    if (queryTokens.empty())
        return nullptr;
    // A token the corpus never holds cannot occur.
    std::vector<Corpus::TokenId> query;
    query.reserve(queryTokens.size());
    for (const std::string &token : queryTokens) {
        const Corpus::TokenId id = corpus.findToken(token);
        if (id == Corpus::noToken)
            return nullptr;
        query.push_back(id);
    }

    std::unique_ptr<PhraseNode> root = buildCollapsedTree(corpus, std::string(text), query);
    if (root)
        normalizeWeights(*root, static_cast<float>(corpus.tokenCount()));
    return root;
}
