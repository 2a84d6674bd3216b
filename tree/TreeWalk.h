// TreeWalk: one pre-order walk over the nodes of a shaped tree that pruning keeps, for every printed format.
#pragma once

#include "PhraseNode.h"
#include "TreePruning.h"

#include <cstddef>
#include <utility>
#include <vector>

// Calls enter(node, depth) for each kept node in pre-order (the root at
// depth 0), and leave(node, depth) after its kept children. Children that
// pruning leaves out are never read, so their own children are never made.
// No recursion, whatever the depth. Once stopped() is true (it is asked
// first and before each step) the walk ends at once, leaving the open nodes
// unclosed and making no more children.
template <typename Enter, typename Leave, typename Stopped>
void walkTree(const PhraseNode &root, const TreePruning &pruning, Enter &&enter, Leave &&leave, Stopped &&stopped)
{
    struct Frame {
        const PhraseNode *node;
        std::size_t depth;
        std::size_t next;  // index of the next child to look at
    };
    if (stopped())
        return;
    std::vector<Frame> open;
    enter(root, std::size_t{0});
    open.push_back({&root, 0, 0});
    while (!open.empty() && !stopped()) {
        Frame &frame = open.back();
        const std::size_t depth = frame.depth;
        if (!pruning.keepsBelow(static_cast<std::uint32_t>(depth)) || frame.next == frame.node->children().size()) {
            leave(*frame.node, depth);
            open.pop_back();
            continue;
        }
        const PhraseNode &child = *frame.node->children()[frame.next++];
        if (!pruning.keeps(child, static_cast<std::uint32_t>(depth + 1)))
            continue;
        enter(child, depth + 1);
        open.push_back({&child, depth + 1, 0});
    }
}

// The whole walk, never stopped.
template <typename Enter, typename Leave>
void walkTree(const PhraseNode &root, const TreePruning &pruning, Enter &&enter, Leave &&leave)
{
    walkTree(root, pruning, std::forward<Enter>(enter), std::forward<Leave>(leave), [] { return false; });
}
