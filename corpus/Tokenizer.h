// Tokenizer: the one place that picks the tokenizer for a corpus's word rules (internal to the corpus library and its readers).
#pragma once

#include "ByteClass.h"
#include "CorpusOptions.h"
#include "SegmentedTokens.h"
#include "UnicodeTokens.h"

#include <cstdint>
#include <string>
#include <utility>

// Calls emit(std::string_view token) for each token of bytes[0, length) by
// the word rules of `options`, in order, or emit(token, std::uint32_t start)
// when emit takes the offset of the token's first byte in `bytes` as well
// (for a word gathered across zero bytes, the offset of its first byte); see
// forEachToken, forEachUnicodeToken and forEachSegmentedToken for what a token view is and how long
// it lasts. If emit returns bool, false stops the scan.
template <typename Emit>
inline __attribute__((always_inline)) void forEachTokenOf(const CorpusOptions &options, const char *bytes,
                                                          std::uint32_t length, std::string &word, Emit &&emit)
{
    switch (options.words) {
    case WordRules::Bytes:
        forEachToken(bytes, length, word, std::forward<Emit>(emit));
        return;
    case WordRules::Unicode:
        forEachUnicodeToken(bytes, length, word, std::forward<Emit>(emit));
        return;
    case WordRules::Segmented:
        forEachSegmentedToken(bytes, length, word, std::forward<Emit>(emit));
        return;
    }
}
