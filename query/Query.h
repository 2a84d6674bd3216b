// Query: one question asked of a corpus: a phrase, which way its tree goes, and how it is pruned.
#pragma once

#include "Corpus.h"
#include "DocumentSubset.h"
#include "CqlPattern.h"
#include "TreePruning.h"

#include <memory>
#include <string>
#include <vector>

// Which trees a query asks for: of what follows the phrase, of what precedes
// it, or both (the double tree).
enum class QueryDirection { After, Before, Both };

struct Query {
    // The search text, as typed (UTF-8 under the UTF-8 word rules, bytes
    // otherwise); the root is labelled with it byte for byte.
    std::string phrase;
    // When not empty, the tokens to search for (ids of the corpus asked, in
    // the text's reading order) instead of cutting `phrase`: a clicked label
    // is searched as the tokens it was made of.
    std::vector<Corpus::TokenId> tokens;
    QueryDirection direction = QueryDirection::After;
    // Which nodes a front prints or draws; the trees themselves are whole
    // (their nodes are made as they are read).
    TreePruning pruning;
    // Whether every branch stops after a sentence end (see searchPhrase);
    // otherwise only a continuation met once stops, after a full stop.
    bool sentences = false;
    // When set, the documents of the corpus asked that the question is
    // asked within: trees, weights (shares of their tokens), occurrences
    // and lines are theirs alone, as if the corpus held nothing else.
    std::shared_ptr<const DocumentSubset> within = {};

    // Whether the phrase is a pattern (a typed one: given tokens never are).
    bool isPattern() const { return tokens.empty() && CqlPattern::looksLikePattern(phrase); }

    bool forwardWanted() const { return direction != QueryDirection::Before; }
    bool backwardWanted() const { return direction != QueryDirection::After; }
};
