// ReferencePhraseTree: a slow, plain phrase-tree builder, written straight from the rules, to check the real one.
#pragma once

#include "PhraseNode.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A tree node that holds its label as plain bytes.
struct ReferenceNode {
    std::string label;
    float weight = 0.0f;
    std::vector<std::unique_ptr<ReferenceNode>> children;
};

// Continuation positions (indices into `tokens`; tokens.size() is the end) of
// the non-overlapping occurrences of `query`, by the plain cursor scan.
std::vector<std::size_t> referenceOccurrences(const std::vector<std::string> &tokens,
                                              const std::vector<std::string> &query);

// The tree of `text` over the token list `tokens`: grown by recursion with
// string-keyed groups in first-met order, collapsed by appending labels,
// normalized with powf and ordered by the selection sort. `shape` false stops
// after growth (weights are counts). nullptr when the text has no tokens or
// does not occur. Recursion as deep as the tree: small inputs only.
std::unique_ptr<ReferenceNode> buildReferenceTree(const std::vector<std::string> &tokens, const std::string &text,
                                                  bool shape = true);

// An empty string when `actual` has exactly the labels, bit-identical weights,
// child order and shape of `expected`; otherwise a description of the first
// difference met in pre-order.
std::string firstDifference(const ReferenceNode &expected, const PhraseNode &actual);

// The tree as an outline, one node per line ("label weight", two spaces per depth).
std::string outlineOf(const ReferenceNode &node);
std::string outlineOf(const PhraseNode &node);
