#include "QueryTreeOccurrences.h"

#include "CqlPattern.h"
#include "PatternMatcher.h"
#include "PatternSearch.h"

#include <stdexcept>

std::vector<Corpus::TokenId> queryTokenIds(const Corpus &corpus, const Query &query)
{
    if (!query.tokens.empty())
        return query.tokens;
    if (query.isPattern())
        return {};
    std::vector<Corpus::TokenId> ids;
    try {
        if (!corpus.findTokens(query.phrase.data(), static_cast<std::uint32_t>(query.phrase.size()), ids))
            ids.clear();
    } catch (const std::runtime_error &) {
        ids.clear();  // the phrase cannot be cut (see answerQuery): it has no occurrences to list
    }
    return ids;
}

namespace {

TreeOccurrences allTreeOccurrences(const Corpus &corpus, const Query &query, TreeDirection side)
{
    if (query.isPattern()) {
        const CqlPattern::Parsed parsed = CqlPattern::parse(query.phrase);
        if (!parsed.pattern)
            return TreeOccurrences::ofPattern(corpus, side, {});
        const PatternMatcher::Compiled compiled = PatternMatcher::compile(*parsed.pattern, corpus);
        if (!compiled.matcher)
            return TreeOccurrences::ofPattern(corpus, side, {});
        return TreeOccurrences::ofPattern(corpus, side, findPatternOccurrences(*compiled.matcher, side));
    }
    return TreeOccurrences(corpus, side, queryTokenIds(corpus, query));
}

}  // namespace

TreeOccurrences queryTreeOccurrences(const Corpus &corpus, const Query &query, TreeDirection side)
{
    TreeOccurrences occurrences = allTreeOccurrences(corpus, query, side);
    occurrences.keepWithin(query.within);
    return occurrences;
}
