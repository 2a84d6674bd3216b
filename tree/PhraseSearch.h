// PhraseSearch: finds a phrase in a corpus and builds its shaped tree of continuations.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The continuation positions of the occurrences of `queryTokens` in `corpus`:
// for each occurrence, the position right after its last token (possibly
// corpus.end()), in corpus order. Occurrences are taken from left to right and
// never overlap: after one is found the scan resumes at its end. Exact byte
// equality, case matters. An empty query, or one with a token the corpus never
// holds, has no occurrences. Time is linear in corpus plus query length.
std::vector<Corpus::Position> findOccurrences(const Corpus &corpus, const std::vector<std::string> &queryTokens);

// Builds the tree of `text` in `corpus`: the root is labelled with `text` byte
// for byte and counts the occurrences of its tokens (cut by the corpus rules);
// below it grow the continuations, with chains collapsed, weights normalized by
// the corpus token count and siblings ordered heaviest first. Returns nullptr
// when `text` has no tokens or does not occur. The nodes' labels refer to
// `corpus`, which must outlive the tree.
std::unique_ptr<PhraseNode> buildPhraseTree(const Corpus &corpus, std::string_view text);
