// ReferencePhraseTree: a slow, plain phrase-tree builder, written straight from the rules, to check the real one.
#pragma once

#include "PhraseNode.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A tree node that holds its label as plain bytes.
struct ReferenceNode {
    std::string label;
    float weight = 0.0f;
    std::uint32_t count = 0;
    std::vector<std::unique_ptr<ReferenceNode>> children;
};

// How the reference reads its token list, beyond the plain rules.
struct ReferenceRules {
    // What occurrences and groups compare (the token itself when unset); a
    // group is labelled as the first token that the grouping meets.
    std::function<std::string(const std::string &)> key;
    // Tokens that stand for the place between two documents: they never
    // match, a continuation stops at them as at the end, and weights do not count them.
    std::function<bool(const std::string &)> isBoundary;
    // The full stops, after which a single continuation stops ("." alone when unset).
    std::function<bool(const std::string &)> isStop;
    // Whether every branch stops after a sentence end: a group whose token
    // is one never grows, whatever its size, and the counter passes it by.
    bool sentences = false;
    // The sentence ends ("." "!" and "?" when unset).
    std::function<bool(const std::string &)> isSentenceEnd;
    // An annotated text's sentence ends, by position (in the tokens' order):
    // when not empty, the full stops and the sentence ends are the tokens
    // marked here, whatever they are.
    std::vector<bool> sentenceEndAt;
    // When set, the occurrences are not the query's: these are the starts
    // (ascending, in the tokens' order) where a pattern of `matchLength`
    // tokens matches, overlapping or not; the cursor scan takes them.
    std::optional<std::vector<std::size_t>> matchStarts;
    std::size_t matchLength = 0;
    // The tree of what precedes the phrase: the tree of the reversed tokens
    // and reversed query, every label turned back into reading order, the
    // root reading "<absorbed run> <text>".
    bool backward = false;
};

// The full stops under the UTF-8 word rules: ".", and those of Chinese and
// Japanese (ideographic, fullwidth, halfwidth), Devanagari and Arabic.
inline bool isUnicodeFullStop(const std::string &token)
{
    return token == "." || token == "\u3002" || token == "\uFF0E" || token == "\uFF61" || token == "\u0964"
           || token == "\u06D4";
}

// The sentence ends under the UTF-8 word rules: the full stops, "!" and "?",
// and the fullwidth exclamation and question marks.
inline bool isUnicodeSentenceEnd(const std::string &token)
{
    return isUnicodeFullStop(token) || token == "!" || token == "?" || token == "\uFF01" || token == "\uFF1F";
}

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

// The shaped tree of `query` (already cut into tokens) over `tokens` by
// `rules`, its root labelled `text` (and its absorbed run).
std::unique_ptr<ReferenceNode> buildReferenceTree(const std::vector<std::string> &tokens,
                                                  const std::vector<std::string> &query, const std::string &text,
                                                  const ReferenceRules &rules);

// An empty string when `actual` has exactly the labels, counts, bit-identical weights,
// child order and shape of `expected`; otherwise a description of the first
// difference met in pre-order.
std::string firstDifference(const ReferenceNode &expected, const PhraseNode &actual);

// The tree as an outline, one node per line ("label weight", two spaces per depth).
std::string outlineOf(const ReferenceNode &node);
std::string outlineOf(const PhraseNode &node);
