// WrittenText: documents' tokens with the bytes each spans, and any stretch of them as the text writes it, read the plain way for the tests.
#pragma once

#include "CorpusOptions.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class WrittenText {
public:
    struct Token {
        std::string text;     // as the corpus holds it (without zero bytes)
        std::uint32_t start;  // its first byte in the text
        std::uint32_t end;    // one past its last byte (zero bytes inside it included)
    };

    // The tokens of `bytes` by the rules of `options`, each with the bytes
    // it spans: from its first byte, as many bytes as it holds, zero bytes
    // passed over.
    static std::vector<Token> tokensOf(std::string_view bytes, const CorpusOptions &options);
    // The bytes from the start of tokens[first] to the end of tokens[last]
    // without their zero bytes, each run of other bytes between two tokens
    // made one blank: the stretch as a label shows it written.
    static std::string between(std::string_view bytes, std::span<const Token> tokens, std::size_t first,
                               std::size_t last);

    // The documents of a corpus, whose positions number their tokens in
    // turn, a boundary between two documents taking one.
    WrittenText(std::vector<std::string> documents, const CorpusOptions &options);

    const std::string &document(std::size_t d) const { return documents_[d]; }
    const std::vector<Token> &tokens(std::size_t d) const { return tokens_[d]; }
    // The positions [first, first + length) (length > 0, in one document) as written.
    std::string written(std::uint32_t first, std::uint32_t length) const;
    // What the text puts between position p - 1 and p (of one document): " " or "".
    std::string joinBefore(std::uint32_t p) const;
    // The label a tree's node spanning [first, first + length) reads as
    // written; a root's is `phrase` as typed, meeting its span as the text
    // does (after it, in a tree of what precedes).
    std::string label(std::uint32_t first, std::uint32_t length, bool root, std::string_view phrase,
                      bool backward) const;

private:
    std::vector<std::string> documents_;
    std::vector<std::vector<Token>> tokens_;
    std::vector<std::pair<std::size_t, std::size_t>> at_;  // position -> (document, token)
};
