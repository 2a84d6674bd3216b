// Concordance: the occurrences of a phrase as a forward tree counts them, and where each stands in its document.
#pragma once

#include "Corpus.h"
#include "PhraseSearch.h"

#include <cstdint>
#include <span>
#include <string>
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

// For each position of `starts` (ascending), the line of its token in its
// document (see Corpus::lineOf). Time: the occurrences, plus the log of the
// lines between each and the next.
std::vector<std::uint64_t> occurrenceLines(const Corpus &corpus, std::span<const Corpus::Position> starts);

// How a concordance row joins its tokens: by single blanks (as
// morvanet-tree --kwic prints them), or as the text writes them, one blank
// where it separates two tokens and none where they touch (see
// Corpus::separatedBefore).
enum class RowSpacing { Blanks, AsWritten };

// The text of one concordance row, each part's tokens as they stand in the
// text, joined as a RowSpacing says.
struct ConcordanceRow {
    std::string before;  // up to `context` tokens before the occurrence
    std::string phrase;  // the occurrence's tokens
    std::string after;   // up to `context` tokens after it
};

// Makes `row` for the occurrence of `length` tokens at `start` (within one
// document): the contexts never reach across the document's start or end.
// The row's strings are reused, so that rows made one after another
// allocate nothing once they are long enough. Time: the row's tokens.
void makeConcordanceRow(const Corpus &corpus, Corpus::Position start, std::uint32_t length, std::uint32_t context,
                        ConcordanceRow &row, RowSpacing spacing = RowSpacing::Blanks);
