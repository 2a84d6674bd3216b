// WrittenText: a text's tokens with the bytes each spans, and the stretch from one to another as the text writes it, read the plain way for the tests.
#pragma once

#include "CorpusOptions.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct SpannedToken {
    std::string text;     // as the corpus holds it (without zero bytes)
    std::uint32_t start;  // its first byte in the text
    std::uint32_t end;    // one past its last byte (zero bytes inside it included)
};

// The tokens of `bytes` by the rules of `options`, each with the bytes it
// spans: from its first byte, as many bytes as it holds, zero bytes passed
// over.
std::vector<SpannedToken> spannedTokens(std::string_view bytes, const CorpusOptions &options);

// The bytes from the start of tokens[first] to the end of tokens[last]
// without their zero bytes, each run of other bytes between two tokens made
// one blank: the stretch as a label shows it written.
std::string writtenBetween(std::string_view bytes, std::span<const SpannedToken> tokens, std::size_t first,
                           std::size_t last);
