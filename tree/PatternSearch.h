// PatternSearch: answers a pattern (a CQL subset) as a phrase is answered: its occurrences, its trees and the forms it matched.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"
#include "PhraseSearch.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class PatternMatcher;

// One distinct sequence of shown-layer values that a pattern matched, and
// how many of the occurrences it is.
struct PatternForm {
    std::string text;  // the values joined by blanks
    std::uint32_t count = 0;
};

// A pattern's occurrences, taken as a phrase's are: from the left, or
// read backwards from the right, never overlapping.
struct PatternOccurrences {
    std::vector<Corpus::Position> starts;  // ascending, in the corpus's order
    std::uint32_t length = 0;              // tokens each
};

// The occurrences of `matcher`'s pattern in reading order of `direction`
// (forward: left to right; backward: right to left), without overlap.
// Progress::Stopped when `stop` is set.
PatternOccurrences findPatternOccurrences(const PatternMatcher &matcher, TreeDirection direction,
                                          const std::atomic<bool> *stop = nullptr);

// The tree of `occurrences` going `direction`, the root labelled `text` (the
// pattern as typed), by the rules a phrase's tree follows (see searchTokens).
// NotFound when there are none. Weights are shares of `tokenTotal` tokens
// (0: the corpus's).
PhraseSearchResult searchPattern(const Corpus &corpus, std::string_view text, const PatternOccurrences &occurrences,
                                 TreeDirection direction, bool sentences = false, std::uint64_t tokenTotal = 0);

// The distinct shown-layer sequences at `occurrences`, heaviest first,
// equal counts in the order first met. Time: the occurrences' log times
// their length; no string per occurrence.
std::vector<PatternForm> patternForms(const Corpus &corpus, const PatternOccurrences &occurrences);
