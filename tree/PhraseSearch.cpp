#include "PhraseSearch.h"

#include "SuffixTreeBuilder.h"

#include <algorithm>
#include <string>
#include <vector>

PhraseSearchResult searchPhrase(const Corpus &corpus, std::string_view text, TreeDirection direction, bool sentences)
{
    PhraseSearchResult result;
    std::vector<Corpus::TokenId> query;
    // A token the corpus never holds cannot occur.
    const bool known = corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), query);
    if (query.empty()) {
        result.status = PhraseSearchResult::Status::NoTokens;
        return result;
    }
    if (!known) {
        result.status = PhraseSearchResult::Status::NotFound;
        return result;
    }
    return searchTokens(corpus, text, query, direction, sentences);
}

PhraseSearchResult searchTokens(const Corpus &corpus, std::string_view text, std::span<const Corpus::TokenId> tokens,
                                TreeDirection direction, bool sentences)
{
    PhraseSearchResult result;
    if (tokens.empty())
        return result;
    if (direction == TreeDirection::Backward) {
        // The backward index reads the text from its end: so is the phrase.
        const std::vector<Corpus::TokenId> reversed(tokens.rbegin(), tokens.rend());
        result.root = buildCollapsedTree(corpus, corpus.backward(), std::string(text), reversed, sentences);
    } else {
        result.root = buildCollapsedTree(corpus, corpus.forward(), std::string(text), tokens, sentences);
    }
    result.status = result.root ? PhraseSearchResult::Status::Found : PhraseSearchResult::Status::NotFound;
    return result;
}

std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text)
{
    return searchPhrase(corpus, text, TreeDirection::Forward).root;
}
