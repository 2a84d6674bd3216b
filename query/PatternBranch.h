// PatternBranch: the pattern a click on a label of a pattern's tree asks: the pattern and the branch's tokens, each an exact token.
#pragma once

#include "Corpus.h"

#include <span>
#include <string>
#include <string_view>

// `pattern` (as typed) with one exact token (CqlPattern::exactToken) on the
// corpus's shown layer for each id of `before` in front of it and of
// `after` behind it, both in the text's reading order, joined by blanks:
// the value is the id's text (folded, with %c, when the corpus folds case).
// The ids are `corpus`'s (Corpus::tokenId). Empty when the shown layer's
// name cannot be written in a pattern (see CqlPattern::isLayerName).
std::string patternBranch(const Corpus &corpus, std::string_view pattern, std::span<const Corpus::TokenId> before,
                          std::span<const Corpus::TokenId> after);
