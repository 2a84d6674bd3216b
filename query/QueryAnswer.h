// QueryAnswer: what a query gives: its trees, or why there are none; and the occurrences a concordance lists.
#pragma once

#include "Concordance.h"
#include "Corpus.h"
#include "PatternSearch.h"
#include "PhraseNode.h"
#include "Query.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct QueryAnswer {
    enum class Status {
        Found,
        NoTokens,  // the phrase has no words or marks
        NotFound,  // it does not occur
        Failed,    // it cannot be cut into words: `failure` says why
    };
    Status status = Status::NoTokens;
    std::string failure;  // one line, when Failed
    // The trees asked for, when found: of what follows the phrase (After,
    // Both) and of what precedes it (Before, Both). Their labels refer to
    // the corpus, which must outlive them.
    std::unique_ptr<PhraseNode> forward;
    std::unique_ptr<PhraseNode> backward;
    // When not found: the phrase as the corpus rules cut it, spelled as
    // typed (empty when the query gave its tokens), and those of its tokens
    // that occur nowhere in the corpus (under its case rule), in phrase
    // order, each once.
    std::vector<std::string> phraseTokens;
    std::vector<std::string> missingTokens;
    // When the phrase is a pattern and it was found: the distinct
    // sequences of the shown layer it matched, heaviest first (see patternForms).
    std::vector<PatternForm> forms;

    // Why there is no tree, in one line naming the corpus as `corpusName`;
    // empty when found.
    std::string reason(std::string_view corpusName) const;
};

// Answers `query` of `corpus`: the trees of its phrase (see searchPhrase;
// the backward index is built if the corpus has none yet), or of its
// pattern when the phrase is one (see CqlPattern::looksLikePattern and
// searchPattern). Failed when the phrase is to be cut by the segmented
// rules and ICU's word break rules cannot be loaded (a saved index opens
// without them), and when a pattern cannot be read or names what the
// corpus lacks: the failure says why and where.
QueryAnswer answerQuery(const Corpus &corpus, const Query &query);

// The occurrences of the query's phrase that its forward tree counts, in
// text order (see findOccurrences); the status tells why there are none.
// Throws std::runtime_error where answerQuery fails.
PhraseOccurrences queryOccurrences(const Corpus &corpus, const Query &query);

// Why `status` gives nothing, as QueryAnswer::reason does (for Failed, the
// answer's own reason is the one to give).
std::string noAnswerReason(QueryAnswer::Status status, std::string_view corpusName);
