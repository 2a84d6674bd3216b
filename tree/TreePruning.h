// TreePruning: which nodes of a shaped tree are printed or drawn when the tree is cut by depth or count.
#pragma once

#include "PhraseNode.h"

#include <cstdint>

// Nodes deeper than maxDepth levels below the root, and nodes that stand for
// fewer than minCount occurrences, are left out with their subtrees; the root
// always stays. Weights and sibling order are never changed by it.
struct TreePruning {
    std::uint32_t maxDepth = UINT32_MAX;
    std::uint32_t minCount = 0;

    // Whether `node`, `depth` levels below the root (1 for a child of the root), is kept.
    bool keeps(const PhraseNode &node, std::uint32_t depth) const
    {
        return depth <= maxDepth && node.count() >= minCount;
    }
    // Whether the children of a node `depth` levels below the root can be kept at all.
    bool keepsBelow(std::uint32_t depth) const { return depth < maxDepth; }
};
