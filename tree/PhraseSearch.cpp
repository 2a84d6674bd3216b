#include "PhraseSearch.h"

#include "SuffixTreeBuilder.h"

#include <algorithm>
#include <string>
#include <vector>

PhraseSearchResult searchPhrase(const Corpus &corpus, std::string_view text, TreeDirection direction)
{
    PhraseSearchResult result;
    std::vector<Corpus::TokenId> query;
    // A token the corpus never holds cannot occur.
    const bool known = corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), query);
    if (query.empty()) {
        result.status = PhraseSearchResult::Status::NoTokens;
        return result;
    }
    if (known) {
        const bool backward = direction == TreeDirection::Backward;
        if (backward)
            std::reverse(query.begin(), query.end());
        result.root = buildCollapsedTree(corpus, backward ? corpus.backward() : corpus.forward(), std::string(text),
                                         query);
    }
    result.status = result.root ? PhraseSearchResult::Status::Found : PhraseSearchResult::Status::NotFound;
    return result;
}

std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text)
{
    return searchPhrase(corpus, text, TreeDirection::Forward).root;
}
