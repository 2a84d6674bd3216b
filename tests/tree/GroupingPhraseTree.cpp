#include "GroupingPhraseTree.h"

#include "SuffixTreeBuilder.h"
#include "TreeShaping.h"

#include <algorithm>
#include <cassert>

namespace {

using Position = Corpus::Position;
using TokenId = Corpus::TokenId;

constexpr std::uint32_t noGroup = UINT32_MAX;

// One call of the growth: a node, its expansion counter, and the positions
// after its occurrences, held as the range [begin, end) of the shared arena.
struct Work {
    PhraseNode *node;
    std::uint32_t counter;
    std::size_t begin;
    std::size_t end;
};

// The continuations of one call that share a token.
struct Group {
    PhraseNode *node;
    TokenId token;
    std::uint32_t count;    // positions holding the token
    std::uint32_t counter;  // the call's counter when this group was visited
    bool grows;
    std::size_t out;  // where the group's next positions are written in the arena
};

}  // namespace

void growContinuations(const Corpus &corpus, std::vector<Position> positions, PhraseNode &node,
                       std::uint32_t counter)
{
    const Position end = corpus.end();

    // All pending position lists live back to back in one arena, the list of
    // the call on top of the work stack last. A call's list is replaced by the
    // lists of its growing groups, first group last, so memory stays bounded
    // by the number of occurrences and nothing is allocated per node but the
    // node itself.
    std::vector<Position> &arena = positions;
    std::vector<Work> work;
    work.push_back({&node, counter, 0, arena.size()});

    // Token id -> index in `groups` during one call; reset after each call.
    std::vector<std::uint32_t> groupOf(corpus.vocabularySize(), noGroup);
    std::vector<Group> groups;

    while (!work.empty()) {
        const Work call = work.back();
        work.pop_back();
        assert(call.end == arena.size());

        // Group the positions by token, children in first-met order.
        groups.clear();
        for (std::size_t i = call.begin; i < call.end; ++i) {
            const Position p = arena[i];
            if (p == end || corpus.tokenId(p) == Corpus::noToken)
                continue;  // a continuation stops at a boundary as at the end
            const TokenId id = corpus.tokenId(p);
            std::uint32_t g = groupOf[id];
            if (g == noGroup) {
                g = static_cast<std::uint32_t>(groups.size());
                groupOf[id] = g;
                auto child = std::make_unique<PhraseNode>(corpus, p, 1);
                groups.push_back({child.get(), id, 0, 0, false, 0});
                call.node->appendChild(std::move(child));
            }
            ++groups[g].count;
            groups[g].node->countOccurrence();
        }

        // Decide which groups grow, visiting them in first-met order.
        std::uint32_t c = call.counter;
        std::size_t grown = 0;
        for (Group &group : groups) {
            group.counter = c;
            group.grows = group.count > 1 || (!corpus.isStop(group.token) && c < expansionLimit);
            if (group.grows) {
                ++c;
                grown += group.count;
            }
        }

        // Write the growing groups' next positions after the call's list, the
        // first group last, then slide them down over the consumed list.
        std::size_t at = call.end;
        for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
            if (group->grows) {
                group->out = at;
                at += group->count;
            }
        }
        arena.resize(call.end + grown);
        for (std::size_t i = call.begin; i < call.end; ++i) {
            const Position p = arena[i];
            if (p == end || corpus.tokenId(p) == Corpus::noToken)
                continue;
            Group &group = groups[groupOf[corpus.tokenId(p)]];
            if (group.grows)
                arena[group.out++] = Corpus::advance(p);
        }
        for (const Group &group : groups)
            groupOf[group.token] = noGroup;
        const std::size_t consumed = call.end - call.begin;
        std::copy(arena.begin() + static_cast<std::ptrdiff_t>(call.end), arena.end(),
                  arena.begin() + static_cast<std::ptrdiff_t>(call.begin));
        arena.resize(call.begin + grown);

        // Push the last group first so that the first one is grown next.
        for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
            if (group->grows) {
                const std::size_t begin = group->out - group->count - consumed;
                work.push_back({group->node, group->counter, begin, begin + group->count});
            }
        }
    }
}

std::vector<Corpus::Position> findOccurrences(const Corpus &corpus, const std::vector<std::string> &queryTokens)
{
    std::vector<Corpus::Position> continuations;
    if (queryTokens.empty())
        return continuations;
    std::vector<Corpus::TokenId> query;
    query.reserve(queryTokens.size());
    for (const std::string &token : queryTokens) {
        const Corpus::TokenId id = corpus.findToken(token);
        if (id == Corpus::noToken)
            return continuations;
        query.push_back(id);
    }

    // fallback[k]: the length of the longest proper border of query[0, k).
    const std::size_t k = query.size();
    std::vector<std::uint32_t> fallback(k + 1, 0);
    for (std::size_t i = 1, border = 0; i < k; ++i) {
        while (border > 0 && query[i] != query[border])
            border = fallback[border];
        if (query[i] == query[border])
            ++border;
        fallback[i + 1] = static_cast<std::uint32_t>(border);
    }

    // All occurrences have the same length, so the earliest end is the
    // leftmost start; restarting from nothing after each match keeps them
    // from overlapping.
    const std::span<const Corpus::TokenId> ids = corpus.tokenIds();
    std::size_t matched = 0;
    for (std::size_t p = 0; p < ids.size(); ++p) {
        while (matched > 0 && ids[p] != query[matched])
            matched = fallback[matched];
        if (ids[p] == query[matched])
            ++matched;
        if (matched == k) {
            continuations.push_back(static_cast<Corpus::Position>(p + 1));
            matched = 0;
        }
    }
    return continuations;
}

std::unique_ptr<PhraseNode> buildGroupingPhraseTree(const Corpus &corpus, std::string_view text)
{
    std::vector<std::string> queryTokens;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), queryTokens);
    if (queryTokens.empty())
        return nullptr;
    std::vector<Corpus::Position> continuations = findOccurrences(corpus, queryTokens);
    if (continuations.empty())
        return nullptr;

    auto root = std::make_unique<PhraseNode>(std::string(text), corpus, 0, 0);
    for (std::size_t i = 0; i < continuations.size(); ++i)
        root->countOccurrence();
    growContinuations(corpus, std::move(continuations), *root, 0);
    collapseChains(*root);
    normalizeWeights(*root, static_cast<float>(corpus.tokenCount()));
    return root;
}
