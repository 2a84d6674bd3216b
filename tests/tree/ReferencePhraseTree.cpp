#include "ReferencePhraseTree.h"

#include "Corpus.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <utility>

namespace {

struct Group {
    std::string key;
    bool stop = false;
    bool sentenceEnd = false;
    ReferenceNode *node = nullptr;
    std::vector<std::size_t> positions;
};

// The token list as the rules read it: each token's key, and which tokens are boundaries and full stops.
struct Reading {
    const std::vector<std::string> &tokens;
    std::vector<std::string> keys;
    std::vector<bool> boundary;
    std::vector<bool> stop;
    std::vector<bool> sentenceEnd;  // a branch ends after it (only when the rules say so)

    Reading(const std::vector<std::string> &tokens, const ReferenceRules &rules) : tokens(tokens)
    {
        for (std::size_t p = 0; p < tokens.size(); ++p) {
            const std::string &token = tokens[p];
            keys.push_back(rules.key ? rules.key(token) : token);
            boundary.push_back(rules.isBoundary && rules.isBoundary(token));
            if (!rules.sentenceEndAt.empty()) {
                stop.push_back(rules.sentenceEndAt[p]);
                sentenceEnd.push_back(rules.sentences && rules.sentenceEndAt[p]);
                continue;
            }
            stop.push_back(rules.isStop ? rules.isStop(token) : token == ".");
            sentenceEnd.push_back(rules.sentences
                                  && (rules.isSentenceEnd ? rules.isSentenceEnd(token)
                                                          : token == "." || token == "!" || token == "?"));
        }
    }
    bool ends(std::size_t p) const { return p == tokens.size() || boundary[p]; }
};

void grow(const Reading &text, const std::vector<std::size_t> &positions, ReferenceNode &node, std::uint32_t counter)
{
    std::vector<Group> table;
    for (std::size_t p : positions) {
        if (text.ends(p))
            continue;
        Group *group = nullptr;
        for (Group &g : table) {
            if (g.key == text.keys[p])
                group = &g;
        }
        if (!group) {
            table.push_back(Group{text.keys[p], text.stop[p], text.sentenceEnd[p], nullptr, {}});
            group = &table.back();
        }
        if (!group->node) {
            node.children.push_back(std::make_unique<ReferenceNode>());
            group->node = node.children.back().get();
            group->node->label = text.tokens[p];
        }
        group->positions.push_back(p + 1);
        group->node->weight += 1.0f;
        group->node->count += 1;
    }
    for (Group &group : table) {
        if (!group.sentenceEnd && (group.positions.size() > 1 || (!group.stop && counter < 50))) {
            grow(text, group.positions, *group.node, counter);
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
        node.count = child->count;
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
    if (actual.count() != expected.count) {
        return path + " '" + label + "': count " + std::to_string(actual.count()) + ", expected "
               + std::to_string(expected.count);
    }
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

std::vector<std::size_t> occurrences(const Reading &text, const std::vector<std::string> &queryKeys)
{
    std::vector<std::size_t> continuations;
    if (queryKeys.empty())
        return continuations;
    std::size_t cursor = 0;
    while (cursor != text.tokens.size()) {
        bool occurs = true;
        for (std::size_t i = 0; i < queryKeys.size() && occurs; ++i)
            occurs = !text.ends(cursor + i) && text.keys[cursor + i] == queryKeys[i];
        if (occurs) {
            continuations.push_back(cursor + queryKeys.size());
            cursor += queryKeys.size();
        } else {
            cursor += 1;
        }
    }
    return continuations;
}

std::unique_ptr<ReferenceNode> build(const std::vector<std::string> &tokens, const std::vector<std::string> &query,
                                     const std::string &text, const ReferenceRules &rules, bool shape)
{
    const Reading reading(tokens, rules);
    std::vector<std::string> queryKeys;
    for (const std::string &token : query)
        queryKeys.push_back(rules.key ? rules.key(token) : token);
    std::vector<std::size_t> continuations;
    if (rules.matchStarts) {
        // A pattern's matches, taken by the same cursor scan.
        const std::vector<std::size_t> &starts = *rules.matchStarts;
        for (std::size_t cursor = 0; cursor < tokens.size();) {
            if (std::binary_search(starts.begin(), starts.end(), cursor)) {
                continuations.push_back(cursor + rules.matchLength);
                cursor += rules.matchLength;
            } else {
                ++cursor;
            }
        }
    } else {
        continuations = occurrences(reading, queryKeys);
    }
    if (continuations.empty())
        return nullptr;
    auto root = std::make_unique<ReferenceNode>();
    root->label = text;
    root->weight = static_cast<float>(continuations.size());
    root->count = static_cast<std::uint32_t>(continuations.size());
    grow(reading, continuations, *root, 0);
    if (shape) {
        collapse(*root);
        const auto total = std::count(reading.boundary.begin(), reading.boundary.end(), false);
        normalize(*root, static_cast<float>(total));
    }
    return root;
}

// The tokens of a label (never blanks themselves) in the opposite order.
std::string reversedLabel(const std::string &label)
{
    std::vector<std::string> words;
    for (std::size_t start = 0;;) {
        const std::size_t blank = label.find(' ', start);
        words.push_back(label.substr(start, blank - start));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    std::string result;
    for (auto word = words.rbegin(); word != words.rend(); ++word)
        result += (result.empty() ? "" : " ") + *word;
    return result;
}

void reverseLabels(ReferenceNode &node)
{
    for (auto &child : node.children) {
        child->label = reversedLabel(child->label);
        reverseLabels(*child);
    }
}

}  // namespace

std::vector<std::size_t> referenceOccurrences(const std::vector<std::string> &tokens,
                                              const std::vector<std::string> &query)
{
    return occurrences(Reading(tokens, {}), query);
}

std::unique_ptr<ReferenceNode> buildReferenceTree(const std::vector<std::string> &tokens, const std::string &text,
                                                  bool shape)
{
    std::vector<std::string> query;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), query);
    return build(tokens, query, text, {}, shape);
}

std::unique_ptr<ReferenceNode> buildReferenceTree(const std::vector<std::string> &tokens,
                                                  const std::vector<std::string> &query, const std::string &text,
                                                  const ReferenceRules &rules)
{
    if (!rules.backward)
        return build(tokens, query, text, rules, true);
    // Built with an empty root text, the root reads "" or " <absorbed run>".
    ReferenceRules reversed = rules;
    std::reverse(reversed.sentenceEndAt.begin(), reversed.sentenceEndAt.end());
    if (rules.matchStarts) {
        std::vector<std::size_t> &starts = *reversed.matchStarts;
        for (std::size_t &start : starts)
            start = tokens.size() - (start + rules.matchLength);
        std::sort(starts.begin(), starts.end());
    }
    auto root = build({tokens.rbegin(), tokens.rend()}, {query.rbegin(), query.rend()}, "", reversed, true);
    if (!root)
        return nullptr;
    reverseLabels(*root);
    root->label = root->label.empty() ? text : reversedLabel(root->label.substr(1)) + " " + text;
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
