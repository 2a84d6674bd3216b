#include "Corpus.h"

#include "ByteClass.h"
#include "SuffixArray.h"

#include <algorithm>
#include <cstring>

namespace {

// Folds v into h: one 64 x 64 -> 128-bit multiply, both halves kept.
inline std::uint64_t mix(std::uint64_t h, std::uint64_t v)
{
    const auto product = static_cast<unsigned __int128>(h ^ v) * 0x9e3779b97f4a7c15ull;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

bool plainBytes(std::string_view text)
{
    bool plain = true;
    for (unsigned char c : text)
        plain &= c >= 0x20 && c <= 0x7E;
    return plain;
}

inline std::uint64_t load64(const char *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load32(const char *p)
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Tokens are short: most take a single multiply. Longer ones go eight bytes
// at a time, the last eight overlapping the ones before; the length is in the
// seed, so the overlapping loads of different lengths do not collide.
inline __attribute__((always_inline)) std::uint64_t hashBytes(std::string_view text)
{
    const char *p = text.data();
    std::size_t n = text.size();
    std::uint64_t h = 0x243f6a8885a308d3ull ^ (n * 0xbf58476d1ce4e5b9ull);
    if (n > 8) {
        for (; n > 8; p += 8, n -= 8)
            h = mix(h, load64(p));
        return mix(h, load64(p + n - 8));
    }
    if (n >= 4)
        return mix(h, load32(p) | load32(p + n - 4) << 32);
    if (n > 0) {
        const auto byte = [p](std::size_t i) { return static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])); };
        return mix(h, byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16);
    }
    return h;
}

// Whether two texts of n bytes each are equal: inline loads for the short
// texts that most tokens are, instead of a call.
inline bool sameBytes(const char *a, const char *b, std::size_t n)
{
    if (n <= 3)
        return n == 0 || (a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1]);
    if (n <= 8)
        return load32(a) == load32(b) && load32(a + n - 4) == load32(b + n - 4);
    if (n <= 16)
        return load64(a) == load64(b) && load64(a + n - 8) == load64(b + n - 8);
    return std::memcmp(a, b, n) == 0;
}

// Whether the token `id` of the corpus is `text`.
inline bool holds(const Corpus &corpus, Corpus::TokenId id, std::string_view text)
{
    const std::string_view stored = corpus.tokenText(id);
    return stored.size() == text.size() && sameBytes(stored.data(), text.data(), text.size());
}

// A hash table slot: the low 32 bits of the token's hash above its id, so
// that probes compare bytes only on a likely match and growing the table
// needs no hashing. An empty slot holds noToken as its id.
constexpr std::uint64_t emptySlot = ~0ull;

inline std::uint64_t makeSlot(std::uint32_t hash, Corpus::TokenId id)
{
    return static_cast<std::uint64_t>(hash) << 32 | id;
}

inline Corpus::TokenId slotId(std::uint64_t slot) { return static_cast<Corpus::TokenId>(slot); }
inline std::uint32_t slotHash(std::uint64_t slot) { return static_cast<std::uint32_t>(slot >> 32); }

}  // namespace

Corpus::Corpus(const char *bytes, std::uint32_t length)
{
    std::fill(std::begin(markIds_), std::end(markIds_), noToken);
    offsets_.push_back(0);
    slots_.assign(1024, emptySlot);
    // A text has at most one token per byte. Reserving that once spares the
    // copies of growing; the capacity that the tokens do not reach is never
    // touched, so it takes address space, not memory.
    ids_.reserve(length);

    std::string word;
    forEachToken(bytes, length, word, [this](std::string_view token) __attribute__((always_inline)) {
        TokenId id;
        if (token.size() == 1) {
            // One-byte tokens (marks and one-letter words) skip the hash table.
            TokenId &single = markIds_[static_cast<unsigned char>(token[0])];
            if (single == noToken)
                single = intern(token);
            id = single;
        } else {
            id = intern(token);
        }
        ids_.push_back(id);
    });
    stopToken_ = markIds_[static_cast<unsigned char>('.')];

    // The indexes that let a phrase tree be built without walking the text.
    const auto n = static_cast<Position>(ids_.size());
    buildSuffixAndLcpArrays(ids_.data(), n, vocabularySize(), suffixArray_, lcpArray_);
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

// Inlined into the loops that call it for every token.
inline __attribute__((always_inline)) Corpus::TokenId Corpus::lookUp(std::string_view text, std::uint32_t hash) const
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = slots_[slot];
        if (entry == emptySlot)
            return noToken;
        if (slotHash(entry) == hash && holds(*this, slotId(entry), text))
            return slotId(entry);
    }
}

bool Corpus::findTokens(const char *bytes, std::uint32_t length, std::vector<TokenId> &out) const
{
    // A long search text (a clicked label can be the whole text) of a large
    // vocabulary has its tokens' slots scattered over a table larger than
    // the caches. They are then looked up in batches: while a batch is cut,
    // each token's slot is prefetched, so that the cache misses overlap
    // instead of following one another. A table that stays in the cache is
    // faster without the bookkeeping.
    struct Pending {
        std::string_view text;
        std::uint32_t hash;
        std::size_t at;  // index in out
    };
    constexpr std::size_t batchSize = 32;
    constexpr std::size_t cachedSlots = 32768;  // 256 KB
    Pending batch[batchSize];
    std::size_t pending = 0;
    const auto lookUpBatch = [&]() {
        for (std::size_t k = 0; k < pending; ++k) {
            const TokenId id = lookUp(batch[k].text, batch[k].hash);
            if (id == noToken)
                return false;
            out[batch[k].at] = id;
        }
        pending = 0;
        return true;
    };

    // Most texts have at most one token per two bytes; the capacity that the
    // tokens do not reach is never touched.
    out.reserve(out.size() + length / 2 + 1);
    const std::size_t mask = slots_.size() - 1;
    const bool batched = slots_.size() > cachedSlots;
    bool found = true;
    std::string word;
    forEachToken(bytes, length, word, [&](std::string_view token) __attribute__((always_inline)) {
        if (token.size() == 1) {
            // Every one-byte token is ASCII and has its id in markIds_.
            const TokenId id = markIds_[static_cast<unsigned char>(token[0])];
            out.push_back(id);
            return found = id != noToken;
        }
        const auto hash = static_cast<std::uint32_t>(hashBytes(token));
        out.push_back(noToken);
        if (!batched || token.data() == word.data()) {
            // A token gathered across a zero byte is in storage that the next one reuses.
            out.back() = lookUp(token, hash);
            return found = out.back() != noToken;
        }
        __builtin_prefetch(&slots_[hash & mask]);
        batch[pending++] = Pending{token, hash, out.size() - 1};
        return found = pending < batchSize || lookUpBatch();
    });
    return found && lookUpBatch();
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
        // Every one-byte token is ASCII and has its id in markIds_.
        const auto byte = static_cast<unsigned char>(text[0]);
        return byte < std::size(markIds_) ? markIds_[byte] : noToken;
    }
    return lookUp(text, static_cast<std::uint32_t>(hashBytes(text)));
}

Corpus::TokenId Corpus::intern(std::string_view text)
{
    const auto hash = static_cast<std::uint32_t>(hashBytes(text));
    std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = slots_[slot];
        if (entry == emptySlot)
            break;
        if (slotHash(entry) == hash && holds(*this, slotId(entry), text))
            return slotId(entry);
    }

    const auto id = static_cast<TokenId>(offsets_.size() - 1);
    // Once per distinct token, so the check costs the vocabulary, not the text.
    allTokensPlain_ = allTokensPlain_ && plainBytes(text);
    bytes_.append(text);
    offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    slots_[slot] = makeSlot(hash, id);

    // Keep the table at most half full so that probes stay short.
    if (2 * (static_cast<std::size_t>(id) + 1) > slots_.size()) {
        std::vector<std::uint64_t> grown(slots_.size() * 2, emptySlot);
        mask = grown.size() - 1;
        for (std::uint64_t entry : slots_) {
            if (entry == emptySlot)
                continue;
            std::size_t s = slotHash(entry) & mask;
            while (grown[s] != emptySlot)
                s = (s + 1) & mask;
            grown[s] = entry;
        }
        slots_.swap(grown);
    }
    return id;
}
