#include "TokenTable.h"

#include <algorithm>

namespace {

bool plainBytes(std::string_view text)
{
    bool plain = true;
    for (unsigned char c : text)
        plain &= c >= 0x20 && c <= 0x7E;
    return plain;
}

}  // namespace

TokenTable::TokenTable()
{
    std::fill(std::begin(singles_), std::end(singles_), noToken);
    offsets_.push_back(0);
    slots_.assign(1024, emptySlot);
}

TokenTable::TokenId TokenTable::internHashed(std::string_view text)
{
    const std::uint32_t hash = hashOf(text);
    std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = slots_[slot];
        if (entry == emptySlot)
            break;
        if (slotHash(entry) == hash && holds(slotId(entry), text))
            return slotId(entry);
    }

    const auto id = static_cast<TokenId>(offsets_.size() - 1);
    // Once per distinct token, so the check costs the vocabulary, not the text.
    allPlain_ = allPlain_ && plainBytes(text);
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
