// Corpus: the loaded text as token ids in text order, each distinct token interned once.
#pragma once

#include "BlockMinimum.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Corpus {
public:
    using TokenId = std::uint32_t;
    // A position is the index of a token; end() is the place after the last one.
    using Position = std::uint32_t;

    static constexpr TokenId noToken = UINT32_MAX;

    // Tokenizes exactly `length` bytes of `bytes` (no terminator needed).
    // Throws std::bad_alloc if memory runs out; nothing half-built escapes.
    Corpus(const char *bytes, std::uint32_t length);
    ~Corpus();

    Corpus(const Corpus &) = delete;
    Corpus &operator=(const Corpus &) = delete;

    // Appends the tokens of bytes[0, length) to `out`, after what it holds,
    // by the same rules that cut the corpus (used on search texts).
    static void tokenize(const char *bytes, std::uint32_t length, std::vector<std::string> &out);

    Position first() const { return 0; }
    Position end() const { return static_cast<Position>(ids_.size()); }
    // The end is never advanced: callers compare with end() first.
    static Position advance(Position p) { return p + 1; }

    // The token at p (p < end()), a view of the interned bytes, valid while the corpus lives.
    std::string_view token(Position p) const { return tokenText(ids_[p]); }
    TokenId tokenId(Position p) const { return ids_[p]; }
    std::uint64_t tokenCount() const { return ids_.size(); }
    // All token ids in text order, contiguous.
    const std::vector<TokenId> &tokenIds() const { return ids_; }

    // Number of distinct tokens; ids run from 0 to vocabularySize() - 1 in first-met order.
    std::uint32_t vocabularySize() const { return static_cast<std::uint32_t>(offsets_.size() - 1); }
    std::string_view tokenText(TokenId id) const
    {
        return std::string_view(bytes_.data() + offsets_[id], offsets_[id + 1] - offsets_[id]);
    }
    // The id of `text`, or noToken if the corpus has no such token.
    TokenId findToken(std::string_view text) const;
    // Cuts bytes[0, length) by the corpus rules and appends the id of each
    // token to `out`; false if some token is not in the corpus (`out` then
    // holds an unspecified prefix). Makes no string per token.
    bool findTokens(const char *bytes, std::uint32_t length, std::vector<TokenId> &out) const;
    // The id of the sentence stop ".", or noToken if the text has none.
    TokenId stopToken() const { return stopToken_; }
    // True when the `length` tokens from `start` are all printable ASCII
    // (0x20 to 0x7E), so that they, joined by blanks, are plain text. Constant
    // time while every token of the corpus is plain, as the tokenizer makes
    // them (letters, digits, one-byte marks); otherwise it reads the span.
    bool plainSpan(Position start, std::uint32_t length) const;

    // Every position, ordered by the token sequence that starts there (a
    // sequence that is a prefix of another comes first). The positions where
    // a phrase occurs form one run of it.
    const std::vector<Position> &suffixArray() const { return suffixArray_; }
    // lcpArray()[i]: how many tokens the sequences at suffixArray()[i - 1] and
    // suffixArray()[i] share from their start; 0 for i = 0.
    const std::vector<std::uint32_t> &lcpArray() const { return lcpArray_; }
    // Range minima of the suffix array (the first position among a run of
    // suffixes) and of the lcp array (what a run of suffixes shares).
    const BlockMinimum &suffixArrayMinimum() const { return suffixArrayMinimum_; }
    const BlockMinimum &lcpMinimum() const { return lcpMinimum_; }
    // The first position at or after p that holds ".", or end() if none does.
    Position nextStop(Position p) const;

private:
    TokenId intern(std::string_view text);
    // The id of a token of two bytes or more, given the low 32 bits of its hash; noToken if absent.
    TokenId lookUp(std::string_view text, std::uint32_t hash) const;

    std::vector<TokenId> ids_;
    std::string bytes_;                   // distinct tokens back to back
    std::vector<std::uint32_t> offsets_;  // token id -> start in bytes_; one extra at the end
    std::vector<std::uint64_t> slots_;    // open-addressing hash table: hash bits and id
    TokenId markIds_[128];                // one-byte tokens (all ASCII) skip the hash table
    TokenId stopToken_ = noToken;
    bool allTokensPlain_ = true;          // no interned token has a byte outside 0x20..0x7E
    std::vector<Position> suffixArray_;
    std::vector<std::uint32_t> lcpArray_;
    BlockMinimum suffixArrayMinimum_;
    BlockMinimum lcpMinimum_;
    std::vector<Position> stops_;  // the positions of ".", ascending
};
