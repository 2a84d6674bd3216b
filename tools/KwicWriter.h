// KwicWriter: the concordance of a phrase, one line per occurrence with the tokens around it.
#pragma once

#include "Corpus.h"
#include "OutputBuffer.h"

#include <cstdint>
#include <span>
#include <string>

// One line per occurrence (ascending `starts`, each `length` tokens):
// "PATH:LINE", a TAB, then the occurrence's concordance row (see
// makeConcordanceRow) with a TAB between its parts. `paths` name the
// corpus's documents in order. Stops at a line's end once the output has failed.
void writeKwic(const Corpus &corpus, std::span<const std::string> paths, std::span<const Corpus::Position> starts,
               std::uint32_t length, std::uint32_t context, OutputBuffer &output);
