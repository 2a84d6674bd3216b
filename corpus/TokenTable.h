// TokenTable: the distinct tokens of a corpus, each interned once under a dense id in first-met order.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace tokentable_detail {

// Folds v into h: one 64 x 64 -> 128-bit multiply, both halves kept.
inline std::uint64_t mix(std::uint64_t h, std::uint64_t v)
{
    const auto product = static_cast<unsigned __int128>(h ^ v) * 0x9e3779b97f4a7c15ull;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
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

}  // namespace tokentable_detail

// A table is built by interning tokens into storage of its own, or views
// the arrays of a saved table (see Stored); either way it is read through the
// same views. A viewed table is read-only, and arrays that lie (offsets that
// run backwards, ids out of range, a full slot table) give wrong answers,
// never a read outside them or an endless probe. Not copyable or movable:
// the views point into the table's own storage.
class TokenTable {
public:
    using TokenId = std::uint32_t;
    static constexpr TokenId noToken = UINT32_MAX;
    static constexpr std::size_t singleCount = 128;

    // The arrays that make a table, as a built one holds them.
    struct Stored {
        std::span<const char> bytes;            // distinct tokens back to back
        std::span<const std::uint32_t> offsets; // id -> start in bytes; one extra at the end
        std::span<const std::uint64_t> hashSlots;  // open addressing; a power of two in size
        std::span<const TokenId> singles;       // singleCount one-byte tokens' ids, or noToken
        bool allPlain = true;
    };

    TokenTable();
    // Views `stored`; requires offsets nonempty, slots a power of two in
    // size, and singleCount singles. Singles that name no token read as absent.
    explicit TokenTable(const Stored &stored);

    TokenTable(const TokenTable &) = delete;
    TokenTable &operator=(const TokenTable &) = delete;

    // The id of `text`, made if it is new. A one-byte token must be ASCII.
    // Only for a table that is being built, not a viewed one.
    inline __attribute__((always_inline)) TokenId intern(std::string_view text)
    {
        if (text.size() == 1) {
            // One-byte tokens (marks and one-letter words) skip the hash table.
            TokenId &single = singles_[static_cast<unsigned char>(text[0]) & 0x7F];
            if (single == noToken)
                single = internHashed(text);
            return single;
        }
        return internHashed(text);
    }
    // The id of `text`, or noToken.
    TokenId find(std::string_view text) const
    {
        if (text.size() == 1) {
            const auto byte = static_cast<unsigned char>(text[0]);
            return byte < 128 ? singles_[byte] : noToken;
        }
        return lookUp(text, hashOf(text));
    }
    // The id of a one-byte ASCII token, or noToken.
    TokenId findSingle(unsigned char byte) const { return singles_[byte & 0x7F]; }

    static std::uint32_t hashOf(std::string_view text)
    {
        return static_cast<std::uint32_t>(tokentable_detail::hashBytes(text));
    }
    // The id of a token of two bytes or more, given hashOf(text); noToken if absent.
    inline __attribute__((always_inline)) TokenId lookUp(std::string_view text, std::uint32_t hash) const
    {
        const std::size_t mask = slots_.size() - 1;
        // A built table is at most half full; a viewed one may lie, so the
        // probe never goes round more than once.
        std::size_t slot = hash & mask;
        for (std::size_t probes = 0; probes <= mask; ++probes, slot = (slot + 1) & mask) {
            const std::uint64_t entry = slots_[slot];
            if (entry == emptySlot)
                return noToken;
            if (slotHash(entry) == hash && holds(slotId(entry), text))
                return slotId(entry);
        }
        return noToken;
    }
    // Starts fetching the slot where a lookUp(…, hash) begins.
    void prefetch(std::uint32_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }
    // Whether the slots outgrow the caches, so that lookups are better batched.
    bool large() const { return slots_.size() > 32768; }

    std::uint32_t size() const { return static_cast<std::uint32_t>(offsets_.size() - 1); }
    // The bytes of token `id`; empty for an id that names no token.
    std::string_view text(TokenId id) const
    {
        if (id >= size()) [[unlikely]]
            return {};
        const std::uint32_t first = offsets_[id], last = offsets_[id + 1];
        if (first > last || last > bytes_.size()) [[unlikely]]
            return {};
        return std::string_view(bytes_.data() + first, last - first);
    }
    // No token has a byte outside 0x20..0x7E.
    bool allPlain() const { return allPlain_; }
    // The arrays, for saving; valid until the next intern().
    Stored stored() const { return {bytes_, offsets_, slots_, std::span<const TokenId>(singles_), allPlain_}; }

private:
    // A slot holds the low 32 bits of the token's hash above its id, so that
    // probes compare bytes only on a likely match and growing the table needs
    // no hashing. An empty slot holds noToken as its id.
    static constexpr std::uint64_t emptySlot = ~0ull;
    static std::uint64_t makeSlot(std::uint32_t hash, TokenId id) { return static_cast<std::uint64_t>(hash) << 32 | id; }
    static TokenId slotId(std::uint64_t slot) { return static_cast<TokenId>(slot); }
    static std::uint32_t slotHash(std::uint64_t slot) { return static_cast<std::uint32_t>(slot >> 32); }

    bool holds(TokenId id, std::string_view text) const
    {
        const std::string_view stored = this->text(id);
        return stored.size() == text.size() && tokentable_detail::sameBytes(stored.data(), text.data(), text.size());
    }
    TokenId internHashed(std::string_view text);
    // Points the views at the table's own storage after it changed.
    void viewOwn()
    {
        bytes_ = ownBytes_;
        offsets_ = ownOffsets_;
        slots_ = ownSlots_;
    }

    // What every read goes through: the table's own storage, or saved arrays.
    std::span<const char> bytes_;
    std::span<const std::uint32_t> offsets_;
    std::span<const std::uint64_t> slots_;
    TokenId singles_[singleCount];  // one-byte tokens, all ASCII
    bool allPlain_ = true;

    std::vector<char> ownBytes_;
    std::vector<std::uint32_t> ownOffsets_;
    std::vector<std::uint64_t> ownSlots_;
};
