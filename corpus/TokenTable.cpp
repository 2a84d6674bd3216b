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
    ownOffsets_.push_back(0);
    ownSlots_.assign(1024, emptySlot);
    viewOwn();
}

TokenTable::TokenTable(const Stored &stored)
    : bytes_(stored.bytes), offsets_(stored.offsets), slots_(stored.hashSlots), allPlain_(stored.allPlain)
{
    for (std::size_t byte = 0; byte < singleCount; ++byte) {
        const TokenId id = byte < stored.singles.size() ? stored.singles[byte] : noToken;
        singles_[byte] = id < size() ? id : noToken;
    }
}

TokenTable::TokenId TokenTable::internHashed(std::string_view text)
{
    const std::uint32_t hash = hashOf(text);
    std::size_t mask = ownSlots_.size() - 1;
    std::size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = ownSlots_[slot];
        if (entry == emptySlot)
            break;
        if (slotHash(entry) == hash && holds(slotId(entry), text))
            return slotId(entry);
    }

    const auto id = static_cast<TokenId>(ownOffsets_.size() - 1);
    // Once per distinct token, so the check costs the vocabulary, not the text.
    allPlain_ = allPlain_ && plainBytes(text);
    ownBytes_.insert(ownBytes_.end(), text.begin(), text.end());
    ownOffsets_.push_back(static_cast<std::uint32_t>(ownBytes_.size()));
    ownSlots_[slot] = makeSlot(hash, id);

    // Keep the table at most half full so that probes stay short.
    if (2 * (static_cast<std::size_t>(id) + 1) > ownSlots_.size()) {
        std::vector<std::uint64_t> grown(ownSlots_.size() * 2, emptySlot);
        mask = grown.size() - 1;
        for (std::uint64_t entry : ownSlots_) {
            if (entry == emptySlot)
                continue;
            std::size_t s = slotHash(entry) & mask;
            while (grown[s] != emptySlot)
                s = (s + 1) & mask;
            grown[s] = entry;
        }
        ownSlots_.swap(grown);
    }
    viewOwn();
    return id;
}
