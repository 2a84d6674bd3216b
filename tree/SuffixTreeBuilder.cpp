#include "SuffixTreeBuilder.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Position = Corpus::Position;
using TokenId = Corpus::TokenId;

constexpr std::uint32_t none = UINT32_MAX;

// The run of the suffix array whose suffixes start with `query`: [first, last).
std::pair<std::uint32_t, std::uint32_t> occurrenceRun(const Corpus &corpus, std::span<const TokenId> query)
{
    const std::vector<Position> &sa = corpus.suffixArray();
    const std::vector<TokenId> &ids = corpus.tokenIds();
    const std::size_t n = corpus.end();
    const std::size_t m = query.size();

    // The first index whose suffix is not below the query (`atOrAfter`), or
    // not below-or-starting-with it. Every suffix between two bounds shares
    // with the query at least the smaller of the bounds' common prefixes, so
    // comparisons start there: a long query (a clicked label) costs its
    // length plus the search, not its length times the search.
    auto bound = [&](bool atOrAfter) {
        std::size_t below = 0, above = sa.size() + 1;  // shifted by one: 0 and size + 1 are virtual
        std::size_t sharedBelow = 0, sharedAbove = 0;
        while (above - below > 1) {
            const std::size_t mid = below + (above - below) / 2;
            const std::size_t p = sa[mid - 1];
            std::size_t k = std::min(sharedBelow, sharedAbove);
            while (k < m && p + k < n && ids[p + k] == query[k])
                ++k;
            bool isBelow;
            if (k == m)
                isBelow = !atOrAfter;  // starts with the query
            else
                isBelow = p + k == n || ids[p + k] < query[k];
            if (isBelow) {
                below = mid;
                sharedBelow = k;
            } else {
                above = mid;
                sharedAbove = k;
            }
        }
        return static_cast<std::uint32_t>(above - 1);
    };
    return {bound(true), bound(false)};
}

// Whether two occurrences of `query` can overlap: only if it has a proper
// prefix that is also its suffix.
bool canOverlap(std::span<const TokenId> query)
{
    // border[i]: the longest proper border of query[0, i).
    std::vector<std::uint32_t> border(query.size() + 1, 0);
    for (std::size_t i = 1, b = 0; i < query.size(); ++i) {
        while (b > 0 && query[i] != query[b])
            b = border[b];
        if (query[i] == query[b])
            ++b;
        border[i + 1] = static_cast<std::uint32_t>(b);
    }
    return border[query.size()] > 0;
}

// The continuations of the chosen occurrences, in suffix-array order, with
// the common prefix length of each with the one before it.
struct Continuations {
    std::vector<Position> start;        // the position after the occurrence (possibly the end)
    std::vector<std::uint32_t> shared;  // shared[i]: tokens common to start[i - 1] and start[i]
};

// Chooses the occurrences as a left-to-right scan would (each one starting
// at or after the end of the one before) and lists their continuations.
Continuations findOccurrences(const Corpus &corpus, std::span<const TokenId> query, std::uint32_t first,
                              std::uint32_t last)
{
    const std::vector<Position> &sa = corpus.suffixArray();
    const std::vector<std::uint32_t> &lcp = corpus.lcpArray();
    const auto m = static_cast<std::uint32_t>(query.size());

    // Overlapping occurrences are settled in text order: mark the run's
    // positions in a bitmap, walk it left to right and unmark the ones that
    // start inside an occurrence already taken.
    std::vector<std::uint64_t> chosen;
    if (last - first > 1 && canOverlap(query)) {
        chosen.assign(corpus.end() / 64 + 1, 0);
        for (std::uint32_t j = first; j < last; ++j)
            chosen[sa[j] / 64] |= std::uint64_t{1} << (sa[j] % 64);
        Position nextFree = 0;
        for (std::size_t w = 0; w < chosen.size(); ++w) {
            for (std::uint64_t bits = chosen[w]; bits != 0; bits &= bits - 1) {
                const auto p = static_cast<Position>(w * 64 + static_cast<unsigned>(__builtin_ctzll(bits)));
                if (p < nextFree)
                    chosen[w] &= ~(std::uint64_t{1} << (p % 64));
                else
                    nextFree = p + m;
            }
        }
    }
    auto isChosen = [&](Position p) { return chosen.empty() || (chosen[p / 64] >> (p % 64)) & 1; };

    // Two suffixes share the minimum of the lcp values between them; both
    // begin with the query, which the continuations do not include.
    Continuations out;
    out.start.reserve(last - first);
    out.shared.reserve(last - first);
    std::uint32_t shared = none;
    for (std::uint32_t j = first; j < last; ++j) {
        if (j > first)
            shared = std::min(shared, lcp[j]);
        if (!isChosen(sa[j]))
            continue;
        out.start.push_back(sa[j] + m);
        out.shared.push_back(out.start.size() == 1 ? 0 : shared - m);
        shared = none;
    }
    return out;
}

// The compacted trie of the continuations. Items below leafCount() are
// leaves, one per continuation in suffix-array order; the others are
// branches, runs of continuations that share `depth` tokens. The first
// branch, at depth 0, holds them all.
class ContinuationTrie {
public:
    struct Branch {
        std::uint32_t depth;
        std::uint32_t firstChild = none;
        std::uint32_t lastChild = none;
        std::uint32_t nextSibling = none;
        std::uint32_t childCount = 0;
        std::uint32_t leafCount = 0;  // continuations below: the count of the node at `depth`
        Position firstMet = none;     // the smallest continuation below: where the text first meets it
        bool hasEnded = false;        // one child is a continuation exactly `depth` tokens long
    };

    // One stack pass over the common prefix lengths (a Cartesian tree).
    ContinuationTrie(const Continuations &continuations, Position end)
        : start_(continuations.start), nextLeaf_(continuations.start.size(), none), end_(end)
    {
        const auto k = static_cast<std::uint32_t>(start_.size());
        branches_.reserve(k);
        branches_.push_back(Branch{0});
        std::vector<std::uint32_t> open{0};  // branches on the path to the newest leaf, deepening
        for (std::uint32_t i = 0; i < k; ++i) {
            // The leaf joins the deeper of the branches it shares with its
            // neighbours; branches deeper than the next share are complete.
            std::uint32_t item = i;
            const std::uint32_t depth = i + 1 < k ? continuations.shared[i + 1] : 0;
            while (branches_[open.back()].depth > depth) {
                append(open.back(), item);
                item = leafCount() + open.back();
                open.pop_back();
            }
            if (branches_[open.back()].depth < depth) {
                open.push_back(static_cast<std::uint32_t>(branches_.size()));
                branches_.push_back(Branch{depth});
            }
            append(open.back(), item);
        }
    }

    std::uint32_t leafCount() const { return static_cast<std::uint32_t>(start_.size()); }
    std::uint32_t root() const { return leafCount(); }
    bool isLeaf(std::uint32_t item) const { return item < leafCount(); }
    const Branch &branch(std::uint32_t item) const { return branches_[item - leafCount()]; }
    // The position after the occurrence of a leaf.
    Position start(std::uint32_t leaf) const { return start_[leaf]; }
    Position firstMet(std::uint32_t item) const { return isLeaf(item) ? start_[item] : branch(item).firstMet; }
    std::uint32_t nextSibling(std::uint32_t item) const
    {
        return isLeaf(item) ? nextLeaf_[item] : branch(item).nextSibling;
    }
    // The continuation that ends exactly where its parent branch does has no
    // token there to be grouped by, so it is no child in the phrase tree.
    bool endsAt(std::uint32_t item, std::uint32_t depth) const
    {
        return isLeaf(item) && end_ - start_[item] == depth;
    }
    std::uint32_t continuingChildren(const Branch &b) const { return b.childCount - (b.hasEnded ? 1u : 0u); }

private:
    void append(std::uint32_t b, std::uint32_t item)
    {
        Branch &parent = branches_[b];
        if (parent.lastChild == none)
            parent.firstChild = item;
        else if (isLeaf(parent.lastChild))
            nextLeaf_[parent.lastChild] = item;
        else
            branches_[parent.lastChild - leafCount()].nextSibling = item;
        parent.lastChild = item;
        ++parent.childCount;
        if (isLeaf(item)) {
            ++parent.leafCount;
            parent.firstMet = std::min(parent.firstMet, start_[item]);
            parent.hasEnded = parent.hasEnded || endsAt(item, parent.depth);
        } else {
            const Branch &child = branches_[item - leafCount()];
            parent.leafCount += child.leafCount;
            parent.firstMet = std::min(parent.firstMet, child.firstMet);
        }
    }

    const std::vector<Position> &start_;
    std::vector<std::uint32_t> nextLeaf_;
    std::vector<Branch> branches_;
    Position end_;
};

// One node of the collapsed tree: a run of single-child nodes of the grown
// tree, from a trie item down to where it branches or stops.
struct Run {
    std::uint32_t bottom;  // a branch with two or more continuing children, or a leaf
    Position spanStart;
    std::uint32_t spanLength;
    std::uint32_t count;  // the deepest node's count, which the collapsed node takes
};

// Reads the collapsed tree off the trie with the rules of growth: children in
// first-met order, the expansion counter, single continuations stopping at ".".
class CollapsedTreeWalk {
public:
    CollapsedTreeWalk(const Corpus &corpus, const ContinuationTrie &trie) : corpus_(corpus), trie_(trie) {}

    // The run that starts with `item`, a child of a node `topDepth` tokens
    // deep, whose group was visited with `counter`. Runs pass through
    // branches with one continuing child. A single continuation grows on
    // while its token is not "." and the counter is below the limit, and
    // then to the next "." (included) or the end of the text.
    Run follow(std::uint32_t item, std::uint32_t topDepth, std::uint32_t counter) const
    {
        std::uint32_t depth = topDepth;
        while (!trie_.isLeaf(item)) {
            const ContinuationTrie::Branch &b = trie_.branch(item);
            if (trie_.continuingChildren(b) != 1)
                return {item, b.firstMet + topDepth, b.depth - topDepth, b.leafCount};
            depth = b.depth;
            item = b.firstChild;
            if (trie_.endsAt(item, depth))
                item = trie_.nextSibling(item);
        }
        const Position start = trie_.start(item) + topDepth;
        const Position p = trie_.start(item) + depth;  // the single continuation's first token
        Position last = p;
        if (grows(p, counter))
            last = std::min(corpus_.nextStop(p + 1), corpus_.end() - 1);
        return {item, start, last - start + 1, 1};
    }

    // Whether a group of one position, at p, is grown when visited with `counter`.
    bool grows(Position p, std::uint32_t counter) const
    {
        return counter < expansionLimit && corpus_.tokenId(p) != corpus_.stopToken();
    }

    // Gives `node` the children of the branch `item`, in first-met order,
    // and then the same for every branching child, with a work stack.
    void growContinuations(PhraseNode &node, std::uint32_t item, std::uint32_t counter)
    {
        work_.push_back({&node, item, counter});
        while (!work_.empty()) {
            const Work call = work_.back();
            work_.pop_back();
            const ContinuationTrie::Branch &b = trie_.branch(call.item);

            children_.clear();
            for (std::uint32_t child = b.firstChild; child != none; child = trie_.nextSibling(child)) {
                if (!trie_.endsAt(child, b.depth))
                    children_.emplace_back(trie_.firstMet(child), child);
            }
            std::sort(children_.begin(), children_.end());

            // Every group of two or more positions grows; a single one grows
            // under the counter rule. Either advances the call's counter.
            std::uint32_t counter = call.counter;
            call.node->children().reserve(children_.size());
            for (const auto &[firstMet, child] : children_) {
                const Run run = follow(child, b.depth, counter);
                auto grown = std::make_unique<PhraseNode>(corpus_, run.spanStart, run.spanLength);
                grown->setWeight(static_cast<float>(run.count));
                if (!trie_.isLeaf(run.bottom))
                    work_.push_back({grown.get(), run.bottom, counter});
                call.node->appendChild(std::move(grown));
                if (!trie_.isLeaf(child) || grows(firstMet + b.depth, counter))
                    ++counter;
            }
        }
    }

private:
    struct Work {
        PhraseNode *node;
        std::uint32_t item;
        std::uint32_t counter;
    };

    const Corpus &corpus_;
    const ContinuationTrie &trie_;
    std::vector<Work> work_;
    std::vector<std::pair<Position, std::uint32_t>> children_;
};

}  // namespace

std::unique_ptr<PhraseNode> buildCollapsedTree(const Corpus &corpus, std::string text,
                                               std::span<const Corpus::TokenId> query)
{
    if (query.empty())
        return nullptr;
    const auto [first, last] = occurrenceRun(corpus, query);
    if (first == last)
        return nullptr;
    const Continuations continuations = findOccurrences(corpus, query, first, last);
    const ContinuationTrie trie(continuations, corpus.end());
    CollapsedTreeWalk walk(corpus, trie);

    // The root counts every occurrence, also one that ends the text.
    const Run run = walk.follow(trie.root(), 0, 0);
    auto root = std::make_unique<PhraseNode>(std::move(text), corpus, run.spanStart, run.spanLength);
    root->setWeight(static_cast<float>(run.count));
    if (!trie.isLeaf(run.bottom))
        walk.growContinuations(*root, run.bottom, 0);
    return root;
}
