// DocumentSubset: some of a corpus's documents, chosen to ask within: whose positions they hold and how many tokens.
#pragma once

#include "Corpus.h"

#include <cstdint>
#include <span>
#include <vector>

// A subcorpus that needs no index of its own: questions are answered on the
// whole corpus and their occurrences kept where they lie in a chosen
// document. Since a document is chosen whole, an occurrence and everything
// its tree reads beside it lie in the same document: keeping occurrences
// is all a tree needs to be the chosen documents' own.
class DocumentSubset {
public:
    // The documents numbered `chosen` (ascending, distinct, each below the
    // corpus's documents; others are dropped) of `corpus`, which must
    // outlive the subset. Time: the chosen documents.
    DocumentSubset(const Corpus &corpus, std::vector<std::uint32_t> chosen);

    const Corpus &corpus() const { return *corpus_; }
    std::span<const std::uint32_t> documents() const { return chosen_; }
    // The chosen documents' tokens (boundaries not counted).
    std::uint64_t tokenCount() const { return tokens_; }

    // Whether corpus position `p` (in the text's order) lies in a chosen
    // document. Time: log of the chosen documents.
    bool contains(Corpus::Position p) const;
    // Keeps of `positions` (ascending, in the text's order) those in a
    // chosen document, in order. Time: their number plus the chosen documents.
    void keep(std::vector<Corpus::Position> &positions) const;

private:
    const Corpus *corpus_;
    std::vector<std::uint32_t> chosen_;
    // Per chosen document, its positions [start, end), ascending.
    std::vector<Corpus::Position> starts_;
    std::vector<Corpus::Position> ends_;
    std::uint64_t tokens_ = 0;
};
