#include "SuffixTreeBuilder.h"

#include "TreeShaping.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

using Position = Corpus::Position;
using TokenId = Corpus::TokenId;

std::pair<std::uint32_t, std::uint32_t> occurrenceRun(const SuffixIndex &index, std::span<const TokenId> query)
{
    const std::span<const Position> sa = index.suffixArray();
    const BlockMinimum &lcp = index.lcpMinimum();
    const std::size_t n = index.end();
    const std::size_t m = query.size();

    // The first index whose suffix is not below the query. A bound's known
    // common prefix with the query, and its common prefix with the middle
    // suffix (an lcp range minimum), often settle the middle without reading
    // it; otherwise the comparison starts there. A long query (a clicked
    // label) thus costs its length once plus the search, not its length at
    // every step.
    std::size_t below = 0, above = sa.size() + 1;  // shifted by one: 0 and size + 1 are virtual
    std::size_t sharedBelow = 0, sharedAbove = 0;  // exact common prefixes with the query
    while (above - below > 1) {
        const std::size_t mid = below + (above - below) / 2;
        const std::size_t p = sa[mid - 1];
        std::size_t k = 0;
        if (below > 0 && sharedBelow >= sharedAbove) {
            const std::size_t common = lcp.minimum(below, mid);  // suffixes at below - 1 and mid - 1
            if (common > sharedBelow) {
                below = mid;
                continue;
            }
            if (common < sharedBelow) {
                above = mid;
                sharedAbove = common;
                continue;
            }
            k = common;
        } else if (above <= sa.size() && sharedAbove > sharedBelow) {
            const std::size_t common = lcp.minimum(mid, above);  // suffixes at mid - 1 and above - 1
            if (common > sharedAbove) {
                above = mid;
                continue;
            }
            if (common < sharedAbove) {
                below = mid;
                sharedBelow = common;
                continue;
            }
            k = common;
        } else {
            k = std::min(sharedBelow, sharedAbove);
        }
        while (k < m && p + k < n && index.tokenId(static_cast<Position>(p + k)) == query[k])
            ++k;
        // A boundary sorts below every token, as the end does. (A common
        // prefix read from a saved index may reach past the end.)
        if (k < m && (p + k >= n || index.tokenId(static_cast<Position>(p + k)) == SuffixIndex::boundaryId
                      || index.tokenId(static_cast<Position>(p + k)) < query[k])) {
            below = mid;
            sharedBelow = k;
        } else {
            above = mid;
            sharedAbove = k;
        }
    }
    const auto first = static_cast<std::uint32_t>(above - 1);
    if (first == sa.size() || sharedAbove < m)
        return {first, first};
    // The run goes on while neighbours share the whole query.
    const auto last = static_cast<std::uint32_t>(lcp.firstAtMost(first + 1, sa.size(), static_cast<std::uint32_t>(m - 1)));
    return {first, last};
}

void sortPositions(std::vector<Corpus::Position> &positions, Corpus::Position end)
{
    // A bitmap costs a pass over end / 64 words: worth it for many positions.
    if (positions.size() < end / 256 + 64) {
        std::sort(positions.begin(), positions.end());
        return;
    }
    std::vector<std::uint64_t> bits(end / 64 + 1, 0);
    for (const Position p : positions)
        bits[p / 64] |= std::uint64_t{1} << (p % 64);
    std::size_t at = 0;
    for (std::size_t w = 0; w < bits.size(); ++w) {
        for (std::uint64_t word = bits[w]; word != 0; word &= word - 1)
            positions[at++] = static_cast<Position>(w * 64 + static_cast<unsigned>(std::countr_zero(word)));
    }
    positions.resize(at);  // a position given twice (a damaged saved index) is kept once
}

void dropOverlapping(std::vector<Corpus::Position> &starts, std::uint32_t length)
{
    std::size_t kept = 0;
    std::uint64_t nextFree = 0;
    for (const Corpus::Position p : starts) {
        if (p < nextFree)
            continue;
        starts[kept++] = p;
        nextFree = std::uint64_t{p} + length;
    }
    starts.resize(kept);
}

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

namespace {

// One node of the collapsed tree: a run of single-child nodes of the grown
// tree, from a group of continuations down to where it branches or stops.
struct Run {
    std::uint32_t first;   // the continuations of the run's deepest node: [first, last)
    std::uint32_t last;
    std::uint32_t depth;   // how many tokens of them the deepest node covers
    bool branches;         // whether the deepest node has children
    Position spanStart;
    std::uint32_t spanLength;
    std::uint32_t count;   // the deepest node's count, which the collapsed node takes
    std::string spelled;   // the label, when its levels are spelled from different occurrences
};

// The continuations of a phrase's chosen occurrences in suffix-array order,
// and the collapsed tree they form, made a node at a time. A node of the
// tree is a run [first, last) of continuations that share `depth` tokens;
// its children are the runs that share a further token. Making a node's
// children costs time in its number of children and, through range minima,
// its number of continuations / 64, never the length of its labels.
class ContinuationIndex : public ChildSource, public std::enable_shared_from_this<ContinuationIndex> {
public:
    // The occurrences are the suffix-array run [first, last) of a query of
    // `m` tokens; those that start inside an earlier chosen one are left out.
    ContinuationIndex(const Corpus &corpus, const SuffixIndex &index, std::uint32_t first, std::uint32_t last,
                      std::uint32_t m, bool mayOverlap, bool sentences)
        : corpus_(corpus), index_(index), end_(index.end()), total_(static_cast<float>(corpus.tokenCount())),
          spellingsDiffer_(corpus.options().foldCase), sentences_(sentences)
    {
        if (!mayOverlap) {
            // Every occurrence counts: the index's own arrays serve as they are.
            starts_ = index.suffixArray().data() + first;
            shared_ = index.lcpArray().data() + first;
            startMinimum_ = &index.suffixArrayMinimum();
            sharedMinimum_ = &index.lcpMinimum();
            base_ = first;
            startOffset_ = m;
            sharedOffset_ = m;
            count_ = last - first;
        } else {
            chooseOccurrences(first, last, m);
        }
    }

    // Continuations given as they are: their starts in suffix order, and
    // what each shares with the one before (0 for the first).
    // Weights are shares of `total` tokens.
    ContinuationIndex(const Corpus &corpus, const SuffixIndex &index, std::vector<Position> starts,
                      std::vector<std::uint32_t> shared, bool sentences, std::uint64_t total)
        : corpus_(corpus), index_(index), end_(index.end()), total_(static_cast<float>(total)),
          spellingsDiffer_(corpus.options().foldCase), sentences_(sentences)
    {
        ownStarts_ = std::move(starts);
        ownShared_ = std::move(shared);
        viewOwnArrays();
    }

    std::uint32_t count() const { return count_; }

    // The root: the search text followed by the run it absorbs when all its
    // continuations go on alike; it counts every occurrence, also one that
    // ends the text.
    std::unique_ptr<PhraseNode> makeRoot(std::string text) const
    {
        std::uint32_t first = 0;
        while (first < count_ && length(first) == 0)
            ++first;  // occurrences that end the text (or a document) continue with nothing
        Run run{0, count_, 0, first < count_, 0, 0, count_, {}};
        if (first < count_ && firstSharedAtMost(first + 1, count_, 0) == count_)
            run = follow(first, count_, 0, 0);
        // Read backwards, the absorbed run stands before the phrase.
        auto root = makeNode(run, std::move(text));
        if (run.branches)
            root->setChildSource(shared_from_this(), {run.first, run.last, run.depth, 0});
        return root;
    }

    // Gives the children in first-met order (the order of the smallest
    // position below each), applies the rules of growth, and orders them
    // heaviest first when weights are display weights.
    void makeChildren(const Branch &branch, std::vector<std::unique_ptr<PhraseNode>> &children) const override
    {
        const std::uint32_t depth = branch.depth;
        std::vector<Group> groups;
        std::uint32_t from = branch.first;
        while (from < branch.last && length(from) == depth)
            ++from;  // a continuation that ends here has no token to be grouped by
        while (from < branch.last) {
            const std::uint32_t to = firstSharedAtMost(from + 1, branch.last, depth);
            groups.push_back({firstMet(from, to), from, to});
            from = to;
        }
        std::sort(groups.begin(), groups.end(),
                  [](const Group &a, const Group &b) { return a.firstMet < b.firstMet; });

        // Every group of two or more positions grows; a single one grows
        // under the counter rule. Either advances the call's counter.
        std::uint32_t counter = branch.counter;
        children.reserve(groups.size());
        for (const Group &group : groups) {
            const Run run = follow(group.first, group.last, depth, counter);
            auto child = makeNode(run, {});
            if (run.branches)
                child->setChildSource(shared_from_this(), {run.first, run.last, run.depth, counter});
            children.push_back(std::move(child));
            const Position token = group.firstMet + depth;
            if (!endsSentence(token) && (group.last - group.first > 1 || grows(token, counter)))
                ++counter;
        }
        const auto heavier = [](const auto &a, const auto &b) { return a->weight() > b->weight(); };
        std::stable_sort(children.begin(), children.end(), heavier);
    }

private:
    struct Group {
        Position firstMet;
        std::uint32_t first;
        std::uint32_t last;
    };

    // Overlapping occurrences are settled in text order: mark the run's
    // positions in a bitmap, walk it left to right and unmark the ones that
    // start inside an occurrence already taken. The chosen continuations and
    // what each shares with the one before get arrays of their own.
    void chooseOccurrences(std::uint32_t first, std::uint32_t last, std::uint32_t m)
    {
        const std::span<const Position> sa = index_.suffixArray();
        const std::span<const std::uint32_t> lcp = index_.lcpArray();
        std::vector<std::uint64_t> chosen(end_ / 64 + 1, 0);
        // An entry past the end (only in a damaged saved index) is never chosen.
        for (std::uint32_t j = first; j < last; ++j) {
            if (sa[j] < end_)
                chosen[sa[j] / 64] |= std::uint64_t{1} << (sa[j] % 64);
        }
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
        // Two suffixes share the minimum of the lcp values between them;
        // both begin with the query, which the continuations do not include.
        ownStarts_.reserve(last - first);
        ownShared_.reserve(last - first);
        std::uint32_t common = UINT32_MAX;
        for (std::uint32_t j = first; j < last; ++j) {
            if (j > first)
                common = std::min(common, lcp[j]);
            if (sa[j] >= end_ || !((chosen[sa[j] / 64] >> (sa[j] % 64)) & 1))
                continue;
            ownStarts_.push_back(sa[j] + m);
            ownShared_.push_back(ownStarts_.size() == 1 ? 0 : common - m);
            common = UINT32_MAX;
        }
        viewOwnArrays();
    }

    // Reads the continuations from ownStarts_ and ownShared_, with range minima of their own.
    void viewOwnArrays()
    {
        ownStartMinimum_ = BlockMinimum(ownStarts_);
        ownSharedMinimum_ = BlockMinimum(ownShared_);
        starts_ = ownStarts_.data();
        shared_ = ownShared_.data();
        startMinimum_ = &ownStartMinimum_;
        sharedMinimum_ = &ownSharedMinimum_;
        count_ = static_cast<std::uint32_t>(ownStarts_.size());
    }

    // The position after the j-th occurrence, and how many tokens follow it.
    // (Never past the end, whatever a saved index holds.)
    Position start(std::uint32_t j) const { return std::min<Position>(starts_[j] + startOffset_, end_); }
    std::uint32_t length(std::uint32_t j) const { return index_.boundaryAfter(start(j)) - start(j); }
    // Tokens common to continuations j - 1 and j (j > 0).
    std::uint32_t shared(std::uint32_t j) const { return shared_[j] - sharedOffset_; }
    // The smallest start among continuations [first, last).
    Position firstMet(std::uint32_t first, std::uint32_t last) const
    {
        return std::min<Position>(startMinimum_->minimum(base_ + first, base_ + last) + startOffset_, end_);
    }
    // The smallest shared(j) for j in [first, last).
    std::uint32_t minimumShared(std::uint32_t first, std::uint32_t last) const
    {
        return sharedMinimum_->minimum(base_ + first, base_ + last) - sharedOffset_;
    }
    // The first j in [first, last) with shared(j) <= bound, or last.
    std::uint32_t firstSharedAtMost(std::uint32_t first, std::uint32_t last, std::uint32_t bound) const
    {
        return static_cast<std::uint32_t>(
            sharedMinimum_->firstAtMost(base_ + first, base_ + last, bound + sharedOffset_) - base_);
    }

    // The node of a run: its label's tokens in reading order (read
    // backwards, the run's tokens come out reversed, and the text follows
    // them), its display weight and its count.
    std::unique_ptr<PhraseNode> makeNode(const Run &run, std::string text) const
    {
        const bool backward = index_.reversed();
        const Position spanStart = index_.corpusStart(run.spanStart, run.spanLength);
        std::unique_ptr<PhraseNode> node;
        if (run.spelled.empty()) {
            node = std::make_unique<PhraseNode>(std::move(text), corpus_, spanStart, run.spanLength,
                                                backward ? PhraseNode::TextPlace::AfterSpan
                                                         : PhraseNode::TextPlace::BeforeSpan);
        } else {
            // Spelled from several occurrences, the label is text, which
            // still tells how much of it was searched for; the span still
            // gives its tokens' ids, which every occurrence shares.
            const std::size_t searched = text.size();
            std::string label = backward ? run.spelled : std::move(text);
            const std::string &after = backward ? text : run.spelled;
            if (!label.empty() && !after.empty())
                label += ' ';
            label += after;
            node = std::make_unique<PhraseNode>(std::move(label), corpus_, spanStart, run.spanLength,
                                                backward ? PhraseNode::TextPlace::WholeLabelTextLast
                                                         : PhraseNode::TextPlace::WholeLabel,
                                                searched);
        }
        node->setCount(run.count);
        node->setWeight(displayWeight(static_cast<float>(run.count), total_));
        return node;
    }

    // Whether a group of one position, at p, is grown when visited with `counter`.
    bool grows(Position p, std::uint32_t counter) const
    {
        return counter < expansionLimit && !index_.isStopAt(p) && !endsSentence(p);
    }
    // Whether the token at p is a sentence end that stops its branch.
    bool endsSentence(Position p) const { return sentences_ && corpus_.endsSentenceAt(index_, p); }

    // Asked to stop at sentence ends: cuts the run of the group [first,
    // last), `top` tokens deep, after the first sentence end among its
    // tokens from `level` on. The node then stands for the continuations
    // that reach it (those that ended before, at a boundary, come first in
    // the group) and is spelled as the first met among them; it has no children.
    void stopAtSentenceEnd(Run &run, std::uint32_t first, std::uint32_t top, std::uint32_t level) const
    {
        if (run.spanLength == 0)
            return;
        const Position last = run.spanStart + run.spanLength - 1;
        const Position at = corpus_.nextSentenceEnd(index_, run.spanStart + (level - top), last);
        if (at == last) {
            run.branches = run.branches && !endsSentence(last);
            return;
        }
        cut(run, first, top, top + (at - run.spanStart) + 1);
    }

    // Makes the run a leaf `depth` tokens deep, standing for the continuations that reach that depth.
    void cut(Run &run, std::uint32_t first, std::uint32_t top, std::uint32_t depth) const
    {
        std::uint32_t from = first;
        while (from + 1 < run.last && length(from) < depth)
            ++from;
        run = {from, run.last, depth, false, firstMet(from, run.last) + top, depth - top, run.last - from, {}};
    }

    // For each continuation k in [first, run.first) that ended inside the
    // run: the least start from k on (or `base`, the run's own first-met
    // start), where the levels up to its end were met first.
    std::vector<Position> metFirst(const Run &run, std::uint32_t first, Position base) const
    {
        std::vector<Position> met(run.first - first);
        Position least = base;
        for (std::uint32_t k = run.first; k-- > first;) {
            least = std::min(least, start(k));
            met[k - first] = least;
        }
        return met;
    }

    // An annotated text marks sentence ends by position, so continuations
    // that share a token may differ in whether it ends a sentence. Each
    // level then stops by the continuation met first there, which also
    // spells it: where continuations ended inside the run ([first,
    // run.first), shortest first), the levels up to each one's end are
    // met first by the least start from it on. Cuts the run (true) at the
    // first sentence end of those levels; otherwise sets `level` to where
    // the run's own first-met continuation takes over.
    bool stopWhereEndedOnesWereMetFirst(Run &run, std::uint32_t first, std::uint32_t top, std::uint32_t &level) const
    {
        const Position base = run.spanStart - top;
        const std::uint32_t end = top + run.spanLength;
        const std::vector<Position> met = metFirst(run, first, base);
        level = top;
        for (std::uint32_t k = first; k < run.first && level < end; ++k) {
            const std::uint32_t until = std::min(length(k), end);
            if (until <= level)
                continue;
            const Position at = met[k - first];
            if (at != base) {
                const Position found = corpus_.nextSentenceEnd(index_, at + level, at + until);
                if (found < at + until) {
                    cut(run, first, top, found - at + 1);
                    return true;
                }
            } else {
                // Met first by the run's own continuation: its ends are looked for with the rest.
                return false;
            }
            level = until;
        }
        return false;
    }

    // The run that starts with the group [first, last) of continuations,
    // which share more than `top` tokens (a child of a node `top` tokens
    // deep, visited with `counter`). The run goes on while its node has a
    // single continuing child. Continuations that end inside it are each a
    // prefix of the next in suffix order, so they come first in the group;
    // past them the group either branches where its remaining continuations
    // part, or holds a single continuation, which grows on while its token is
    // not a full stop and the counter is below the limit, and then to the
    // next full stop (included) or the end of the text.
    Run follow(std::uint32_t first, std::uint32_t last, std::uint32_t top, std::uint32_t counter) const
    {
        std::uint32_t j = first;
        while (j + 1 < last && shared(j + 1) == length(j))
            ++j;
        Run run;
        if (j + 1 < last) {
            const std::uint32_t depth = minimumShared(j + 1, last);
            std::uint32_t from = first;
            while (from + 1 < last && length(from) < depth)
                ++from;  // ended above the branching point: not in the deepest node
            run = {from, last, depth, true, firstMet(from, last) + top, depth - top, last - from, {}};
        } else if (j > first && length(j) == length(j - 1)) {
            // Every continuation left ends at the same depth (each at the
            // boundary of its document): the run ends there, as a leaf.
            const std::uint32_t depth = length(j);
            std::uint32_t from = j;
            while (from > first && length(from - 1) == depth)
                --from;
            run = {from, last, depth, false, firstMet(from, last) + top, depth - top, last - from, {}};
        } else {
            // The last continuation left: the one before it ended where the
            // group became a single position.
            const std::uint32_t depth = j > first ? length(j - 1) : top;
            const Position spanStart = start(j) + top;
            const Position p = start(j) + depth;
            Position spanLast = p;
            if (grows(p, counter)) {
                const Position boundary = index_.boundaryAfter(p);
                const Position stop =
                    sentences_ ? corpus_.nextSentenceEnd(index_, p + 1, boundary) : index_.nextStop(p + 1);
                spanLast = std::min(stop, boundary - 1);
            }
            run = {j, j + 1, depth, false, spanStart, spanLast - spanStart + 1, 1, {}};
        }
        // Common prefixes that lie (a damaged saved index) could make a span
        // run past the end: it is cut there (again once a sentence end has
        // moved it to another occurrence).
        const auto cutAtEnd = [this, &run] {
            run.spanStart = std::min(run.spanStart, end_);
            run.spanLength = std::min(run.spanLength, end_ - run.spanStart);
        };
        cutAtEnd();
        if (sentences_) {
            std::uint32_t level = top;
            if (!corpus_.annotated() || run.first == first || !stopWhereEndedOnesWereMetFirst(run, first, top, level))
                stopAtSentenceEnd(run, first, top, level);
            cutAtEnd();
        }
        if (spellingsDiffer_ && run.first > first)
            spell(run, first, top);
        return run;
    }

    // Folded tokens may be spelled differently at each occurrence, and each
    // node of a run shows the spelling of its own first-met occurrence. Past
    // a continuation that ended inside the run, the first-met one may change:
    // if the spellings then differ, the label is spelled level by level.
    void spell(Run &run, std::uint32_t first, std::uint32_t top) const
    {
        // The continuations [first, run.first) ended inside the run, shortest
        // first: the levels up to length(k) belong to the group [k, last),
        // whose first-met start is the least start from k on; the levels past
        // them to the run's own group, met first at `base`. Only where an
        // ended one was met first can the spelling differ.
        const Position base = run.spanStart - top;
        const std::uint32_t end = top + run.spanLength;
        const std::vector<Position> met = metFirst(run, first, base);
        const auto spelling = [&](Position p, std::uint32_t level) {
            return corpus_.spellingId(index_.corpusStart(p + level, 1));
        };
        bool differs = false;
        for (std::uint32_t k = first, level = top; k < run.first && !differs; ++k) {
            const std::uint32_t until = std::min(length(k), end);
            // Levels met first at `base` itself are spelled as the span is:
            // passed over at once, since they may be as long as the text.
            if (met[k - first] == base) {
                level = std::max(level, until);
                continue;
            }
            for (; level < until && !differs; ++level)
                differs = spelling(met[k - first], level) != spelling(base, level);
        }
        if (!differs)
            return;
        std::vector<std::string_view> tokens;
        std::uint32_t k = first;
        for (std::uint32_t level = top; level < end; ++level) {
            while (k < run.first && length(k) <= level)
                ++k;
            const Position p = (k < run.first ? met[k - first] : base) + level;
            tokens.push_back(corpus_.token(index_.corpusStart(p, 1)));
        }
        if (index_.reversed())
            std::reverse(tokens.begin(), tokens.end());
        for (std::string_view token : tokens) {
            if (!run.spelled.empty())
                run.spelled += ' ';
            run.spelled += token;
        }
    }

    const Corpus &corpus_;
    const SuffixIndex &index_;
    const Position end_;
    const float total_;
    const bool spellingsDiffer_;
    const bool sentences_;
    std::uint32_t count_ = 0;
    // Continuation j starts at starts_[j] + startOffset_ and shares
    // shared_[j] - sharedOffset_ tokens with continuation j - 1; the range
    // minima index the same arrays from base_.
    const Position *starts_ = nullptr;
    const std::uint32_t *shared_ = nullptr;
    const BlockMinimum *startMinimum_ = nullptr;
    const BlockMinimum *sharedMinimum_ = nullptr;
    std::size_t base_ = 0;
    std::uint32_t startOffset_ = 0;
    std::uint32_t sharedOffset_ = 0;
    std::vector<Position> ownStarts_;
    std::vector<std::uint32_t> ownShared_;
    BlockMinimum ownStartMinimum_;
    BlockMinimum ownSharedMinimum_;
};

}  // namespace

std::unique_ptr<PhraseNode> buildCollapsedTree(const Corpus &corpus, const SuffixIndex &index, std::string text,
                                               std::span<const Corpus::TokenId> query, bool sentences)
{
    if (query.empty())
        return nullptr;
    const auto [first, last] = occurrenceRun(index, query);
    if (first == last)
        return nullptr;
    const auto m = static_cast<std::uint32_t>(query.size());
    // A lone occurrence overlaps nothing, and its query may be a whole text.
    const bool mayOverlap = last - first > 1 && canOverlap(query);
    const auto continuations =
        std::make_shared<const ContinuationIndex>(corpus, index, first, last, m, mayOverlap, sentences);
    return continuations->makeRoot(std::move(text));
}

std::unique_ptr<PhraseNode> buildTreeOfStarts(const Corpus &corpus, const SuffixIndex &index, std::string text,
                                              std::span<const Corpus::Position> starts, std::uint32_t length,
                                              bool sentences, std::uint64_t tokenTotal)
{
    if (starts.empty())
        return nullptr;
    const std::span<const std::uint32_t> ranks = corpus.ranks(index);
    const Position n = index.end();
    // Each continuation with its suffix's rank; one that starts at the end
    // has no suffix, is empty, and sorts first.
    std::vector<std::pair<std::uint32_t, Position>> ranked;
    ranked.reserve(starts.size());
    for (const Position start : starts) {
        const Position p = start < n && length <= n - start ? start + length : n;
        // (A saved index's rank past the end, which only a damaged one has, reads as none.)
        ranked.emplace_back(p < n && ranks[p] < n ? ranks[p] + 1 : 0, p);
    }
    std::sort(ranked.begin(), ranked.end());
    std::vector<Position> continuations(ranked.size());
    std::vector<std::uint32_t> shared(ranked.size(), 0);
    const BlockMinimum &lcp = index.lcpMinimum();
    for (std::size_t j = 0; j < ranked.size(); ++j) {
        continuations[j] = ranked[j].second;
        // Two suffixes share the least lcp value between their ranks.
        if (j > 0 && ranked[j - 1].first > 0 && ranked[j - 1].first < ranked[j].first)
            shared[j] = lcp.minimum(ranked[j - 1].first, ranked[j].first);
    }
    const auto index_ = std::make_shared<const ContinuationIndex>(corpus, index, std::move(continuations),
                                                                  std::move(shared), sentences,
                                                                  tokenTotal ? tokenTotal : corpus.tokenCount());
    return index_->makeRoot(std::move(text));
}

std::vector<Corpus::Position> occurrenceStarts(const SuffixIndex &index, std::span<const Corpus::TokenId> query)
{
    std::vector<Corpus::Position> starts;
    if (query.empty())
        return starts;
    const auto [first, last] = occurrenceRun(index, query);
    const auto m = static_cast<Corpus::Position>(query.size());
    starts.reserve(last - first);
    // Entries that leave no room for the phrase come only from a damaged saved index.
    for (const Corpus::Position p : index.suffixArray().subspan(first, last - first)) {
        if (p <= index.end() && m <= index.end() - p)
            starts.push_back(p);
    }
    sortPositions(starts, index.end());
    if (last - first > 1 && canOverlap(query)) {
        dropOverlapping(starts, static_cast<std::uint32_t>(query.size()));
    }
    return starts;
}
