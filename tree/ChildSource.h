// ChildSource: makes the children of a node of a phrase tree the first time they are asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class PhraseNode;

// A tree can hold far more nodes than any drawing shows; a builder may leave
// a node's children unmade and hand the node a source that makes them, with
// the same labels, weights and order they would have had, when the node's
// children are first read.
class ChildSource {
public:
    // What a source needs to know about the node whose children it makes.
    struct Branch {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        std::uint32_t depth = 0;
        std::uint32_t counter = 0;
    };

    virtual ~ChildSource() = default;

    // Appends the children of the node described by `branch` to `children`.
    virtual void makeChildren(const Branch &branch, std::vector<std::unique_ptr<PhraseNode>> &children) const = 0;
};
