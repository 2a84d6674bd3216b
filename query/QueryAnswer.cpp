#include "QueryAnswer.h"

#include "CqlPattern.h"
#include "PatternMatcher.h"
#include "PatternSearch.h"
#include "PhraseSearch.h"
#include "SuffixTreeBuilder.h"

#include <algorithm>
#include <stdexcept>

namespace {

QueryAnswer::Status statusOf(PhraseSearchResult::Status status)
{
    switch (status) {
    case PhraseSearchResult::Status::Found:
        return QueryAnswer::Status::Found;
    case PhraseSearchResult::Status::NotFound:
        return QueryAnswer::Status::NotFound;
    case PhraseSearchResult::Status::NoTokens:
        break;
    }
    return QueryAnswer::Status::NoTokens;
}

// The tree of `tokens` (in the text's order) within `within`'s documents:
// the phrase's occurrences in the whole corpus, those in the chosen
// documents kept, grown as a pattern's are.
PhraseSearchResult searchWithin(const Corpus &corpus, const Query &query, std::span<const Corpus::TokenId> tokens,
                                TreeDirection direction)
{
    const DocumentSubset &within = *query.within;
    const bool forward = direction == TreeDirection::Forward;
    const SuffixIndex &index = forward ? corpus.forward() : corpus.backward();
    const auto m = static_cast<std::uint32_t>(tokens.size());
    std::vector<Corpus::Position> starts =
        occurrenceStarts(index, forward ? std::vector<Corpus::TokenId>(tokens.begin(), tokens.end())
                                        : std::vector<Corpus::TokenId>(tokens.rbegin(), tokens.rend()));
    if (forward) {
        within.keep(starts);
    } else {
        // Backward positions, ascending: each one's start in the text's order decides.
        std::erase_if(starts, [&](Corpus::Position p) { return !within.contains(index.corpusStart(p, m)); });
    }
    PhraseSearchResult result;
    result.root = buildTreeOfStarts(corpus, index, query.phrase, starts, m, query.sentences, within.tokenCount());
    result.status = result.root ? PhraseSearchResult::Status::Found : PhraseSearchResult::Status::NotFound;
    return result;
}

PhraseSearchResult search(const Corpus &corpus, const Query &query, TreeDirection direction)
{
    if (query.within) {
        std::vector<Corpus::TokenId> tokens = query.tokens;
        PhraseSearchResult result;
        if (tokens.empty()) {
            const bool known =
                corpus.findTokens(query.phrase.data(), static_cast<std::uint32_t>(query.phrase.size()), tokens);
            if (tokens.empty())
                return result;  // NoTokens
            if (!known) {
                result.status = PhraseSearchResult::Status::NotFound;
                return result;
            }
        }
        return searchWithin(corpus, query, tokens, direction);
    }
    return query.tokens.empty() ? searchPhrase(corpus, query.phrase, direction, query.sentences)
                                : searchTokens(corpus, query.phrase, query.tokens, direction, query.sentences);
}

// The pattern's matcher for the corpus; throws std::runtime_error with the
// reason when the pattern cannot be read or names a layer the corpus lacks.
PatternMatcher compilePattern(const Corpus &corpus, const Query &query)
{
    CqlPattern::Parsed parsed = CqlPattern::parse(query.phrase);
    if (!parsed.pattern)
        throw std::runtime_error(parsed.reason);
    PatternMatcher::Compiled compiled = PatternMatcher::compile(*parsed.pattern, corpus);
    if (!compiled.matcher)
        throw std::runtime_error(compiled.reason);
    return std::move(*compiled.matcher);
}

QueryAnswer answerPattern(const Corpus &corpus, const Query &query)
{
    QueryAnswer answer;
    const PatternMatcher matcher = compilePattern(corpus, query);
    answer.status = QueryAnswer::Status::NotFound;
    for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
        const bool forward = direction == TreeDirection::Forward;
        if (!(forward ? query.forwardWanted() : query.backwardWanted()))
            continue;
        PatternOccurrences occurrences = findPatternOccurrences(matcher, direction);
        if (query.within)
            query.within->keep(occurrences.starts);
        if (occurrences.starts.empty())
            return answer;
        PhraseSearchResult found = searchPattern(corpus, query.phrase, occurrences, direction, query.sentences,
                                                 query.within ? query.within->tokenCount() : 0);
        (forward ? answer.forward : answer.backward) = std::move(found.root);
        if (answer.forms.empty())
            answer.forms = patternForms(corpus, occurrences);
    }
    answer.status = QueryAnswer::Status::Found;
    return answer;
}

QueryAnswer answerOrThrow(const Corpus &corpus, const Query &query)
{
    if (query.isPattern())
        return answerPattern(corpus, query);
    QueryAnswer answer;
    // Both trees see the same occurrences, so either tells whether the phrase occurs.
    PhraseSearchResult forward, backward;
    if (query.forwardWanted())
        forward = search(corpus, query, TreeDirection::Forward);
    if (query.backwardWanted() && (!query.forwardWanted() || forward.root))
        backward = search(corpus, query, TreeDirection::Backward);
    answer.status = statusOf(query.forwardWanted() ? forward.status : backward.status);
    if (answer.status == QueryAnswer::Status::Found) {
        answer.forward = std::move(forward.root);
        answer.backward = std::move(backward.root);
    } else if (query.tokens.empty()) {
        corpus.cutPhrase(query.phrase, answer.phraseTokens);
        for (const std::string &token : answer.phraseTokens) {
            if (corpus.findToken(token) == Corpus::noToken
                && std::find(answer.missingTokens.begin(), answer.missingTokens.end(), token)
                       == answer.missingTokens.end())
                answer.missingTokens.push_back(token);
        }
    }
    return answer;
}

}  // namespace

std::string noAnswerReason(QueryAnswer::Status status, std::string_view corpusName)
{
    switch (status) {
    case QueryAnswer::Status::Found:
        return {};
    case QueryAnswer::Status::NoTokens:
        return "the phrase has no words or marks to search for";
    case QueryAnswer::Status::Failed:
        return "the phrase cannot be cut into words";
    case QueryAnswer::Status::NotFound:
        break;
    }
    return "the phrase does not occur in " + std::string(corpusName);
}

std::string QueryAnswer::reason(std::string_view corpusName) const
{
    return status == Status::Failed ? failure : noAnswerReason(status, corpusName);
}

QueryAnswer answerQuery(const Corpus &corpus, const Query &query)
{
    try {
        return answerOrThrow(corpus, query);
    } catch (const std::runtime_error &cause) {
        // Cutting the phrase needs what cutting the text needed, and a
        // saved index opens without it: here is where it can be missing.
        QueryAnswer failed;
        failed.status = QueryAnswer::Status::Failed;
        failed.failure = cause.what();
        return failed;
    }
}

namespace {

PhraseOccurrences allOccurrences(const Corpus &corpus, const Query &query)
{
    if (query.isPattern()) {
        PatternOccurrences occurrences = findPatternOccurrences(compilePattern(corpus, query), TreeDirection::Forward);
        PhraseOccurrences found;
        found.length = occurrences.length;
        found.starts = std::move(occurrences.starts);
        found.status = found.starts.empty() ? PhraseSearchResult::Status::NotFound : PhraseSearchResult::Status::Found;
        return found;
    }
    if (query.tokens.empty())
        return findOccurrences(corpus, query.phrase);
    PhraseOccurrences found;
    found.length = static_cast<std::uint32_t>(query.tokens.size());
    found.starts = occurrenceStarts(corpus.forward(), query.tokens);
    found.status = found.starts.empty() ? PhraseSearchResult::Status::NotFound : PhraseSearchResult::Status::Found;
    return found;
}

}  // namespace

PhraseOccurrences queryOccurrences(const Corpus &corpus, const Query &query)
{
    PhraseOccurrences found = allOccurrences(corpus, query);
    if (query.within && found.status == PhraseSearchResult::Status::Found) {
        query.within->keep(found.starts);
        if (found.starts.empty())
            found.status = PhraseSearchResult::Status::NotFound;
    }
    return found;
}
