#include "Corpus.h"

#include "ByteClass.h"
#include "SuffixArray.h"

#include <algorithm>

namespace {

std::uint64_t hashBytes(std::string_view text)
{
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
    for (unsigned char c : text)
        h = (h ^ c) * 0x100000001b3ull;
    return h ^ (h >> 29);
}

bool plainBytes(std::string_view text)
{
    bool plain = true;
    for (unsigned char c : text)
        plain &= c >= 0x20 && c <= 0x7E;
    return plain;
}

}  // namespace

Corpus::Corpus(const char *bytes, std::uint32_t length)
{
    std::fill(std::begin(markIds_), std::end(markIds_), noToken);
    offsets_.push_back(0);
    slots_.assign(1024, noToken);
    // A text has at most one token per byte; most have far fewer.
    ids_.reserve(std::min<std::uint32_t>(length, 1u << 16));

    std::string word;
    forEachToken(bytes, length, word, [this](std::string_view token) {
        TokenId id;
        if (token.size() == 1 && byteClasses[static_cast<unsigned char>(token[0])] == ByteClass::Mark) {
            TokenId &mark = markIds_[static_cast<unsigned char>(token[0])];
            if (mark == noToken)
                mark = intern(token);
            id = mark;
        } else {
            id = intern(token);
        }
        ids_.push_back(id);
    });
    ids_.shrink_to_fit();
    stopToken_ = markIds_[static_cast<unsigned char>('.')];

    // The indexes that let a phrase tree be built without walking the text.
    const auto n = static_cast<Position>(ids_.size());
    suffixArray_ = buildSuffixArray(ids_.data(), n, vocabularySize());
    lcpArray_ = buildLcpArray(ids_.data(), n, suffixArray_);
    suffixArrayMinimum_ = BlockMinimum(suffixArray_);
    lcpMinimum_ = BlockMinimum(lcpArray_);
    if (stopToken_ != noToken) {
        for (Position p = 0; p < n; ++p) {
            if (ids_[p] == stopToken_)
                stops_.push_back(p);
        }
    }
}

Corpus::~Corpus() = default;

void Corpus::tokenize(const char *bytes, std::uint32_t length, std::vector<std::string> &out)
{
    std::string word;
    forEachToken(bytes, length, word, [&out](std::string_view token) { out.emplace_back(token); });
}

Corpus::Position Corpus::nextStop(Position p) const
{
    const auto stop = std::lower_bound(stops_.begin(), stops_.end(), p);
    return stop == stops_.end() ? end() : *stop;
}

bool Corpus::findTokens(const char *bytes, std::uint32_t length, std::vector<TokenId> &out) const
{
    bool found = true;
    std::string word;
    forEachToken(bytes, length, word, [&](std::string_view token) {
        if (!found)
            return;
        const TokenId id = findToken(token);
        found = id != noToken;
        out.push_back(id);
    });
    return found;
}

bool Corpus::plainSpan(Position start, std::uint32_t length) const
{
    if (allTokensPlain_)
        return true;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (!plainBytes(token(start + i)))
            return false;
    }
    return true;
}

Corpus::TokenId Corpus::findToken(std::string_view text) const
{
    if (text.size() == 1) {
        const auto byte = static_cast<unsigned char>(text[0]);
        if (byteClasses[byte] == ByteClass::Mark)
            return markIds_[byte];
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hashBytes(text) & mask;; slot = (slot + 1) & mask) {
        const TokenId id = slots_[slot];
        if (id == noToken || tokenText(id) == text)
            return id;
    }
}

Corpus::TokenId Corpus::intern(std::string_view text)
{
    std::size_t mask = slots_.size() - 1;
    std::size_t slot = hashBytes(text) & mask;
    for (;; slot = (slot + 1) & mask) {
        const TokenId id = slots_[slot];
        if (id == noToken)
            break;
        if (tokenText(id) == text)
            return id;
    }

    const auto id = static_cast<TokenId>(offsets_.size() - 1);
    // Once per distinct token, so the check costs the vocabulary, not the text.
    allTokensPlain_ = allTokensPlain_ && plainBytes(text);
    bytes_.append(text);
    offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    slots_[slot] = id;

    // Keep the table at most half full so that probes stay short.
    if (2 * (static_cast<std::size_t>(id) + 1) > slots_.size()) {
        std::vector<TokenId> grown(slots_.size() * 2, noToken);
        mask = grown.size() - 1;
        for (TokenId old : slots_) {
            if (old == noToken)
                continue;
            std::size_t s = hashBytes(tokenText(old)) & mask;
            while (grown[s] != noToken)
                s = (s + 1) & mask;
            grown[s] = old;
        }
        slots_.swap(grown);
    }
    return id;
}
