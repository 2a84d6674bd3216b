// SuffixTreeBuilder: builds a phrase's collapsed tree of continuations from the corpus's suffix array.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

// A group of one occurrence grows only while its token is not a full stop
// (see Corpus::stopTokens) and the counter of its grouping step is below this
// limit. The counter starts at the value the parent's step had when it
// visited the node, and counts the groups grown so far; groups of two or more
// occurrences always grow. Asked to stop at sentence ends, no group whose
// token is a sentence end grows (see Corpus::sentenceEndTokens), whatever
// its size: every branch stops after one, and the counter does not count it.
inline constexpr std::uint32_t expansionLimit = 50;

// The tree that growing the continuations of `query`'s occurrences and then
// collapsing its chains and normalizing its weights gives, on the token
// sequence as `index` reads it (forward, or backwards: see below). The root is
// labelled `text` and counts the occurrences (taken in reading order, never
// overlapping); every node holds its occurrence count and its display weight
// (see normalizeWeights), and children come heaviest first, equal weights in
// the order they were first met. With a corpus that folds case, `query` holds
// folded ids, and each node is spelled as its first-met occurrence is.
// Returns nullptr when `query` is empty or does not occur. `query` is in
// `index`'s reading order. With `sentences`, every branch stops after the
// first sentence end that follows the phrase in `index`'s reading (so
// backwards, at the first one before it, which its label then starts with).
//
// Read backwards (index.reversed()), it is the tree of what comes before the
// phrase: built by the same rules on the reversed sequence, then every label
// turned back into the text's reading order, a root's absorbed run standing
// before `text`.
//
// The tree is read off the suffix array instead of being grown token by
// token: the occurrences' continuations, in suffix-array order with their
// common prefix lengths, form a compacted trie whose branching nodes are the
// collapsed tree's nodes. Only the root is made at once; every other node's
// children are made when they are first read, in time that grows with their
// number, not with label lengths or chain depths. Labels are corpus spans, so
// the corpus must outlive the tree.
std::unique_ptr<PhraseNode> buildCollapsedTree(const Corpus &corpus, const SuffixIndex &index, std::string text,
                                               std::span<const Corpus::TokenId> query, bool sentences = false);

// The same tree for occurrences found otherwise (a pattern's): `starts`,
// ascending and not overlapping, in `index`'s reading order, each of
// `length` tokens. The continuations are ordered through the suffix array's
// ranks (Corpus::ranks) and share what the lcp array's range minima say, so
// the cost grows with the occurrences, not with the text. nullptr when
// `starts` is empty. Weights are shares of `tokenTotal` tokens (0: the
// corpus's), as a subcorpus's tree weighs them by its own tokens.
std::unique_ptr<PhraseNode> buildTreeOfStarts(const Corpus &corpus, const SuffixIndex &index, std::string text,
                                              std::span<const Corpus::Position> starts, std::uint32_t length,
                                              bool sentences = false, std::uint64_t tokenTotal = 0);

// The start positions, in ascending order, of the occurrences of `query` as
// `index` reads them, taken in reading order without overlap.
std::vector<Corpus::Position> occurrenceStarts(const SuffixIndex &index, std::span<const Corpus::TokenId> query);

// The run [first, last) of `index`'s suffix array whose suffixes start with
// `query` (in `index`'s reading order; first == last when it does not occur).
// Time: the query's length plus a binary search, never a walk of the text.
std::pair<std::uint32_t, std::uint32_t> occurrenceRun(const SuffixIndex &index, std::span<const Corpus::TokenId> query);

// Keeps of `starts` (ascending) those that do not start inside the one kept
// before them, each `length` tokens long: occurrences taken from the left.
void dropOverlapping(std::vector<Corpus::Position> &starts, std::uint32_t length);

// Whether two occurrences of `query` can overlap: only if it has a proper
// prefix that is also its suffix (as "a a" has).
bool canOverlap(std::span<const Corpus::TokenId> query);

// Sorts distinct positions below `end` ascending, in time that grows with
// their number or, when they are many, with end / 64.
void sortPositions(std::vector<Corpus::Position> &positions, Corpus::Position end);
