// QueryTreeOccurrences: the occurrences that a query's tree counts, for a lines pane to list and to narrow to a node's.
#pragma once

#include "Corpus.h"
#include "PhraseSearch.h"
#include "Query.h"
#include "TreeOccurrences.h"

#include <vector>

// The query's phrase as ids of `corpus`: its tokens when it gives them,
// otherwise its phrase cut by the corpus rules (folded when the corpus
// folds case). Empty when the phrase has no tokens or one the corpus lacks,
// cannot be cut (see answerQuery's Failed), or is a pattern.
std::vector<Corpus::TokenId> queryTokenIds(const Corpus &corpus, const Query &query);

// The occurrences that the query's tree on `side` (Forward: the tree of what
// follows, Backward: of what precedes; the double tree has one of each) counts, and through
// its nodes (TreeOccurrences::through). Builds the backward index if needed.
// Within the query's documents when it names some (Query::within).
// No occurrences when the phrase does not occur, or is a pattern that
// cannot be read or names what the corpus lacks (see answerQuery).
// Time: for a pattern, finding it again.
TreeOccurrences queryTreeOccurrences(const Corpus &corpus, const Query &query, TreeDirection side);
