// Corpus: the loaded text as token ids in text order, each distinct token interned once.
#pragma once

#include "CorpusOptions.h"
#include "LayerIds.h"
#include "Progress.h"
#include "SuffixIndex.h"
#include "TokenTable.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A corpus is made by cutting texts, or opened from a saved index (see
// CorpusIndex): either way it reads its arrays through views, of vectors of
// its own or of the index's mapping, which it then keeps while it lives.
class Corpus {
public:
    using TokenId = std::uint32_t;
    // A position is the index of a token; end() is the place after the last one.
    using Position = std::uint32_t;

    static constexpr TokenId noToken = UINT32_MAX;

    static constexpr std::size_t noLayer = SIZE_MAX;

    // One layer of a saved annotated corpus: its name, its value at every
    // position (noToken at the boundaries) and its values' table.
    struct StoredLayer {
        std::string_view name;
        LayerIds ids;
        TokenTable::Stored tokens;
    };

    // The arrays that make a corpus, as a made one holds them.
    struct Stored {
        CorpusOptions options;
        std::span<const TokenId> ids;
        std::span<const TokenId> spellingIds;  // when folding
        // One bit per position (bit p % 64 of word p / 64), ceil(positions / 64) words: see separatedBefore.
        std::span<const std::uint64_t> separated;
        TokenTable::Stored tokens;
        std::span<const Position> boundaries;
        std::span<const Position> lineStarts;
        std::span<const std::uint32_t> lineFeeds;  // one per line start
        std::span<const TokenId> stopIds;          // at most SuffixIndex::maxStops
        SuffixIndex::Stored forward;
        SuffixIndex::Stored backward;
        // An annotated corpus's layers in their order, the shown one with
        // no arrays of its own (its values are `ids`, `spellingIds` and
        // `tokens`); empty for a plain text, whose one layer is "word".
        std::vector<StoredLayer> layers;
        // An annotated corpus's sentence ends: bit p % 64 of word p / 64
        // marks the last token of a sentence (as `separated`); empty for a plain text.
        std::span<const std::uint64_t> sentenceEnds;
        // Bit k (of word k / 64) set: from lineStarts[k] on, each position
        // is one line further (a file of a token a line); clear, or past
        // the end, all positions up to the next start share its line.
        std::span<const std::uint64_t> lineRuns = {};
    };

    // Tokenizes exactly `length` bytes of `bytes` (no terminator needed) by
    // the rules `options` choose. Throws std::bad_alloc if memory runs out,
    // std::runtime_error as the constructor below does; nothing half-built
    // escapes.
    Corpus(const char *bytes, std::uint32_t length, CorpusOptions options = {});
    // One corpus of several documents, each cut on its own. Between two
    // documents stands a boundary: a position that holds no token (its id is
    // noToken), so that no occurrence, continuation or label runs across it.
    // With `backwardToo` the backward index is built at once, beside the
    // forward one (on a second core where there is one). `progress` hears
    // the bytes cut of all documents' bytes (after each document, and every
    // few megabytes within one), then the directions indexed; when it asks
    // to stop, Progress::Stopped is thrown soon: cutting and every pass of
    // indexing read the flag every few hundred kilobytes or million
    // entries. Throws std::runtime_error (a one-line reason) when the
    // segmented rules are asked for and ICU's word break rules cannot be
    // loaded.
    explicit Corpus(std::span<const std::string_view> documents, CorpusOptions options = {},
                    bool backwardToo = false, const Progress &progress = {});
    // Views `stored`, both directions, keeping `owner` (what holds the
    // arrays) while it lives; requires what CorpusIndex checks when it
    // opens an index: ids and spelling ids as long as the suffix arrays,
    // each below the token table's size except at the boundaries, which
    // hold noToken as no other position does; boundaries ascending and
    // below end(); stop ids and one-byte token ids in range; a word of
    // separator bits per 64 positions; a token table as TokenTable's view
    // requires; each other layer's ids as long, its table as TokenTable's
    // view requires. The other arrays may lie (an other layer's ids too:
    // layerId's callers check them, through layerText or against the
    // layer's size): see SuffixIndex for how they are read.
    Corpus(const Stored &stored, std::shared_ptr<const void> owner);
    ~Corpus();

    Corpus(const Corpus &) = delete;
    Corpus &operator=(const Corpus &) = delete;

    // Appends the tokens of bytes[0, length) to `out`, after what it holds,
    // by the same rules that cut the corpus (used on search texts).
    static void tokenize(const char *bytes, std::uint32_t length, std::vector<std::string> &out);
    // The same by the rules `options` choose (Unicode or bytes); no folding.
    static void tokenize(const char *bytes, std::uint32_t length, std::vector<std::string> &out,
                         const CorpusOptions &options);

    // Appends the tokens of a phrase typed to search this corpus to `out`:
    // cut by its word rules, or for an annotated corpus (whose files gave
    // the tokens) split at blanks. No folding.
    void cutPhrase(std::string_view phrase, std::vector<std::string> &out) const;

    const CorpusOptions &options() const { return options_; }

    Position first() const { return 0; }
    Position end() const { return static_cast<Position>(ids_.size()); }
    // The end is never advanced: callers compare with end() first.
    static Position advance(Position p) { return p + 1; }

    // The token at p (p < end(), not a boundary) as it is spelled in the
    // text: a view of the interned bytes, valid while the corpus lives.
    // Empty at a boundary or past the end.
    std::string_view token(Position p) const { return spellings_.text(spellingId(p)); }
    // The id that searching and grouping compare (of the folded token when
    // the corpus folds case): below vocabularySize(), or noToken at a
    // boundary or past the end (a position from a damaged saved index may
    // be past it).
    TokenId tokenId(Position p) const
    {
        if (p >= ids_.size()) [[unlikely]]
            return noToken;
        return ids_[p];
    }
    // An id of the token's spelling: equal ids, equal bytes; noToken past the end.
    TokenId spellingId(Position p) const
    {
        if (p >= ids_.size()) [[unlikely]]
            return noToken;
        return spellingIds_.empty() ? ids_[p] : spellingIds_[p];
    }
    // Whether something stands between the token at p and the one before it
    // in the text: white space or any other byte that the word rules pass
    // over (under the byte rules every byte from 0x80 and the controls;
    // under the UTF-8 rules anything that is no token's, ill-formed bytes
    // included). Zero bytes do not count: the rules pass them over as if
    // they were not there, inside a word and between tokens alike. True at
    // a document's first token, at a boundary and past the end. Labels read
    // as the text writes them put one blank where this is true and none
    // where it is false ("king's house," rather than "king ' s house ,").
    bool separatedBefore(Position p) const
    {
        if (p >= ids_.size()) [[unlikely]]
            return true;
        return (separated_[p / 64] >> (p % 64)) & 1;
    }
    // The bits separatedBefore reads, contiguous: bit p % 64 of word p / 64
    // (a view, as tokenIds() is).
    std::span<const std::uint64_t> separatedBits() const { return separated_; }
    // How many tokens the corpus holds (boundaries are not tokens).
    std::uint64_t tokenCount() const { return ids_.size() - boundaries_.size(); }
    // All ids in text order, contiguous: each below vocabularySize(), or
    // noToken exactly at the boundaries (also for a saved index: checked
    // when it is opened).
    std::span<const TokenId> tokenIds() const { return ids_; }
    // The positions of the boundaries between documents, ascending.
    std::span<const Position> boundaries() const { return boundaries_; }
    // Which document holds position p (0 for the first), and where it starts.
    std::uint32_t documentOf(Position p) const;
    Position documentStart(std::uint32_t document) const { return document == 0 ? 0 : boundaries_[document - 1] + 1; }
    // The line of the token at p (p < end(), not a boundary) in its
    // document: 1 plus the line feeds (0x0A bytes) that stand before its
    // first byte in the document's bytes. Time: the log of the lines.
    std::uint64_t lineOf(Position p) const;
    // The same for positions taken in ascending order: `hint`, 0 at first,
    // carries where the previous one was found, so that each costs the log
    // of the lines passed since.
    std::uint64_t lineOf(Position p, std::size_t &hint) const;

    // Number of distinct ids; they run from 0 to vocabularySize() - 1 in
    // first-met order. When the corpus folds case, the spellings and the
    // folded forms share the ids (a token that folds to itself is both).
    std::uint32_t vocabularySize() const { return spellings_.size(); }
    // The text of an id: a token as spelled, or a folded form.
    std::string_view tokenText(TokenId id) const { return spellings_.text(id); }
    // The id of the token `text` (folded first when the corpus folds case), or noToken.
    TokenId findToken(std::string_view text) const;
    // Cuts bytes[0, length) by the corpus rules and appends the id of each
    // token to `out`; false if some token is not in the corpus (`out` then
    // holds an unspecified prefix). Makes no string per token.
    bool findTokens(const char *bytes, std::uint32_t length, std::vector<TokenId> &out) const;
    // The ids of the full stops the text holds, ascending: the tokens that a
    // continuation stops after. "." under every word rule; under the UTF-8
    // rules also the one-character marks U+3002, U+FF0E, U+FF61, U+0964 and
    // U+06D4. Empty when the text has none.
    std::span<const TokenId> stopTokens() const { return {stopTokens_.data(), stopCount_}; }
    bool isStop(TokenId id) const { return forward_.isStop(id); }
    // The ids of the sentence ends the text holds, ascending: the tokens
    // after which every branch stops when a tree is asked to stop at
    // sentence ends. ".", "!" and "?" under every word rule; under the
    // UTF-8 rules also U+3002, U+FF0E, U+FF61, U+FF01, U+FF1F, U+0964 and
    // U+06D4. The full stops (stopTokens()) are among them.
    std::span<const TokenId> sentenceEndTokens() const { return {sentenceEnds_.data(), sentenceEndCount_}; }
    bool isSentenceEnd(TokenId id) const
    {
        for (std::size_t k = 0; k < sentenceEndCount_; ++k) {
            if (sentenceEnds_[k] == id)
                return true;
        }
        return false;
    }
    // The first position in [p, limit) that holds a sentence end as `index`
    // (forward() or backward()) reads the text, or limit (at most
    // index.end()). Time: the tokens up to the next full stop, when that is
    // within a few hundred; the first call that reads that many in vain
    // lists the positions of the sentence ends that are no full stops (one
    // pass over the ids, on both cores, kept while the corpus lives), and
    // from then on every call is two binary searches. Safe to call from
    // several threads.
    Position nextSentenceEnd(const SuffixIndex &index, Position p, Position limit) const;
    // True when the `length` tokens from `start` are all printable ASCII
    // (0x20 to 0x7E), so that they, joined by blanks, are plain text. Constant
    // time while every token of the corpus is plain; otherwise it reads the span.
    bool plainSpan(Position start, std::uint32_t length) const;

    // Layers: the values each position has. A plain text has one, "word",
    // its tokens. An annotated text has the columns its files give (CoNLL-U:
    // word, lemma, pos, xpos, feats, deprel), and one of them is shown: its
    // values are what tokenId(), token() and the suffix indexes read (see
    // CorpusOptions::show). Layer ids are dense per layer; the shown layer's
    // are its spelling ids.
    std::size_t layerCount() const { return layerNames_.size(); }
    std::string_view layerName(std::size_t layer) const
    {
        return layer < layerNames_.size() ? std::string_view(layerNames_[layer]) : std::string_view();
    }
    // The layer named `name`, or noLayer.
    std::size_t findLayer(std::string_view name) const;
    std::size_t shownLayer() const { return shown_; }
    // Whether the positions came with layers of values (an annotated file)
    // rather than from cutting text.
    bool annotated() const { return annotated_; }
    // The number of ids the layer's values use (for the shown layer, also
    // its folded forms' ids); 0 for no layer.
    std::uint32_t layerSize(std::size_t layer) const;
    // How many distinct values the layer's positions hold. Time: a pass
    // over the positions for the shown layer of a folded corpus (whose ids
    // include the folded forms), constant otherwise.
    std::uint32_t layerValueCount(std::size_t layer) const;
    // Every position's id in a layer other than the shown one (empty for
    // the shown one and for no layer), for a pass over them all. The ids of
    // a saved index are unchecked: test them against layerSize.
    LayerIds layerIds(std::size_t layer) const
    {
        return layer != shown_ && layer < layers_.size() ? layers_[layer].ids : LayerIds();
    }
    // The layer's value id at p: noToken at a boundary, past the end, or for no layer.
    TokenId layerId(std::size_t layer, Position p) const
    {
        if (layer == shown_)
            return spellingId(p);
        if (layer >= layers_.size() || p >= layers_[layer].ids.size()) [[unlikely]]
            return noToken;
        return layers_[layer].ids[p];
    }
    // The text of a layer's value id; empty for an id the layer does not
    // have (noToken included). The one check every reader of layer ids goes through.
    std::string_view layerText(std::size_t layer, TokenId id) const;
    // The id of the value `text` (exactly, never folded) in the layer, or noToken.
    TokenId findLayerValue(std::size_t layer, std::string_view text) const;
    // Whether the token at p, as `index` reads the text, is the last of its
    // sentence when sentences are marked (an annotated text), or a sentence
    // end token otherwise (see sentenceEndTokens).
    bool endsSentenceAt(const SuffixIndex &index, Position p) const
    {
        return annotated_ ? index.isStopAt(p) : isSentenceEnd(index.tokenId(p));
    }
    // An annotated corpus's sentence-end bits (see Stored::sentenceEnds).
    std::span<const std::uint64_t> sentenceEndBits() const { return sentenceEndBits_; }

    // The tokens read from first to last, with their suffix array.
    const SuffixIndex &forward() const { return forward_; }
    // The tokens read from last to first; built the first time it is asked for.
    const SuffixIndex &backward() const;

    // Whether the backward index is there already (made or saved), so that
    // backward() costs nothing.
    bool hasBackward() const { return backwardMade_; }
    // The arrays, for saving; the backward index's only if hasBackward().
    Stored stored() const;

    // The inverse of `index`'s suffix array (forward() or backward()): the
    // rank of the suffix at each position, as long as the positions. A saved
    // index's own (mapped; its values may lie: a reader checks them against
    // end()); otherwise made the first time it is asked for (one pass, on
    // both cores), then kept while the corpus lives. Safe to call from
    // several threads.
    std::span<const std::uint32_t> ranks(const SuffixIndex &index) const;

    // The forward index's arrays (see SuffixIndex).
    std::span<const Position> suffixArray() const { return forward_.suffixArray(); }
    std::span<const std::uint32_t> lcpArray() const { return forward_.lcpArray(); }
    const BlockMinimum &suffixArrayMinimum() const { return forward_.suffixArrayMinimum(); }
    const BlockMinimum &lcpMinimum() const { return forward_.lcpMinimum(); }
    Position nextStop(Position p) const { return forward_.nextStop(p); }

private:
    friend class AnnotatedCorpusBuilder;
    // An empty annotated corpus, for AnnotatedCorpusBuilder to fill.
    explicit Corpus(CorpusOptions options);

    // A layer other than the shown one, as a made corpus holds it (its
    // ids a view of ownIds, ownWidth bytes each, or of a saved index).
    struct Layer {
        LayerIds ids;
        std::vector<std::byte> ownIds;
        unsigned ownWidth = 1;
        std::unique_ptr<TokenTable> tokens;
    };

    // Cuts one document's tokens onto the ids, polling `progress` within it
    // and telling it the bytes cut as cutBefore plus those of this
    // document, of cutTotal.
    void addDocument(const char *bytes, std::uint32_t length, const Progress &progress, std::uint64_t cutBefore,
                     std::uint64_t cutTotal);
    void index(bool backwardToo, const Progress &progress);

    // Points the views at the corpus's own vectors once they are made.
    void viewOwn();
    // Finds the ids of the full stops and of the sentence ends in the token table.
    void findStops();
    // Lists the positions of the sentence ends that are no full stops, once.
    void listOtherSentenceEnds() const;
    // Notes whether the position about to be added is separated from the one before.
    void noteSeparated(bool separated)
    {
        const std::size_t p = ownIds_.size();
        if (p % 64 == 0)
            ownSeparated_.push_back(0);
        ownSeparated_.back() |= std::uint64_t{separated} << (p % 64);
    }

    CorpusOptions options_;
    std::span<const TokenId> ids_;
    std::span<const TokenId> spellingIds_;  // when folding: each position's spelling
    std::span<const std::uint64_t> separated_;  // see separatedBefore
    TokenTable spellings_;                  // the tokens, and when folding their folded forms too
    std::span<const Position> boundaries_;
    // The line index: ascending positions where the line changes, each with
    // the line feeds before it in its document (0 at a boundary that starts
    // the count again); a position before the first entry, or after an
    // entry of 0, is on its document's first line.
    std::span<const Position> lineStarts_;
    std::span<const std::uint32_t> lineFeeds_;
    std::span<const std::uint64_t> lineRuns_;  // see Stored::lineRuns
    std::array<TokenId, SuffixIndex::maxStops> stopTokens_{};
    std::size_t stopCount_ = 0;
    std::array<TokenId, 10> sentenceEnds_{};
    std::size_t sentenceEndCount_ = 0;
    // The sentence ends that are no full stops ("!", "?" and their
    // fullwidth forms): their ids, and once listed their positions in text order.
    std::array<TokenId, 4> otherEnds_{};
    std::size_t otherEndCount_ = 0;
    mutable std::once_flag otherEndsOnce_;
    mutable std::atomic<bool> otherEndsListed_{false};
    mutable std::vector<Position> otherEndPositions_;
    // The layers (see layerCount): their names, and the ones not shown.
    std::vector<std::string> layerNames_{"word"};
    std::size_t shown_ = 0;
    std::vector<Layer> layers_;  // indexed by layer; the shown one's is empty
    bool annotated_ = false;
    std::span<const std::uint64_t> sentenceEndBits_;
    std::vector<std::uint64_t> ownSentenceEndBits_;
    SuffixIndex forward_;
    mutable std::once_flag ranksOnce_[2];
    mutable std::vector<std::uint32_t> ranks_[2];  // forward, backward
    mutable std::once_flag backwardOnce_;
    mutable std::unique_ptr<SuffixIndex> backward_;
    mutable bool backwardMade_ = false;

    // A made corpus's own storage, which the views above show.
    std::vector<TokenId> ownIds_;
    std::vector<TokenId> ownSpellingIds_;
    std::vector<std::uint64_t> ownSeparated_;
    std::vector<TokenId> foldedOf_;  // when folding: id -> the id of its folded form
    std::vector<Position> ownBoundaries_;
    std::vector<Position> ownLineStarts_;
    std::vector<std::uint32_t> ownLineFeeds_;
    std::vector<std::uint64_t> ownLineRuns_;
    // What holds the arrays of an opened index.
    std::shared_ptr<const void> owner_;
};
