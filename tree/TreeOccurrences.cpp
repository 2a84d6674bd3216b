#include "TreeOccurrences.h"

#include "SuffixTreeBuilder.h"

#include <algorithm>
#include <utility>

TreeOccurrences::TreeOccurrences(const Corpus &corpus, TreeDirection direction, std::vector<Corpus::TokenId> phrase)
    : corpus_(&corpus), direction_(direction), phrase_(std::move(phrase)),
      length_(static_cast<std::uint32_t>(phrase_.size())), mayOverlap_(canOverlap(phrase_))
{
    if (phrase_.empty())
        return;
    if (direction_ == TreeDirection::Forward) {
        starts_ = occurrenceStarts(corpus.forward(), phrase_);
        return;
    }
    // The backward index reads the text from its end: the phrase too, and
    // its occurrences come out from the last one.
    const SuffixIndex &index = corpus.backward();
    const std::vector<Corpus::TokenId> reversed(phrase_.rbegin(), phrase_.rend());
    starts_ = occurrenceStarts(index, reversed);
    for (Corpus::Position &p : starts_)
        p = index.corpusStart(p, length());
    std::reverse(starts_.begin(), starts_.end());
}

TreeOccurrences TreeOccurrences::ofPattern(const Corpus &corpus, TreeDirection direction,
                                           PatternOccurrences occurrences)
{
    TreeOccurrences made(corpus, direction);
    made.length_ = occurrences.length;
    made.byPattern_ = occurrences.length > 0;
    if (made.byPattern_)
        made.starts_ = std::move(occurrences.starts);
    return made;
}

void TreeOccurrences::keepWithin(std::shared_ptr<const DocumentSubset> within)
{
    within_ = std::move(within);
    if (within_)
        within_->keep(starts_);
}

std::vector<Corpus::Position> TreeOccurrences::through(std::span<const PhraseNode *const> path) const
{
    // Forward, the path's labels follow the phrase root first; backward
    // they precede it, the deepest first.
    std::vector<Corpus::TokenId> context;
    if (direction_ == TreeDirection::Forward) {
        for (const PhraseNode *node : path)
            node->appendTokenIds(context);
    } else {
        for (auto node = path.rbegin(); node != path.rend(); ++node)
            (*node)->appendTokenIds(context);
    }
    return withContext(context);
}

std::vector<Corpus::Position> TreeOccurrences::withContext(std::span<const Corpus::TokenId> context) const
{
    if (context.empty())
        return starts_;
    if (byPattern_)
        return patternWithContext(context);
    if (phrase_.empty())
        return {};
    const bool forward = direction_ == TreeDirection::Forward;
    const SuffixIndex &index = forward ? corpus_->forward() : corpus_->backward();
    // The phrase and its context as the index reads them.
    std::vector<Corpus::TokenId> sought;
    sought.reserve(phrase_.size() + context.size());
    if (forward) {
        sought.assign(phrase_.begin(), phrase_.end());
        sought.insert(sought.end(), context.begin(), context.end());
    } else {
        sought.assign(phrase_.rbegin(), phrase_.rend());
        sought.insert(sought.end(), context.rbegin(), context.rend());
    }
    const auto [first, last] = occurrenceRun(index, sought);
    std::vector<Corpus::Position> found;
    found.reserve(last - first);
    const auto sa = index.suffixArray();
    const auto n = index.end();
    for (std::uint32_t i = first; i < last; ++i) {
        // Entries that leave no room for what was sought come only from a damaged saved index.
        if (sa[i] > n || sought.size() > n - sa[i])
            continue;
        // Where the phrase starts, in the corpus's order: backward, the
        // sought run's phrase is its first `length` positions.
        found.push_back(forward ? sa[i] : index.corpusStart(sa[i], length()));
    }
    sortPositions(found, corpus_->end());
    if (within_)
        within_->keep(found);
    if (mayOverlap_) {
        // Only where an occurrence the tree counts starts: both lists
        // ascend, so each search starts where the last one ended.
        std::size_t kept = 0;
        auto from = starts_.begin();
        for (const Corpus::Position p : found) {
            from = std::lower_bound(from, starts_.end(), p);
            if (from == starts_.end())
                break;
            if (*from == p)
                found[kept++] = p;
        }
        found.resize(kept);
    }
    return found;
}

std::vector<const PhraseNode *> TreeOccurrences::pathTo(const PhraseNode &root, const PhraseNode &node)
{
    // Depth first with a stack of (node, next child): a tree can be as deep
    // as its text is long.
    std::vector<std::pair<const PhraseNode *, std::size_t>> stack{{&root, 0}};
    while (!stack.empty()) {
        auto &[at, next] = stack.back();
        if (at == &node) {
            std::vector<const PhraseNode *> path;
            path.reserve(stack.size());
            for (const auto &step : stack)
                path.push_back(step.first);
            return path;
        }
        if (!at->childrenMade() || next == at->children().size()) {
            stack.pop_back();
            continue;
        }
        const PhraseNode *child = at->children()[next++].get();
        stack.emplace_back(child, 0);
    }
    return {};
}

std::vector<Corpus::Position> TreeOccurrences::patternWithContext(std::span<const Corpus::TokenId> context) const
{
    // Each occurrence's neighbours read: after its last token (forward), or
    // ending right before its first (backward).
    const bool forward = direction_ == TreeDirection::Forward;
    const std::uint64_t n = context.size();
    std::vector<Corpus::Position> found;
    for (const Corpus::Position p : starts_) {
        const std::uint64_t from = forward ? std::uint64_t{p} + length_ : std::uint64_t{p} - n;
        if ((forward ? from + n > corpus_->end() : p < n))
            continue;
        bool same = true;
        for (std::uint64_t i = 0; i < n && same; ++i)
            same = corpus_->tokenId(static_cast<Corpus::Position>(from + i)) == context[i];
        if (same)
            found.push_back(p);
    }
    return found;
}
