#include "DocumentSubset.h"

#include <algorithm>

DocumentSubset::DocumentSubset(const Corpus &corpus, std::vector<std::uint32_t> chosen) : corpus_(&corpus)
{
    const std::span<const Corpus::Position> boundaries = corpus.boundaries();
    const std::size_t documents = corpus.end() > 0 || !boundaries.empty() ? boundaries.size() + 1 : 0;
    std::uint32_t next = 0;  // the least document still to be chosen: keeps them ascending and distinct
    for (const std::uint32_t document : chosen) {
        if (document >= documents || document < next)
            continue;
        next = document + 1;
        chosen_.push_back(document);
        starts_.push_back(corpus.documentStart(document));
        ends_.push_back(document < boundaries.size() ? boundaries[document] : corpus.end());
        tokens_ += ends_.back() - starts_.back();
    }
}

bool DocumentSubset::contains(Corpus::Position p) const
{
    // The last chosen document starting at or before p.
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), p);
    if (after == starts_.begin())
        return false;
    return p < ends_[static_cast<std::size_t>(after - starts_.begin()) - 1];
}

void DocumentSubset::keep(std::vector<Corpus::Position> &positions) const
{
    std::size_t kept = 0;
    std::size_t d = 0;
    for (const Corpus::Position p : positions) {
        while (d < ends_.size() && ends_[d] <= p)
            ++d;
        if (d < ends_.size() && starts_[d] <= p)
            positions[kept++] = p;
    }
    positions.resize(kept);
}
