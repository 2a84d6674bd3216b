// KwicWriter: the concordance of a phrase, one line per occurrence with the tokens around it.
#pragma once

#include "Corpus.h"
#include "OutputBuffer.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// One line per occurrence (ascending `starts`, each `length` tokens):
// "PATH:LINE", a TAB, up to `context` tokens before the phrase, a TAB, the
// phrase's tokens as they stand in the text, a TAB, up to `context` tokens
// after it; tokens joined by single blanks, never taken across a document's
// end. `paths` and `documents` name and hold the corpus's documents in order.
void writeKwic(const Corpus &corpus, std::span<const std::string_view> documents, std::span<const std::string> paths,
               std::span<const Corpus::Position> starts, std::uint32_t length, std::uint32_t context,
               OutputBuffer &output);
