#include "ReferencePhraseTree.h"

#include "Corpus.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <utility>

namespace {

struct Group {
    std::string token;
    ReferenceNode *node = nullptr;
    std::vector<std::size_t> positions;
};

void grow(const std::vector<std::string> &tokens, const std::vector<std::size_t> &positions, ReferenceNode &node,
          std::uint32_t counter)
{
    std::vector<Group> table;
    for (std::size_t p : positions) {
        if (p == tokens.size())
            continue;
        Group *group = nullptr;
        for (Group &g : table) {
            if (g.token == tokens[p])
                group = &g;
        }
        if (!group) {
            table.push_back(Group{tokens[p], nullptr, {}});
            group = &table.back();
        }
        if (!group->node) {
            node.children.push_back(std::make_unique<ReferenceNode>());
            group->node = node.children.back().get();
            group->node->label = tokens[p];
        }
        group->positions.push_back(p + 1);
        group->node->weight += 1.0f;
    }
    for (Group &group : table) {
        if (group.positions.size() > 1 || (group.token != "." && counter < 50)) {
            grow(tokens, group.positions, *group.node, counter);
            counter += 1;
        }
    }
}

void collapse(ReferenceNode &node)
{
    for (auto &child : node.children)
        collapse(*child);
    if (node.children.size() == 1) {
        std::unique_ptr<ReferenceNode> child = std::move(node.children.front());
        node.label += " " + child->label;
        node.weight = child->weight;
        node.children = std::move(child->children);
    }
}

void selectionSort(ReferenceNode &node)
{
    std::vector<std::unique_ptr<ReferenceNode>> result;
    while (!node.children.empty()) {
        std::size_t candidate = 0;
        for (std::size_t i = 1; i < node.children.size(); ++i) {
            if (node.children[i]->weight > node.children[candidate]->weight)
                candidate = i;
        }
        result.push_back(std::move(node.children[candidate]));
        node.children.erase(node.children.begin() + static_cast<std::ptrdiff_t>(candidate));
    }
    node.children = std::move(result);
}

void normalize(ReferenceNode &node, float total)
{
    if (node.weight == 0.0f)
        node.weight = 1.0f;
    node.weight = powf(node.weight / total, 0.55f);
    for (auto &child : node.children)
        normalize(*child, total);
    selectionSort(node);
}

void outline(const ReferenceNode &node, int depth, std::ostringstream &out)
{
    out << std::string(2 * depth, ' ') << node.label << ' ' << node.weight << '\n';
    for (const auto &child : node.children)
        outline(*child, depth + 1, out);
}

void outline(const PhraseNode &node, int depth, std::ostringstream &out)
{
    out << std::string(2 * depth, ' ') << node.label() << ' ' << node.weight() << '\n';
    for (const auto &child : node.children())
        outline(*child, depth + 1, out);
}

std::string compare(const ReferenceNode &expected, const PhraseNode &actual, const std::string &path)
{
    const std::string label = actual.label();
    if (label != expected.label)
        return path + ": label '" + label + "', expected '" + expected.label + "'";
    if (std::bit_cast<std::uint32_t>(actual.weight()) != std::bit_cast<std::uint32_t>(expected.weight)) {
        std::ostringstream out;
        out.precision(9);
        out << path << " '" << label << "': weight " << actual.weight() << ", expected " << expected.weight;
        return out.str();
    }
    if (actual.children().size() != expected.children.size()) {
        return path + " '" + label + "': " + std::to_string(actual.children().size()) + " children, expected "
               + std::to_string(expected.children.size());
    }
    for (std::size_t i = 0; i < expected.children.size(); ++i) {
        std::string difference = compare(*expected.children[i], *actual.children()[i], path + "/" + std::to_string(i));
        if (!difference.empty())
            return difference;
    }
    return {};
}

}  // namespace

std::vector<std::size_t> referenceOccurrences(const std::vector<std::string> &tokens,
                                              const std::vector<std::string> &query)
{
    std::vector<std::size_t> continuations;
    if (query.empty())
        return continuations;
    std::size_t cursor = 0;
    while (cursor != tokens.size()) {
        bool occurs = true;
        for (std::size_t i = 0; i < query.size() && occurs; ++i)
            occurs = cursor + i < tokens.size() && tokens[cursor + i] == query[i];
        if (occurs) {
            continuations.push_back(cursor + query.size());
            cursor += query.size();
        } else {
            cursor += 1;
        }
    }
    return continuations;
}

std::unique_ptr<ReferenceNode> buildReferenceTree(const std::vector<std::string> &tokens, const std::string &text,
                                                  bool shape)
{
    std::vector<std::string> query;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), query);
    const std::vector<std::size_t> continuations = referenceOccurrences(tokens, query);
    if (continuations.empty())
        return nullptr;
    auto root = std::make_unique<ReferenceNode>();
    root->label = text;
    root->weight = static_cast<float>(continuations.size());
    grow(tokens, continuations, *root, 0);
    if (shape) {
        collapse(*root);
        normalize(*root, static_cast<float>(tokens.size()));
    }
    return root;
}

std::string firstDifference(const ReferenceNode &expected, const PhraseNode &actual)
{
    return compare(expected, actual, "root");
}

std::string outlineOf(const ReferenceNode &node)
{
    std::ostringstream out;
    outline(node, 0, out);
    return out.str();
}

std::string outlineOf(const PhraseNode &node)
{
    std::ostringstream out;
    outline(node, 0, out);
    return out.str();
}
