// SuffixTreeBuilder: builds a phrase's collapsed tree of continuations from the corpus's suffix array.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// A group of one occurrence grows only while its token is not "." and the
// counter of its grouping step is below this limit. The counter starts at the
// value the parent's step had when it visited the node, and counts the groups
// grown so far; groups of two or more occurrences always grow.
inline constexpr std::uint32_t expansionLimit = 50;

// The tree that growing the continuations of `query`'s occurrences and then
// collapsing its chains gives: the root is labelled `text` and counts the
// occurrences (taken from left to right, never overlapping); children stand
// in the order in which they were first met in the text. With `total` 0 every
// weight is still a count; with the corpus token count as `total` weights are
// display weights (see normalizeWeights) and children come heaviest first.
// Returns nullptr when `query` is empty or does not occur.
//
// The tree is read off the suffix array instead of being grown token by
// token: the occurrences' continuations, in suffix-array order with their
// common prefix lengths, form a compacted trie whose branching nodes are the
// collapsed tree's nodes. Only the root is made at once; every other node's
// children are made when they are first read, in time that grows with their
// number, not with label lengths or chain depths. Labels are corpus spans, so
// the corpus must outlive the tree.
std::unique_ptr<PhraseNode> buildCollapsedTree(const Corpus &corpus, std::string text,
                                               std::span<const Corpus::TokenId> query, float total = 0.0f);
