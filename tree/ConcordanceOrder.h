// ConcordanceOrder: the lines of a concordance ordered by the words before or after their phrase, as concordancers sort them.
#pragma once

#include "Corpus.h"

#include <cstdint>
#include <span>
#include <vector>

enum class ConcordanceSide { Left, Right };

// `starts` (occurrences of `length` tokens, ascending) ordered by the words
// next to each on `side`, word by word: on the right by the 1st word after
// the phrase, then the 2nd, and so on; on the left by the 1st word before
// it, then the 2nd before, and so on. At most `context` words are compared
// (the width a row shows), never across a document's start or end. Words
// compare by their text case-folded, then by their bytes (the folded form's
// when the corpus folds case); a row whose words end (at a document's start
// or end) sorts before one that goes on there, and rows whose compared
// words are all equal stay in text order. Time: a pass over the rows'
// words, sorting the distinct words met (never the whole vocabulary's
// texts), and a counting pass over the rows per word compared.
std::vector<Corpus::Position> orderByWordsBeside(const Corpus &corpus, std::span<const Corpus::Position> starts,
                                                 std::uint32_t length, std::uint32_t context, ConcordanceSide side);
