// PhraseSearch: finds a phrase in a corpus and builds its shaped tree of continuations.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <memory>
#include <span>
#include <string_view>

// Which way a tree goes from its phrase: into what follows it, or into what precedes it.
enum class TreeDirection { Forward, Backward };

struct PhraseSearchResult {
    enum class Status { Found, NoTokens, NotFound };
    Status status = Status::NoTokens;
    std::unique_ptr<PhraseNode> root;  // set when found
};

// Builds the tree of `text` in `corpus`: the root is labelled with `text` byte
// for byte and counts the occurrences of its tokens (cut by the corpus rules,
// taken from left to right without overlap); below it grow the continuations,
// with chains collapsed, weights normalized by the corpus token count and
// siblings ordered heaviest first. Returns nullptr when `text` has no tokens
// or does not occur. The nodes' labels refer to `corpus`, which must outlive
// the tree. Time grows with the number of occurrences and of nodes, whatever
// the text repeats.
std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text);

// The same, going either way, and telling why no tree was built: `text` has
// no tokens, or does not occur. Backward, the tree is that of the reversed
// token sequence and the reversed phrase, with every label read in the
// text's order again: occurrences are taken from right to left, a label is
// spelled as its latest occurrence, and the root reads "<absorbed run> <text>".
// The corpus's backward index is built the first time it is needed. With
// `sentences`, every branch stops after the first sentence end it meets
// (Corpus::sentenceEndTokens; backward, the first one before the phrase,
// which it then starts with), so that a text written twice no longer runs
// on through a whole copy; without, only a continuation met once stops,
// after a full stop.
PhraseSearchResult searchPhrase(const Corpus &corpus, std::string_view text, TreeDirection direction,
                                bool sentences = false);

// The same for `tokens`, ids of `corpus` in the text's reading order (the
// tokens a label was made of), the root labelled `text`: the phrase is not
// cut again, so a label is searched as the tokens it stands for whatever
// its text would be cut into. NoTokens when `tokens` is empty.
PhraseSearchResult searchTokens(const Corpus &corpus, std::string_view text, std::span<const Corpus::TokenId> tokens,
                                TreeDirection direction, bool sentences = false);
