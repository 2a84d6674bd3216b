// TreeOccurrences: the occurrences of a phrase that one of its trees counts, and those that pass through a node of it.
#pragma once

#include "Corpus.h"
#include "DocumentSubset.h"
#include "PhraseNode.h"
#include "PhraseSearch.h"
#include "PatternSearch.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// An occurrence is named by the corpus position of its first token (in the
// text's reading order, whichever way the tree goes). A tree takes the
// phrase's occurrences as it reads the text: a forward tree from left to
// right, a backward one from right to left, never two that overlap; the two
// differ only for a phrase that can overlap itself ("a a" in "a a a").
//
// A node's occurrences are those whose text goes on (forward) or back
// (backward) as the path from the root to the node reads: the phrase and the
// path's tokens together are a phrase of their own, looked up in the index the
// tree was read from and kept where it starts at an occurrence the tree
// counts. So a node costs a search of the index plus its own occurrences,
// never a walk of the text.
//
// A pattern's tree (see searchPattern) has no phrase to look up: its node's
// occurrences are those of the pattern whose text goes on (or back) as the
// path reads, found by reading the tokens beside each occurrence.
class TreeOccurrences {
public:
    // For the tree that searchTokens(corpus, _, phrase, direction) builds:
    // `phrase` holds ids of `corpus` (folded ones when it folds case) in the
    // text's reading order. Builds the backward index if the corpus has none
    // yet. Time: the phrase's occurrences (times their log when it can
    // overlap itself).
    TreeOccurrences(const Corpus &corpus, TreeDirection direction, std::vector<Corpus::TokenId> phrase);
    // For the tree that searchPattern(corpus, _, occurrences, direction)
    // builds, `occurrences` being those findPatternOccurrences gives going
    // `direction`. phrase() is then empty. Constant time.
    static TreeOccurrences ofPattern(const Corpus &corpus, TreeDirection direction, PatternOccurrences occurrences);

    // From now on, only the occurrences in `within`'s documents (of the
    // same corpus) count, as they do in a tree asked within them; none
    // leaves all. Time: the occurrences.
    void keepWithin(std::shared_ptr<const DocumentSubset> within);

    TreeDirection direction() const { return direction_; }
    std::span<const Corpus::TokenId> phrase() const { return phrase_; }
    // Tokens per occurrence.
    std::uint32_t length() const { return length_; }

    // Every occurrence the tree counts, ascending: as many as its root
    // counts, unless the root absorbed a run that some occurrences lack
    // (they end the text).
    const std::vector<Corpus::Position> &starts() const { return starts_; }

    // The occurrences (ascending, a subset of starts()) that pass through
    // the last node of `path`: the nodes from the tree's root down to it, each
    // a child of the one before. There are as many as that node's count().
    // An empty path gives starts(). Time: a search of the index for the
    // path's tokens, plus the occurrences found (times their log); for a
    // pattern, the pattern's occurrences times the path's tokens.
    std::vector<Corpus::Position> through(std::span<const PhraseNode *const> path) const;

    // The occurrences (ascending, a subset of starts()) that `context`
    // follows (forward: the tokens right after the phrase) or precedes
    // (backward: those right before it), `context` being ids in the text's
    // reading order.
    std::vector<Corpus::Position> withContext(std::span<const Corpus::TokenId> context) const;

    // The nodes from `root` down to `node` (both included), found among the
    // children made so far (none is made); empty when `node` is not among
    // them. Time: the nodes made so far, at most.
    static std::vector<const PhraseNode *> pathTo(const PhraseNode &root, const PhraseNode &node);

private:
    TreeOccurrences(const Corpus &corpus, TreeDirection direction) : corpus_(&corpus), direction_(direction) {}
    std::vector<Corpus::Position> patternWithContext(std::span<const Corpus::TokenId> context) const;

    const Corpus *corpus_;
    TreeDirection direction_;
    std::vector<Corpus::TokenId> phrase_;
    std::uint32_t length_ = 0;
    bool byPattern_ = false;
    bool mayOverlap_ = false;
    std::vector<Corpus::Position> starts_;
    std::shared_ptr<const DocumentSubset> within_;
};
