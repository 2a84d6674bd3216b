// GroupingPhraseTree: the phrase tree built by grouping continuations level by level, kept to check the real builder.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The continuation positions of the occurrences of `queryTokens` in `corpus`:
// for each occurrence, the position right after its last token (possibly
// corpus.end()), in corpus order. Occurrences are taken from left to right and
// never overlap: after one is found the scan resumes at its end. Exact byte
// equality, case matters. An empty query, or one with a token the corpus never
// holds, has no occurrences. Time is linear in corpus plus query length.
std::vector<Corpus::Position> findOccurrences(const Corpus &corpus, const std::vector<std::string> &queryTokens);

// Gives `node` one child per distinct token found at `positions` (corpus.end()
// entries and boundaries are skipped), in the order each token was first met; a child counts
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

// The tree of `text` as the grouping makes it: findOccurrences, then
// growContinuations from the root with the counter 0, collapseChains and
// normalizeWeights. Same contract as buildPhraseTree, but time and memory grow
// with the size of the uncollapsed tree, which repetitive texts make quadratic.
std::unique_ptr<PhraseNode> buildGroupingPhraseTree(const Corpus &corpus, std::string_view text);
