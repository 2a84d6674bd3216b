// ConcordanceOrder: the lines of a concordance ordered by the word right before or right after their phrase.
#pragma once

#include "Corpus.h"

#include <cstdint>
#include <span>
#include <vector>

enum class ConcordanceSide { Left, Right };

// `starts` (occurrences of `length` tokens, ascending) ordered by the token
// next to each on `side`: by its text case-folded, then by its bytes (the
// folded form when the corpus folds case); occurrences with none there (at a
// document's start or end) first, equal words in text order. Time: a pass
// over the occurrences plus sorting the distinct words met, never the
// whole vocabulary's texts.
std::vector<Corpus::Position> orderByWordBeside(const Corpus &corpus, std::span<const Corpus::Position> starts,
                                                std::uint32_t length, ConcordanceSide side);
