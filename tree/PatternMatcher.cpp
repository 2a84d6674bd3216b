#include "PatternMatcher.h"

#include "Progress.h"
#include "SuffixTreeBuilder.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <cstring>
#include <bit>
#include <exception>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

using Expression = CqlPattern::Expression;
using Position = Corpus::Position;
using TokenId = Corpus::TokenId;
using Words = std::vector<std::uint64_t>;

namespace {

// After work shared by the two cores (an exception may not leave a parallel
// region, so each core's is carried out of it): rethrows the first, or
// Progress::Stopped when either core saw the stop.
void rethrowFromCores(const std::exception_ptr (&failed)[2], const bool (&stopped)[2])
{
    for (const std::exception_ptr &f : failed) {
        if (f)
            std::rethrow_exception(f);
    }
    if (stopped[0] || stopped[1])
        throw Progress::Stopped();
}

// How many positions (or values) pass between two readings of the stop flag.
constexpr std::uint32_t positionsPerPoll = 1u << 22;
constexpr std::uint32_t valuesPerPoll = 1u << 12;
// Fewer values than this are read on one core: two would cost more than they save.
constexpr std::uint32_t valuesForTwoCores = 1u << 13;
constexpr std::uint64_t positionsForTwoCores = 1u << 16;

bool stopSet(const std::atomic<bool> *stop)
{
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// Whether a regular expression matches just its own text: no character in it means anything else.
bool isPlain(std::string_view regex)
{
    return regex.find_first_of("\\^$.|?*+()[]{}") == std::string_view::npos;
}

void complement(Words &words, std::uint32_t size)
{
    for (std::uint64_t &word : words)
        word = ~word;
    if (size % 64 != 0)
        words.back() &= (std::uint64_t{1} << (size % 64)) - 1;
}

// The run [first, last) of the suffix array whose suffixes start with `id`:
// two binary searches on the first token alone, in the order occurrenceRun
// reads (a boundary, as the end, below every token). occurrenceRun's range
// minima of the lcp array would span much of the array for one token.
std::pair<std::uint32_t, std::uint32_t> runOf(const SuffixIndex &index, TokenId id)
{
    const std::span<const Position> suffixes = index.suffixArray();
    const auto firstAbove = [&](TokenId bound) {
        const auto at = std::partition_point(suffixes.begin(), suffixes.end(), [&](Position p) {
            const TokenId token = index.tokenId(p);
            return token == SuffixIndex::boundaryId || token < bound;
        });
        return static_cast<std::uint32_t>(at - suffixes.begin());
    };
    return {firstAbove(id), firstAbove(id + 1)};
}

// ICU asks this now and then inside a long match: false stops it.
UBool U_CALLCONV keepMatching(const void *context, int32_t)
{
    return !static_cast<const std::atomic<bool> *>(context)->load(std::memory_order_relaxed);
}

}  // namespace

class PatternMatcher::Compiler {
public:
    Compiler(const CqlPattern &pattern, const Corpus &corpus, const std::atomic<bool> *stop)
        : pattern_(pattern), corpus_(corpus), stop_(stop)
    {
    }

    Compiled run()
    {
        Compiled compiled;
        for (const Expression &token : pattern_.tokens()) {
            if (!check(token, compiled.reason))
                return compiled;
        }
        for (Leaf &leaf : leaves_) {
            if (!read(leaf, compiled.reason))
                return compiled;
        }
        PatternMatcher matcher(corpus_);
        matcher_ = &matcher;
        for (const Expression &token : pattern_.tokens())
            matcher.roots_.push_back(build(token));
        compiled.matcher = std::move(matcher);
        return compiled;
    }

private:
    // A distinct condition without its negation: what one pass over a vocabulary decides.
    struct Leaf {
        std::size_t layer;
        std::string regex;
        bool caseInsensitive;
        std::unique_ptr<icu::RegexPattern> compiled;  // null for a plain string
        Words bits;                                   // the ids that match
    };

    // What layerOf says of an expression whose conditions read more than one layer.
    static constexpr std::size_t severalLayers = Corpus::noLayer - 1;

    std::size_t leafOf(const CqlPattern::Condition &condition) const
    {
        const std::size_t layer = corpus_.findLayer(condition.layer);
        for (std::size_t k = 0; k < leaves_.size(); ++k) {
            const Leaf &leaf = leaves_[k];
            if (leaf.layer == layer && leaf.regex == condition.regex && leaf.caseInsensitive == condition.caseInsensitive)
                return k;
        }
        return leaves_.size();
    }

    // Resolves the expression's layers and compiles its strings, in typed order.
    bool check(const Expression &expression, std::string &reason)
    {
        for (const Expression &operand : expression.operands) {
            if (!check(operand, reason))
                return false;
        }
        if (expression.kind != Expression::Kind::Condition)
            return true;
        const CqlPattern::Condition &condition = expression.condition;
        const std::size_t layer = corpus_.findLayer(condition.layer);
        if (layer == Corpus::noLayer) {
            reason = "pattern: no layer \"" + condition.layer + "\"; the layers are ";
            for (std::size_t l = 0; l < corpus_.layerCount(); ++l) {
                reason += l == 0 ? "" : ", ";
                reason += corpus_.layerName(l);
            }
            return false;
        }
        if (leafOf(condition) < leaves_.size())
            return true;
        Leaf leaf{layer, condition.regex, condition.caseInsensitive, nullptr, {}};
        if (condition.caseInsensitive || !isPlain(condition.regex)) {
            UErrorCode status = U_ZERO_ERROR;
            UParseError where;
            leaf.compiled.reset(icu::RegexPattern::compile(
                icu::UnicodeString::fromUTF8(condition.regex),
                condition.caseInsensitive ? std::uint32_t{UREGEX_CASE_INSENSITIVE} : 0u, where, status));
            if (U_FAILURE(status)) {
                reason = "pattern: \"" + condition.regex + "\" is no regular expression: " + u_errorName(status);
                return false;
            }
        }
        leaves_.push_back(std::move(leaf));
        return true;
    }

    // Sets the bits of the ids whose values the leaf's string matches whole.
    bool read(Leaf &leaf, std::string &reason)
    {
        const std::uint32_t size = corpus_.layerSize(leaf.layer);
        leaf.bits.assign((size + 63) / 64, 0);
        if (!leaf.compiled) {
            const TokenId id = corpus_.findLayerValue(leaf.layer, leaf.regex);
            if (id < size)
                leaf.bits[id / 64] |= std::uint64_t{1} << (id % 64);
            return true;
        }
        // Two halves, one per core, split at a word of bits. An exception
        // may not leave a parallel region, so each is carried out of it.
        const std::uint32_t half = size / 128 * 64;
        const icu::UnicodeString nothing;  // what the matchers read at last, outliving them
        std::unique_ptr<icu::RegexMatcher> matchers[2];
        for (auto &matcher : matchers) {
            UErrorCode status = U_ZERO_ERROR;
            matcher.reset(leaf.compiled->matcher(status));
            if (U_FAILURE(status))
                throw std::bad_alloc();
            if (stop_ != nullptr)
                matcher->setMatchCallback(keepMatching, stop_, status);
        }
        std::exception_ptr failed[2];
        bool stopped[2] = {false, false};
        UErrorCode failure[2] = {U_ZERO_ERROR, U_ZERO_ERROR};
        TokenId failedOn[2] = {0, 0};
#if defined(_OPENMP)
#pragma omp parallel for num_threads(2) if (size >= valuesForTwoCores)
#endif
        for (int part = 0; part < 2; ++part) {
            try {
                const TokenId from = part == 0 ? 0 : half, to = part == 0 ? half : size;
                icu::RegexMatcher &matcher = *matchers[part];
                std::vector<UChar> units(64);
                for (TokenId id = from; id < to; ++id) {
                    if ((id - from) % valuesPerPoll == 0 && stopSet(stop_)) {
                        stopped[part] = true;
                        break;
                    }
                    const std::string_view value = corpus_.layerText(leaf.layer, id);
                    if (units.size() < value.size())
                        units.resize(value.size());
                    UErrorCode status = U_ZERO_ERROR;
                    std::int32_t length = 0;
                    u_strFromUTF8WithSub(units.data(), static_cast<std::int32_t>(units.size()), &length, value.data(),
                                         static_cast<std::int32_t>(value.size()), 0xFFFD, nullptr, &status);
                    const icu::UnicodeString text(false, units.data(), length);  // a view of the units
                    matcher.reset(text);
                    const bool matched = matcher.matches(status);
                    if (status == U_REGEX_STOPPED_BY_CALLER) {
                        stopped[part] = true;
                        break;
                    }
                    if (U_FAILURE(status)) {
                        failure[part] = status;
                        failedOn[part] = id;
                        break;
                    }
                    if (matched)
                        leaf.bits[id / 64] |= std::uint64_t{1} << (id % 64);
                }
                matcher.reset(nothing);
            } catch (...) {
                failed[part] = std::current_exception();
            }
        }
        rethrowFromCores(failed, stopped);
        for (int part = 0; part < 2; ++part) {
            if (U_FAILURE(failure[part])) {
                reason = "pattern: \"" + leaf.regex + "\" fails on the value \"" +
                         std::string(corpus_.layerText(leaf.layer, failedOn[part])) + "\": " + u_errorName(failure[part]);
                return false;
            }
        }
        return true;
    }

    // The one layer every condition of the expression reads, severalLayers,
    // or noLayer for "[]".
    std::size_t layerOf(const Expression &expression) const
    {
        if (expression.kind == Expression::Kind::Condition)
            return leaves_[leafOf(expression.condition)].layer;
        std::size_t layer = Corpus::noLayer;
        for (const Expression &operand : expression.operands) {
            const std::size_t own = layerOf(operand);
            if (own == severalLayers || (layer != Corpus::noLayer && own != layer))
                return severalLayers;
            layer = own;
        }
        return layer;
    }

    // The ids of `layer` whose values meet the expression, which reads that layer alone.
    Words setOf(const Expression &expression, std::size_t layer) const
    {
        const std::uint32_t size = corpus_.layerSize(layer);
        if (expression.kind == Expression::Kind::Condition) {
            Words words = leaves_[leafOf(expression.condition)].bits;
            if (expression.condition.negated)
                complement(words, size);
            return words;
        }
        Words words = setOf(expression.operands.front(), layer);
        if (expression.kind == Expression::Kind::Not) {
            complement(words, size);
            return words;
        }
        for (std::size_t k = 1; k < expression.operands.size(); ++k) {
            const Words other = setOf(expression.operands[k], layer);
            for (std::size_t w = 0; w < words.size(); ++w)
                words[w] = expression.kind == Expression::Kind::And ? words[w] & other[w] : words[w] | other[w];
        }
        return words;
    }

    std::uint32_t addNode(const Node &node)
    {
        matcher_->nodes_.push_back(node);
        return static_cast<std::uint32_t>(matcher_->nodes_.size() - 1);
    }

    std::uint32_t addSet(std::size_t layer, const Words &words)
    {
        Node node;
        node.kind = Node::Kind::Set;
        node.layer = layer;
        node.size = corpus_.layerSize(layer);
        node.bits = matcher_->bits_.size();
        matcher_->bits_.insert(matcher_->bits_.end(), words.begin(), words.end());
        return addNode(node);
    }

    // The node that tests the expression: one set where it reads one
    // layer; otherwise its operands, those that read one layer joined into
    // a set per layer.
    std::uint32_t build(const Expression &expression)
    {
        if (expression.kind == Expression::Kind::Any)
            return addNode(Node{});
        const std::size_t layer = layerOf(expression);
        if (layer != severalLayers)
            return addSet(layer, setOf(expression, layer));
        Node node;
        node.kind = expression.kind == Expression::Kind::And  ? Node::Kind::And
                    : expression.kind == Expression::Kind::Or ? Node::Kind::Or
                                                               : Node::Kind::Not;
        std::vector<std::uint32_t> operands;
        if (node.kind == Node::Kind::Not) {
            operands.push_back(build(expression.operands.front()));
        } else {
            // Operands on one layer: a set per layer, joined as the node joins.
            std::vector<std::pair<std::size_t, Words>> sets;
            std::vector<const Expression *> mixed;
            for (const Expression &operand : expression.operands) {
                const std::size_t own = layerOf(operand);
                if (own == severalLayers) {
                    mixed.push_back(&operand);
                    continue;
                }
                Words words = setOf(operand, own);
                const auto same = std::find_if(sets.begin(), sets.end(), [&](const auto &s) { return s.first == own; });
                if (same == sets.end()) {
                    sets.emplace_back(own, std::move(words));
                    continue;
                }
                Words &joined = same->second;
                for (std::size_t w = 0; w < words.size(); ++w)
                    joined[w] = node.kind == Node::Kind::And ? joined[w] & words[w] : joined[w] | words[w];
            }
            for (const auto &[own, words] : sets)
                operands.push_back(addSet(own, words));
            for (const Expression *operand : mixed)
                operands.push_back(build(*operand));
        }
        std::vector<std::uint32_t> &all = matcher_->operands_;
        node.first = static_cast<std::uint32_t>(all.size());
        node.count = static_cast<std::uint32_t>(operands.size());
        all.insert(all.end(), operands.begin(), operands.end());
        return addNode(node);
    }

    const CqlPattern &pattern_;
    const Corpus &corpus_;
    const std::atomic<bool> *stop_;
    std::vector<Leaf> leaves_;
    PatternMatcher *matcher_ = nullptr;
};

PatternMatcher::Compiled PatternMatcher::compile(const CqlPattern &pattern, const Corpus &corpus,
                                                 const std::atomic<bool> *stop)
{
    return Compiler(pattern, corpus, stop).run();
}

bool PatternMatcher::holdsJoined(const Node &node, Position p) const
{
    const std::span<const std::uint32_t> operands(operands_.data() + node.first, node.count);
    switch (node.kind) {
    case Node::Kind::And:
        return std::all_of(operands.begin(), operands.end(), [&](std::uint32_t o) { return holds(o, p); });
    case Node::Kind::Or:
        return std::any_of(operands.begin(), operands.end(), [&](std::uint32_t o) { return holds(o, p); });
    case Node::Kind::Not:
        return !holds(operands.front(), p);
    default:
        return false;  // sets and "[]" are tested in holds
    }
}

std::optional<std::vector<Position>> PatternMatcher::indexedCandidates(const std::atomic<bool> *stop) const
{
    const Corpus &corpus = *corpus_;
    if (corpus.options().foldCase)  // the suffix array orders folded ids, the sets hold spelled ones
        return std::nullopt;
    const std::size_t shown = corpus.shownLayer();
    const SuffixIndex &index = corpus.forward();
    // Costs counted in positions a scan tests. A value's run (two binary
    // searches) costs about 128; an occurrence, gathered, sorted and tested
    // in text order, about one: on ten million positions the candidates of a
    // word a quarter of the text holds were tested three times as fast as
    // every position was. Half the positions leaves room for error.
    constexpr std::uint64_t searchCost = 128;
    std::uint64_t bestCost = corpus.end() / 2 + 64;
    std::size_t best = roots_.size();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs, bestRuns;
    for (std::size_t k = 0; k < roots_.size(); ++k) {
        const Node &node = nodes_[roots_[k]];
        if (node.kind != Node::Kind::Set || node.layer != shown)
            continue;
        const std::span<const std::uint64_t> words(bits_.data() + node.bits, (node.size + 63) / 64);
        std::uint64_t cost = 0;
        for (const std::uint64_t word : words)
            cost += searchCost * static_cast<std::uint64_t>(std::popcount(word));
        runs.clear();
        for (std::size_t w = 0; w < words.size() && cost < bestCost; ++w) {
            if (w % valuesPerPoll == 0 && stopSet(stop))
                throw Progress::Stopped();
            for (std::uint64_t word = words[w]; word != 0 && cost < bestCost; word &= word - 1) {
                const auto id = static_cast<TokenId>(w * 64 + static_cast<unsigned>(std::countr_zero(word)));
                const auto run = runOf(index, id);
                cost += run.second - run.first;
                runs.push_back(run);
            }
        }
        if (cost < bestCost) {
            bestCost = cost;
            best = k;
            std::swap(runs, bestRuns);
        }
    }
    if (best == roots_.size())
        return std::nullopt;
    // Each occurrence of the best token's values, moved back to where the pattern would start.
    const std::span<const Position> suffixes = index.suffixArray();
    const std::uint64_t lastStart = corpus.end() - roots_.size();
    std::vector<Position> starts;
    for (const auto &[first, last] : bestRuns) {
        for (std::uint32_t i = first; i < last && i < suffixes.size(); ++i) {
            const Position p = suffixes[i];
            if (p >= best && p - best <= lastStart)  // else no room, or a damaged saved index
                starts.push_back(static_cast<Position>(p - best));
        }
    }
    sortPositions(starts, corpus.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
}

std::optional<std::vector<Position>> PatternMatcher::layerCandidates(const std::atomic<bool> *stop) const
{
    const Corpus &corpus = *corpus_;
    std::size_t best = roots_.size();
    double bestShare = 0.25;
    for (std::size_t k = 0; k < roots_.size(); ++k) {
        const Node &node = nodes_[roots_[k]];
        if (node.kind != Node::Kind::Set || node.layer == corpus.shownLayer() || node.size == 0)
            continue;
        std::uint64_t count = 0;
        for (std::size_t w = 0; w < (node.size + 63) / 64; ++w)
            count += static_cast<std::uint64_t>(std::popcount(bits_[node.bits + w]));
        const double share = static_cast<double>(count) / node.size;
        if (share < bestShare) {
            bestShare = share;
            best = k;
        }
    }
    if (best == roots_.size())
        return std::nullopt;
    const Node &node = nodes_[roots_[best]];
    const LayerIds ids = corpus.layerIds(node.layer);
    const std::uint64_t *const bits = bits_.data() + node.bits;
    const std::uint64_t lastStart = corpus.end() - roots_.size();
    const std::byte *const values = ids.bytes().data();
    // The positions of [from, to) whose value is in the set, moved back to
    // where the pattern would start. The loop is made once per width, so
    // that a byte a position is read as a byte.
    const std::uint32_t setSize = node.size;
    std::uint64_t members = 0;
    std::uint32_t onlyId = 0;  // the set's one id, when it has one
    for (std::uint32_t w = 0; w < (setSize + 63) / 64; ++w) {
        members += static_cast<std::uint64_t>(std::popcount(bits[w]));
        if (bits[w] != 0)
            onlyId = w * 64 + static_cast<std::uint32_t>(std::countr_zero(bits[w]));
    }
    const auto pass = [&]<typename Id>(Id, std::uint64_t from, std::uint64_t to, std::vector<Position> &out) {
        constexpr Id boundary = static_cast<Id>(~Id{0});
        const std::uint64_t shift = best, last = lastStart;
        const auto test = [&](std::uint64_t p) {
            Id id;
            std::memcpy(&id, values + p * sizeof(Id), sizeof(Id));
            if (id != boundary && id < setSize && ((bits[id / 64] >> (id % 64)) & 1) != 0 && p - shift <= last)
                out.push_back(static_cast<Position>(p - shift));
        };
        for (std::uint64_t chunk = from; chunk < to; chunk += positionsPerPoll) {
            if (stopSet(stop))
                return false;
            const std::uint64_t chunkEnd = std::min<std::uint64_t>(to, chunk + positionsPerPoll);
            std::uint64_t p = chunk;
            if constexpr (sizeof(Id) <= 2) {
                // One value sought (a lemma, a tag): eight bytes at a time,
                // each lane compared at once, and only a word that holds it looked into.
                if (members == 1) {
                    constexpr std::uint64_t ones = sizeof(Id) == 1 ? 0x0101'0101'0101'0101u : 0x0001'0001'0001'0001u;
                    constexpr std::uint64_t highs = ones << (8 * sizeof(Id) - 1);
                    const std::uint64_t sought = ones * onlyId;
                    constexpr std::uint64_t lanes = 8 / sizeof(Id);
                    for (; p + lanes <= chunkEnd; p += lanes) {
                        std::uint64_t word;
                        std::memcpy(&word, values + p * sizeof(Id), 8);
                        const std::uint64_t x = word ^ sought;
                        if (((x - ones) & ~x & highs) != 0) {
                            for (std::uint64_t q = p; q < p + lanes; ++q)
                                test(q);
                        }
                    }
                }
            }
            for (; p < chunkEnd; ++p)
                test(p);
        }
        return true;
    };
    // Two halves, one per core, joined in order.
    const std::uint64_t half = best + (ids.size() - std::min<std::uint64_t>(best, ids.size())) / 2;
    std::vector<Position> parts[2];
    std::exception_ptr failed[2];
    bool stopped[2] = {false, false};
#if defined(_OPENMP)
#pragma omp parallel for num_threads(2) if (ids.size() >= positionsForTwoCores)
#endif
    for (int part = 0; part < 2; ++part) {
        const std::uint64_t from = part == 0 ? best : half, to = part == 0 ? half : ids.size();
        try {
            switch (ids.width()) {
            case 1: stopped[part] = !pass(std::uint8_t{}, from, to, parts[part]); break;
            case 2: stopped[part] = !pass(std::uint16_t{}, from, to, parts[part]); break;
            default: stopped[part] = !pass(std::uint32_t{}, from, to, parts[part]); break;
            }
        } catch (...) {
            failed[part] = std::current_exception();
        }
    }
    rethrowFromCores(failed, stopped);
    parts[0].insert(parts[0].end(), parts[1].begin(), parts[1].end());
    return std::move(parts[0]);
}

std::vector<Position> PatternMatcher::scanAll(const std::atomic<bool> *stop) const
{
    // Two halves, one per core, joined in order. An exception may not leave
    // a parallel region, so each is carried out of it.
    const std::uint64_t starts = corpus_->end() - roots_.size() + 1;
    const std::uint64_t half = starts / 2;
    std::vector<Position> parts[2];
    std::exception_ptr failed[2];
    bool stopped[2] = {false, false};
#if defined(_OPENMP)
#pragma omp parallel for num_threads(2) if (starts >= positionsForTwoCores)
#endif
    for (int part = 0; part < 2; ++part) {
        try {
            const std::uint64_t from = part == 0 ? 0 : half, to = part == 0 ? half : starts;
            for (std::uint64_t chunk = from; chunk < to && !stopped[part]; chunk += positionsPerPoll) {
                if (stopSet(stop)) {
                    stopped[part] = true;
                    break;
                }
                const std::uint64_t chunkEnd = std::min(to, chunk + positionsPerPoll);
                for (std::uint64_t p = chunk; p < chunkEnd; ++p) {
                    if (matchesAt(static_cast<Position>(p)))
                        parts[part].push_back(static_cast<Position>(p));
                }
            }
        } catch (...) {
            failed[part] = std::current_exception();
        }
    }
    rethrowFromCores(failed, stopped);
    parts[0].insert(parts[0].end(), parts[1].begin(), parts[1].end());
    return std::move(parts[0]);
}

std::vector<Position> PatternMatcher::allStarts(const std::atomic<bool> *stop) const
{
    if (roots_.empty() || roots_.size() > corpus_->end())
        return {};
    std::optional<std::vector<Position>> candidates = indexedCandidates(stop);
    if (!candidates)
        candidates = layerCandidates(stop);
    if (!candidates)
        return scanAll(stop);
    std::vector<Position> &starts = *candidates;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        if (k % positionsPerPoll == 0 && stopSet(stop))
            throw Progress::Stopped();
        if (matchesAt(starts[k]))
            starts[kept++] = starts[k];
    }
    starts.resize(kept);
    return std::move(starts);
}
