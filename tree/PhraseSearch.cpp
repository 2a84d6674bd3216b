#include "PhraseSearch.h"

#include "SuffixTreeBuilder.h"

#include <string>
#include <vector>

std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text)
{
    // A token the corpus never holds cannot occur.
    std::vector<Corpus::TokenId> query;
    if (!corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), query) || query.empty())
        return nullptr;

    return buildCollapsedTree(corpus, std::string(text), query, static_cast<float>(corpus.tokenCount()));
}
