// PatternMatcher: a CqlPattern made ready for one corpus, telling where in it the pattern matches.
#pragma once

#include "Corpus.h"
#include "CqlPattern.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Compiling reads each distinct condition's layer vocabulary once (ids 0 to
// layerSize - 1): a condition whose string is plain text without "%c" is one
// lookup of the value, any other one ICU regular expression match per
// value, on both cores. Each token's expression then becomes a tree of id
// sets, one set per layer wherever an and, or or not joins conditions on one
// layer alone, so that testing a position costs a bit test per layer its
// token reads. The matcher reads the corpus, which must outlive it; it is
// safe to use from several threads at once.
class PatternMatcher {
public:
    struct Compiled;

    // `pattern` made ready for `corpus`, or why it cannot be: a one-line
    // reason naming the first layer the corpus lacks, as "pattern: no layer
    // \"lema\"; the layers are word, lemma, pos", or the first string ICU
    // refuses as a regular expression, as "pattern: \"(\" is no regular
    // expression: U_REGEX_MISMATCHED_PAREN", or one that fails on a value
    // (ICU's stack limit, say). Every layer and string is checked before any
    // vocabulary is read. Throws Progress::Stopped when `stop` (may be
    // null) is set while the vocabularies are read: it is read every few
    // thousand values, and inside a long match.
    static Compiled compile(const CqlPattern &pattern, const Corpus &corpus,
                            const std::atomic<bool> *stop = nullptr);

    // The pattern's number of tokens.
    std::size_t length() const { return roots_.size(); }

    // Whether the token at p meets token k's condition: false for k >=
    // length(), at a boundary and past the end. "[]" meets every token.
    bool matchesToken(std::size_t k, Corpus::Position p) const
    {
        // The boundaries are looked up rather than the shown layer's id read:
        // a pattern on other layers then reads no page of the shown one.
        if (k >= roots_.size() || p >= corpus_->end()
            || std::binary_search(corpus_->boundaries().begin(), corpus_->boundaries().end(), p))
            return false;
        return holds(roots_[k], p);
    }

    // Whether the whole pattern matches from p: p + length() <= end(), no
    // boundary inside, every token meeting its condition.
    bool matchesAt(Corpus::Position p) const
    {
        if (static_cast<std::uint64_t>(p) + roots_.size() > corpus_->end())
            return false;
        for (std::size_t k = 0; k < roots_.size(); ++k) {
            if (!matchesToken(k, static_cast<Corpus::Position>(p + k)))
                return false;
        }
        return true;
    }

    // Every position from which the pattern matches, ascending; matches may
    // overlap. When some token's condition reads the shown layer alone and
    // the corpus does not fold case, the positions of the fewest such
    // token's values come from the suffix array (two binary searches per
    // value) and only they are tested, unless they (or the values) are so
    // many that testing every position costs less. Else, when a token's
    // condition is a set of under a quarter of another layer's values, one
    // pass over that layer's narrow ids gives the positions tested. Else
    // every position is tested, on both cores. Throws
    // Progress::Stopped when `stop` (may be null) is set: it is read every
    // few million positions.
    std::vector<Corpus::Position> allStarts(const std::atomic<bool> *stop = nullptr) const;

private:
    // A node of a token's condition tree.
    struct Node {
        enum class Kind : std::uint8_t { Any, Set, And, Or, Not };
        Kind kind = Kind::Any;
        std::size_t layer = Corpus::noLayer;  // Set: the layer whose id is tested
        std::uint32_t size = 0;               // Set: the ids the bits cover
        std::size_t bits = 0;                 // Set: the offset of its words in bits_
        std::uint32_t first = 0, count = 0;   // And, Or, Not: the operands, operands_[first, first + count)
    };
    class Compiler;  // reads the vocabularies and builds the nodes

    explicit PatternMatcher(const Corpus &corpus) : corpus_(&corpus) {}

    // Whether the token at p (no boundary) meets the node's condition; a
    // set is tested here, an and, or or not in holdsJoined.
    bool holds(std::uint32_t node, Corpus::Position p) const
    {
        const Node &n = nodes_[node];
        if (n.kind == Node::Kind::Set) {
            const Corpus::TokenId id = corpus_->layerId(n.layer, p);
            return id < n.size && ((bits_[n.bits + id / 64] >> (id % 64)) & 1) != 0;
        }
        return n.kind == Node::Kind::Any || holdsJoined(n, p);
    }
    bool holdsJoined(const Node &node, Corpus::Position p) const;

    // The candidates that a token on the shown layer gives through the
    // suffix array, ascending, or nothing when none is cheap enough.
    std::optional<std::vector<Corpus::Position>> indexedCandidates(const std::atomic<bool> *stop) const;
    // The candidates of the token whose condition is a set of another
    // layer's values that holds the smallest share of them, from one pass
    // over that layer's ids, or nothing when no set is under a quarter.
    std::optional<std::vector<Corpus::Position>> layerCandidates(const std::atomic<bool> *stop) const;
    std::vector<Corpus::Position> scanAll(const std::atomic<bool> *stop) const;

    const Corpus *corpus_;
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> operands_;  // node indexes
    std::vector<std::uint32_t> roots_;     // per token, its node
    std::vector<std::uint64_t> bits_;      // every set's words
};

// What PatternMatcher::compile gives: the matcher, or the reason there is none.
struct PatternMatcher::Compiled {
    std::optional<PatternMatcher> matcher;
    std::string reason;  // one line, when there is no matcher
};
