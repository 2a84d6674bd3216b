// Concordance: the occurrences of a phrase as a forward tree counts them, and where each stands in its document.
#pragma once

#include "Corpus.h"
#include "PhraseSearch.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct PhraseOccurrences {
    PhraseSearchResult::Status status = PhraseSearchResult::Status::NoTokens;
    std::uint32_t length = 0;             // tokens per occurrence
    std::vector<Corpus::Position> starts; // in corpus order
};

// The occurrences of `text`'s tokens that the forward tree counts: taken from
// left to right without overlap (compared folded when the corpus folds case).
// Time grows with their number, not with the corpus.
PhraseOccurrences findOccurrences(const Corpus &corpus, std::string_view text);

// For each position of `starts` (ascending), the line (counted from 1 by line
// feeds) of its token in its document's bytes. `documents` are the texts the
// corpus was made of, in order. Time: the bytes up to the last occurrence of
// each document, read with a fast count, plus about a thousand tokens cut
// again per occurrence.
std::vector<std::uint64_t> occurrenceLines(const Corpus &corpus, std::span<const std::string_view> documents,
                                           std::span<const Corpus::Position> starts);
