// PhraseSearch: finds a phrase in a corpus and builds its shaped tree of continuations.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <memory>
#include <string_view>

// Builds the tree of `text` in `corpus`: the root is labelled with `text` byte
// for byte and counts the occurrences of its tokens (cut by the corpus rules,
// taken from left to right without overlap); below it grow the continuations,
// with chains collapsed, weights normalized by the corpus token count and
// siblings ordered heaviest first. Returns nullptr when `text` has no tokens
// or does not occur. The nodes' labels refer to `corpus`, which must outlive
// the tree. Time grows with the number of occurrences and of nodes, whatever
// the text repeats.
std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text);
