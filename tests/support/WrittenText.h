// WrittenText: a text's tokens with the bytes each spans, and the stretch from one to another as the text writes it, read the plain way for the tests.
#pragma once

#include "CorpusOptions.h"
#include "Tokenizer.h"

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
inline std::vector<SpannedToken> spannedTokens(std::string_view bytes, const CorpusOptions &options)
{
    std::vector<SpannedToken> tokens;
    std::string word;
    forEachTokenOf(options, bytes.data(), static_cast<std::uint32_t>(bytes.size()), word,
                   [&](std::string_view token, std::uint32_t start) {
                       std::uint32_t end = start;
                       for (std::size_t held = 0; held < token.size(); ++end)
                           held += bytes[end] != '\0';
                       tokens.push_back({std::string(token), start, end});
                   });
    return tokens;
}

// The bytes from the start of tokens[first] to the end of tokens[last]
// without their zero bytes, each run of other bytes between two tokens made
// one blank: the stretch as a label shows it written.
inline std::string writtenBetween(std::string_view bytes, std::span<const SpannedToken> tokens, std::size_t first,
                                  std::size_t last)
{
    std::string out;
    for (std::size_t k = first; k <= last; ++k) {
        if (k > first) {
            const std::string_view gap = bytes.substr(tokens[k - 1].end, tokens[k].start - tokens[k - 1].end);
            if (gap.find_first_not_of('\0') != std::string_view::npos)
                out += ' ';
        }
        for (const char c : bytes.substr(tokens[k].start, tokens[k].end - tokens[k].start)) {
            if (c != '\0')
                out += c;
        }
    }
    return out;
}
