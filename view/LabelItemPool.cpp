#include "LabelItemPool.h"

#include <functional>
#include <utility>

std::size_t LabelItemPool::KeyHash::operator()(const Key &key) const
{
    std::size_t hash = std::hash<const void *>()(key.node);
    hash ^= std::hash<int>()(key.pixelSize * 2 + (key.mirrored ? 1 : 0)) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    return hash;
}

LabelItemPool::Made LabelItemPool::take(const Key &key, double room, const std::string *text)
{
    const auto found = previous_.find(key);
    if (found == previous_.end())
        return {};
    Made made = std::move(found->second);
    const bool serves = text ? made.text == *text
                             : made.text.empty() && (made.room == room || (made.wholeReach >= 0 && made.wholeReach <= room));
    if (!serves) {
        found->second = std::move(made);
        return {};
    }
    previous_.erase(found);
    return made;
}

void LabelItemPool::keep(const Key &key, const Made &made)
{
    current_[key] = made;
}

void LabelItemPool::finish()
{
    previous_ = std::move(current_);
    current_.clear();
}

void LabelItemPool::clear()
{
    previous_.clear();
    current_.clear();
}
