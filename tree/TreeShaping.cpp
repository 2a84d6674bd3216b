#include "TreeShaping.h"

#include <algorithm>
#include <cmath>
#include <vector>

float displayWeight(float count, float total)
{
    if (count == 0.0f)
        count = 1.0f;
    return std::pow(count / total, weightExponent);
}

void collapseChains(PhraseNode &root)
{
    // In breadth-first order every node comes before its descendants, so
    // walking the list backwards merges the deepest runs first, and each
    // merge joins a one-token node with a child that is already complete.
    std::vector<PhraseNode *> nodes{&root};
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        for (const auto &child : nodes[i]->children())
            nodes.push_back(child.get());
    }
    for (auto node = nodes.rbegin(); node != nodes.rend(); ++node) {
        if ((*node)->children().size() == 1)
            (*node)->absorbOnlyChild();
    }
}

void normalizeWeights(PhraseNode &root, float total)
{
    // A node's weight depends on itself only, so each node sets its
    // children's weights and then orders them.
    root.setWeight(displayWeight(root.weight(), total));
    std::vector<PhraseNode *> pending{&root};
    while (!pending.empty()) {
        PhraseNode *node = pending.back();
        pending.pop_back();
        for (const auto &child : node->children())
            child->setWeight(displayWeight(child->weight(), total));
        orderChildren(*node);
        for (const auto &child : node->children())
            pending.push_back(child.get());
    }
}

void orderChildren(PhraseNode &node)
{
    // A stable sort gives what repeatedly taking the first heaviest child
    // gives. Children often come in order already; the check spares the
    // sort's buffer on each of a large tree's nodes.
    const auto heavier = [](const auto &a, const auto &b) { return a->weight() > b->weight(); };
    if (!std::is_sorted(node.children().begin(), node.children().end(), heavier))
        std::stable_sort(node.children().begin(), node.children().end(), heavier);
}
