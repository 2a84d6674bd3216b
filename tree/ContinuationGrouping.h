// ContinuationGrouping: grows a node's continuations from the positions that follow its occurrences.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <cstdint>
#include <vector>

// Continuations of a single occurrence stop growing at a "." token; a call
// expands at most this many single-occurrence groups.
inline constexpr std::uint32_t expansionLimit = 50;

// Gives `node` one child per distinct token found at `positions` (corpus.end()
// entries are skipped), in the order each token was first met; a child counts
// the positions holding its token. Then, visiting the children in that order
// with `counter` as the call's expansion counter, grows each child from the
// positions after its token's occurrences when the child has more than one
// position, or when its token is not "." and the counter is below
// expansionLimit; each such growth starts with the counter's current value and
// then advances it by one. The whole subtree is grown this way, with a work
// stack instead of recursion, so any depth is safe. Children are span nodes of
// `corpus` (at the first position of their token), which must outlive them.
// `positions` must be in corpus order and hold positions after occurrences of
// `node`'s phrase.
void growContinuations(const Corpus &corpus, std::vector<Corpus::Position> positions, PhraseNode &node,
                       std::uint32_t counter = 0);
