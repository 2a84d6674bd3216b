// TreeShaping: turns a counted tree into one fit for drawing (merged chains, display weights, order).
#pragma once

#include "PhraseNode.h"

// The exponent that turns a node's share of the corpus into its display weight.
inline constexpr float weightExponent = 0.55f;

// A count's display weight in a corpus of `total` tokens: powf(count / total,
// 0.55f) in 32-bit float, a count of 0 taken as 1.
float displayWeight(float count, float total);

// Merges every run of single children into its topmost node, bottom-up: the
// node's label gains " " and the child's label, it takes the child's weight and
// children, and the child is destroyed. The root takes part too. Linear in the
// size of the tree; no recursion.
void collapseChains(PhraseNode &root);

// Replaces every weight w of the tree (0 counts as 1) by powf(w / total, 0.55f)
// in 32-bit float, and orders every node's children with orderChildren.
// `total` is the corpus token count and must be positive. No recursion.
void normalizeWeights(PhraseNode &root, float total);

// Orders `node`'s children by descending weight; equal weights keep their
// relative order.
void orderChildren(PhraseNode &node);
