#include "Corpus.h"

#include "HugePages.h"
#include "ParallelSegments.h"
#include "Tokenizer.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>

namespace {

// The full stops of other scripts, in UTF-8: the ideographic full stop
// U+3002, the fullwidth full stop U+FF0E, the halfwidth ideographic full
// stop U+FF61, the Devanagari danda U+0964 and the Arabic full stop U+06D4.
// Each is a mark, a token of its own, under the UTF-8 rules.
constexpr std::string_view otherScriptStops[] = {"\xE3\x80\x82", "\xEF\xBC\x8E", "\xEF\xBD\xA1", "\xE0\xA5\xA4",
                                                 "\xDB\x94"};

// The sentence ends besides the full stops, in UTF-8: "!", "?", and under
// the UTF-8 rules the fullwidth exclamation and question marks U+FF01 and
// U+FF1F.
constexpr std::string_view otherSentenceEnds[] = {"!", "?", "\xEF\xBC\x81", "\xEF\xBC\x9F"};

// Between two full stops nextSentenceEnd reads at most this many tokens
// before it lists the other sentence ends' positions once and for all.
constexpr Corpus::Position sentenceScanTokens = 256;

// While a document is cut, the stop flag is read at the first token past
// every pollBytes of it (a relaxed load every millisecond or so of the
// slowest rules), and the bytes cut are told every reportBytes.
constexpr std::uint32_t pollBytes = 256 * 1024;
constexpr std::uint32_t reportBytes = 4 * 1024 * 1024;

}  // namespace

Corpus::Corpus(const char *bytes, std::uint32_t length, CorpusOptions options) : options_(options)
{
    // A text has at most one token per byte. Reserving that once spares the
    // copies of growing; the capacity that the tokens do not reach is never
    // touched, so it takes address space, not memory.
    reserveOnHugePages(ownIds_, length);
    ownSeparated_.reserve(length / 64 + 1);
    addDocument(bytes, length, Progress(), 0, length);
    viewOwn();
    index(false, Progress());
}

Corpus::Corpus(std::span<const std::string_view> documents, CorpusOptions options, bool backwardToo,
               const Progress &progress)
    : options_(options)
{
    std::uint64_t total = documents.empty() ? 0 : documents.size() - 1;
    for (std::string_view document : documents)
        total += document.size();
    if (total >= std::numeric_limits<Position>::max())
        throw std::length_error("the text has more bytes than token positions can number");
    reserveOnHugePages(ownIds_, total);
    ownSeparated_.reserve(total / 64 + 1);
    const std::uint64_t bytes = total - (documents.empty() ? 0 : documents.size() - 1);
    std::uint64_t cut = 0;
    for (std::size_t d = 0; d < documents.size(); ++d) {
        progress.throwIfStopped();
        if (d > 0) {
            // Each document counts its lines from the first.
            if (!ownLineFeeds_.empty() && ownLineFeeds_.back() != 0) {
                ownLineStarts_.push_back(static_cast<Position>(ownIds_.size()));
                ownLineFeeds_.push_back(0);
            }
            ownBoundaries_.push_back(static_cast<Position>(ownIds_.size()));
            noteSeparated(true);
            ownIds_.push_back(noToken);
            if (options_.foldCase)
                ownSpellingIds_.push_back(noToken);
        }
        addDocument(documents[d].data(), static_cast<std::uint32_t>(documents[d].size()), progress, cut, bytes);
        cut += documents[d].size();
        progress.report(Progress::Stage::Cutting, cut, bytes);
    }
    viewOwn();
    index(backwardToo, progress);
}

Corpus::Corpus(const Stored &stored, std::shared_ptr<const void> owner)
    : options_(stored.options), ids_(stored.ids), spellingIds_(stored.spellingIds), separated_(stored.separated),
      spellings_(stored.tokens),
      boundaries_(stored.boundaries), lineStarts_(stored.lineStarts), lineFeeds_(stored.lineFeeds),
      lineRuns_(stored.lineRuns),
      sentenceEndBits_(stored.sentenceEnds), forward_(stored.forward, stored.sentenceEnds), owner_(std::move(owner))
{
    if (!stored.layers.empty()) {
        annotated_ = true;
        layerNames_.clear();
        layers_.resize(stored.layers.size());
        for (std::size_t k = 0; k < stored.layers.size(); ++k) {
            layerNames_.emplace_back(stored.layers[k].name);
            // The shown layer is the one whose values are the tokens'.
            if (stored.layers[k].tokens.offsets.empty()) {
                shown_ = k;
                continue;
            }
            layers_[k].ids = stored.layers[k].ids;
            layers_[k].tokens = std::make_unique<TokenTable>(stored.layers[k].tokens);
        }
    }
    // The sentence ends are looked up in the token table; the full stops
    // kept are the saved ones, which the saved stop positions hold (a sound
    // index gives the same ids either way).
    findStops();
    stopCount_ = std::min(stored.stopIds.size(), stopTokens_.size());
    std::copy_n(stored.stopIds.begin(), stopCount_, stopTokens_.begin());
    // A saved corpus has both directions.
    backward_ = std::make_unique<SuffixIndex>(stored.backward, stored.sentenceEnds);
    backwardMade_ = true;
    std::call_once(backwardOnce_, [] {});
}

Corpus::Corpus(CorpusOptions options) : options_(std::move(options)), annotated_(true) {}

Corpus::~Corpus() = default;

std::size_t Corpus::findLayer(std::string_view name) const
{
    for (std::size_t k = 0; k < layerNames_.size(); ++k) {
        if (layerNames_[k] == name)
            return k;
    }
    return noLayer;
}

std::uint32_t Corpus::layerSize(std::size_t layer) const
{
    if (layer == shown_)
        return vocabularySize();
    return layer < layers_.size() && layers_[layer].tokens ? layers_[layer].tokens->size() : 0;
}

std::uint32_t Corpus::layerValueCount(std::size_t layer) const
{
    if (layer != shown_ || spellingIds_.empty())
        return layerSize(layer);
    std::vector<bool> seen(vocabularySize(), false);
    std::uint32_t count = 0;
    for (const TokenId id : spellingIds_) {
        if (id < seen.size() && !seen[id]) {
            seen[id] = true;
            ++count;
        }
    }
    return count;
}

std::string_view Corpus::layerText(std::size_t layer, TokenId id) const
{
    if (layer == shown_)
        return spellings_.text(id);
    if (layer >= layers_.size() || !layers_[layer].tokens)
        return {};
    return layers_[layer].tokens->text(id);
}

Corpus::TokenId Corpus::findLayerValue(std::size_t layer, std::string_view text) const
{
    if (layer == shown_)
        return spellings_.find(text);
    if (layer >= layers_.size() || !layers_[layer].tokens)
        return noToken;
    return layers_[layer].tokens->find(text);
}

void Corpus::viewOwn()
{
    ids_ = ownIds_;
    spellingIds_ = ownSpellingIds_;
    separated_ = ownSeparated_;
    boundaries_ = ownBoundaries_;
    lineStarts_ = ownLineStarts_;
    lineFeeds_ = ownLineFeeds_;
    lineRuns_ = ownLineRuns_;
}

Corpus::Stored Corpus::stored() const
{
    Stored stored{options_,    ids_,        spellingIds_,      separated_, spellings_.stored(), boundaries_,
                  lineStarts_, lineFeeds_, stopTokens(), forward_.stored(), {},       {},
                  {}};
    stored.lineRuns = lineRuns_;
    if (backwardMade_)
        stored.backward = backward_->stored();
    if (annotated_) {
        for (std::size_t k = 0; k < layerNames_.size(); ++k) {
            if (k == shown_)
                stored.layers.push_back({layerNames_[k], {}, {}});
            else
                stored.layers.push_back({layerNames_[k], layers_[k].ids, layers_[k].tokens->stored()});
        }
        stored.sentenceEnds = sentenceEndBits_;
    }
    return stored;
}

void Corpus::addDocument(const char *bytes, std::uint32_t length, const Progress &progress, std::uint64_t cutBefore,
                         std::uint64_t cutTotal)
{
    // The line index: the next line feed is found ahead of the tokens, so a
    // token costs one compare; one that starts past it has moved to a later
    // line, and the position notes how many line feeds stand before it.
    // The same compare finds the tokens where the stop is polled: a token
    // past either place takes the slow way, which sees to both.
    constexpr std::uint32_t noFeed = UINT32_MAX;
    const auto feedFrom = [&](std::uint32_t from) {
        const void *found = from < length ? std::memchr(bytes + from, '\n', length - from) : nullptr;
        return found ? static_cast<std::uint32_t>(static_cast<const char *>(found) - bytes) : noFeed;
    };
    const auto after = [](std::uint32_t start, std::uint32_t bytes) {
        return start < UINT32_MAX - bytes ? start + bytes : UINT32_MAX;
    };
    std::uint32_t nextFeed = feedFrom(0);
    std::uint32_t feeds = 0;
    std::uint32_t nextPoll = pollBytes;
    std::uint32_t nextReport = reportBytes;
    std::uint32_t nextEvent = std::min(nextFeed, nextPoll);
    const auto noteLine = [&](std::uint32_t start) {
        do {
            ++feeds;
            nextFeed = feedFrom(nextFeed + 1);
        } while (nextFeed < start);
        ownLineStarts_.push_back(static_cast<Position>(ownIds_.size()));
        ownLineFeeds_.push_back(feeds);
    };
    const auto poll = [&](std::uint32_t start) {
        progress.throwIfStopped();
        if (start >= nextReport) {
            progress.report(Progress::Stage::Cutting, cutBefore + start, cutTotal);
            nextReport = after(start, reportBytes);
        }
        nextPoll = after(start, pollBytes);
    };
    const auto passed = [&](std::uint32_t start) __attribute__((noinline)) {
        if (start > nextFeed)
            noteLine(start);
        if (start > nextPoll)
            poll(start);
        nextEvent = std::min(nextFeed, nextPoll);
    };
    const auto track = [&](std::uint32_t start) __attribute__((always_inline)) {
        if (start > nextEvent) [[unlikely]]
            passed(start);
    };
    // What separates a token from the one before: the bytes between the
    // end of that one and its start, zero bytes aside. Mostly there are
    // none or a blank, so the byte before the start tells; only a zero
    // byte there needs a look at the rest. A word gathered across zero
    // bytes is longer in the text than it is: its end is found by counting
    // its bytes off the text. The document's first token has no token
    // before it (previousEnd lies past every start).
    //
    // The bits gather in a word of their own, stored every 64 positions:
    // a store per token would cost the cutting a sixth of its time.
    std::uint32_t previousEnd = UINT32_MAX;
    unsigned fill = ownIds_.size() % 64;
    std::uint64_t bits = 0;
    if (fill != 0) {
        bits = ownSeparated_.back();
        ownSeparated_.pop_back();
    }
    const auto separate = [&](std::string_view token, std::uint32_t start) __attribute__((always_inline)) {
        bool separated = start != previousEnd;
        if (separated & (bytes[start - (start > 0)] == 0)) [[unlikely]]
            separated = previousEnd > start
                        || std::any_of(bytes + previousEnd, bytes + start, [](char c) { return c != 0; });
        bits |= std::uint64_t{separated} << fill;
        if (++fill == 64) [[unlikely]] {
            ownSeparated_.push_back(bits);
            bits = 0;
            fill = 0;
        }
        previousEnd = start + static_cast<std::uint32_t>(token.size());
        if (token.data() != bytes + start) [[unlikely]] {
            previousEnd = start;
            for (std::size_t held = 0; held < token.size(); ++previousEnd)
                held += bytes[previousEnd] != 0;
        }
    };
    const auto storeLastBits = [&] {
        if (fill != 0)
            ownSeparated_.push_back(bits);
    };
    const std::atomic<bool> *stop = progress.stopFlag();
    std::string word;
    if (!options_.foldCase) {
        forEachTokenSharingCores(options_, bytes, length, word, stop,
                                 [&](std::string_view token, std::uint32_t start) __attribute__((always_inline)) {
                                     track(start);
                                     separate(token, start);
                                     ownIds_.push_back(spellings_.intern(token));
                                 });
        storeLastBits();
        return;
    }
    // Folded ids for searching and grouping, spellings for the labels: each
    // new spelling is folded once.
    reserveOnHugePages(ownSpellingIds_, ownIds_.capacity());
    std::string folded;
    forEachTokenSharingCores(options_, bytes, length, word, stop, [&](std::string_view token, std::uint32_t start) {
        track(start);
        separate(token, start);
        const TokenId spelling = spellings_.intern(token);
        if (spelling == foldedOf_.size()) {
            // A new spelling: its folded form is itself, or another id of the
            // same table (made now if the text has not had it yet).
            folded.clear();
            appendFolded(token, options_.utf8(), folded);
            foldedOf_.push_back(spelling);
            if (folded != token) {
                const TokenId form = spellings_.intern(folded);
                if (form == foldedOf_.size())
                    foldedOf_.push_back(form);
                foldedOf_[spelling] = form;
            }
        }
        ownSpellingIds_.push_back(spelling);
        ownIds_.push_back(foldedOf_[spelling]);
    });
    storeLastBits();
}

void Corpus::findStops()
{
    stopCount_ = sentenceEndCount_ = otherEndCount_ = 0;
    // An annotated text marks its sentence ends itself; a "." there is a
    // value like any other.
    if (annotated_)
        return;
    const auto add = [this](std::string_view mark, bool fullStop) {
        const TokenId id = findToken(mark);
        if (id == noToken)
            return;
        (fullStop ? stopTokens_[stopCount_++] : otherEnds_[otherEndCount_++]) = id;
        sentenceEnds_[sentenceEndCount_++] = id;
    };
    // The byte rules keep ".", "!" and "?" alone.
    add(".", true);
    for (std::size_t k = 0; k < std::size(otherSentenceEnds); ++k) {
        if (k < 2 || options_.utf8())
            add(otherSentenceEnds[k], false);
    }
    if (options_.utf8()) {
        for (const std::string_view mark : otherScriptStops)
            add(mark, true);
    }
    std::sort(stopTokens_.begin(), stopTokens_.begin() + static_cast<std::ptrdiff_t>(stopCount_));
    std::sort(sentenceEnds_.begin(), sentenceEnds_.begin() + static_cast<std::ptrdiff_t>(sentenceEndCount_));
}

Corpus::Position Corpus::nextSentenceEnd(const SuffixIndex &index, Position p, Position limit) const
{
    limit = std::min(limit, index.end());
    if (p >= limit)
        return limit;
    // The full stops' positions are listed already; the other sentence ends
    // are looked for before the next one. (A saved index's stops may lie:
    // what they say is kept within [p, limit].)
    const Position stop = std::clamp(index.nextStop(p), p, limit);
    if (otherEndCount_ == 0)
        return stop;
    if (!otherEndsListed_.load(std::memory_order_acquire)) {
        const Position until = stop - p > sentenceScanTokens ? p + sentenceScanTokens : stop;
        for (Position q = p; q < until; ++q) {
            const TokenId id = index.tokenId(q);
            for (std::size_t k = 0; k < otherEndCount_; ++k) {
                if (otherEnds_[k] == id)
                    return q;
            }
        }
        if (until == stop)
            return stop;
        listOtherSentenceEnds();
    }
    const std::vector<Position> &ends = otherEndPositions_;
    Position other = limit;
    if (!index.reversed()) {
        const auto next = std::lower_bound(ends.begin(), ends.end(), p);
        if (next != ends.end())
            other = *next;
    } else {
        // Read backwards, position p is the text's n - 1 - p: the end sought
        // is the last at or before it in the text.
        const Position n = index.end();
        const auto next = std::upper_bound(ends.begin(), ends.end(), n - 1 - p);
        if (next != ends.begin())
            other = n - 1 - *(next - 1);
    }
    return std::min(other, stop);
}

void Corpus::listOtherSentenceEnds() const
{
    std::call_once(otherEndsOnce_, [this] {
        // In two halves, one per core, joined in order. An exception may not
        // leave a parallel region, so each is carried out of it.
        const std::span<const TokenId> ids = ids_;
        const std::size_t half = ids.size() / 2;
        std::vector<Position> parts[2];
        std::exception_ptr failed[2];
#if defined(_OPENMP)
#pragma omp parallel for num_threads(2)
#endif
        for (int part = 0; part < 2; ++part) {
            try {
                const std::size_t from = part == 0 ? 0 : half, to = part == 0 ? half : ids.size();
                for (std::size_t q = from; q < to; ++q) {
                    const TokenId id = ids[q];
                    for (std::size_t k = 0; k < otherEndCount_; ++k) {
                        if (otherEnds_[k] == id)
                            parts[part].push_back(static_cast<Position>(q));
                    }
                }
            } catch (...) {
                failed[part] = std::current_exception();
            }
        }
        for (const std::exception_ptr &failure : failed) {
            if (failure)
                std::rethrow_exception(failure);
        }
        otherEndPositions_ = std::move(parts[0]);
        otherEndPositions_.insert(otherEndPositions_.end(), parts[1].begin(), parts[1].end());
        otherEndsListed_.store(true, std::memory_order_release);
    });
}

void Corpus::index(bool backwardToo, const Progress &progress)
{
    const std::atomic<bool> *stop = progress.stopFlag();
    findStops();
    const std::span<const TokenId> fullStops = stopTokens();
    // The indexes that let a phrase tree be built without walking the text.
    const std::uint64_t directions = backwardToo ? 2 : 1;
    progress.report(Progress::Stage::Sorting, 0, directions);
    if (!backwardToo) {
        forward_ = SuffixIndex(ids_, vocabularySize(), fullStops, boundaries_, false, stop, sentenceEndBits_);
        progress.report(Progress::Stage::Sorting, 1, 1);
        return;
    }
    // The two directions are independent: one core each. An exception may
    // not leave a parallel region, so each is carried out of it.
    std::exception_ptr failed[2];
#if defined(_OPENMP)
#pragma omp parallel sections num_threads(2)
#endif
    {
#if defined(_OPENMP)
#pragma omp section
#endif
        try {
            forward_ = SuffixIndex(ids_, vocabularySize(), fullStops, boundaries_, false, stop, sentenceEndBits_);
        } catch (...) {
            failed[0] = std::current_exception();
        }
#if defined(_OPENMP)
#pragma omp section
#endif
        try {
            backward_ = std::make_unique<SuffixIndex>(ids_, vocabularySize(), fullStops, boundaries_, true, stop, sentenceEndBits_);
        } catch (...) {
            failed[1] = std::current_exception();
        }
    }
    for (const std::exception_ptr &failure : failed) {
        if (failure)
            std::rethrow_exception(failure);
    }
    progress.report(Progress::Stage::Sorting, 2, 2);
    std::call_once(backwardOnce_, [] {});  // made already
    backwardMade_ = true;
}

std::span<const std::uint32_t> Corpus::ranks(const SuffixIndex &index) const
{
    // A saved index holds them: mapped, a question reads only its matches' pages.
    if (!index.savedRanks().empty())
        return index.savedRanks();
    const int which = index.reversed() ? 1 : 0;
    std::call_once(ranksOnce_[which], [this, &index, which] {
        const std::span<const Position> sa = index.suffixArray();
        std::vector<std::uint32_t> &ranks = ranks_[which];
        ranks.assign(index.end(), 0);
        const auto n = static_cast<std::int64_t>(sa.size());
        // A saved index's entry past the end names no position to rank.
#if defined(_OPENMP)
#pragma omp parallel for num_threads(2) schedule(static)
#endif
        for (std::int64_t i = 0; i < n; ++i) {
            const Position p = sa[static_cast<std::size_t>(i)];
            if (p < ranks.size())
                ranks[p] = static_cast<std::uint32_t>(i);
        }
    });
    return ranks_[which];
}

std::uint32_t Corpus::documentOf(Position p) const
{
    return static_cast<std::uint32_t>(std::upper_bound(boundaries_.begin(), boundaries_.end(), p) - boundaries_.begin());
}

std::uint64_t Corpus::lineOf(Position p) const
{
    std::size_t hint = 0;
    return lineOf(p, hint);
}

std::uint64_t Corpus::lineOf(Position p, std::size_t &hint) const
{
    // The last entry at or before p holds the line feeds before p in its
    // document. Searched for from the hint, in steps that double, so that a
    // walk over ascending positions costs the log of the lines it passes.
    const std::size_t n = lineStarts_.size();
    std::size_t low = 0, high = n;  // the entry sought is the last below `high` whose start is <= p
    if (hint < n && lineStarts_[hint] <= p) {
        low = hint;
        high = low + 1;
        for (std::size_t step = 2; high < n && lineStarts_[high] <= p; step *= 2) {
            low = high;
            high = low + step;
        }
        high = std::min(high, n);
    }
    const auto after = std::upper_bound(lineStarts_.begin() + static_cast<std::ptrdiff_t>(low),
                                        lineStarts_.begin() + static_cast<std::ptrdiff_t>(high), p);
    if (after == lineStarts_.begin()) {
        hint = 0;
        return 1;
    }
    hint = static_cast<std::size_t>(after - lineStarts_.begin()) - 1;
    const bool run = hint / 64 < lineRuns_.size() && (lineRuns_[hint / 64] >> (hint % 64) & 1) != 0;
    return std::uint64_t{lineFeeds_[hint]} + 1 + (run ? p - lineStarts_[hint] : 0);
}

const SuffixIndex &Corpus::backward() const
{
    std::call_once(backwardOnce_, [this] {
        backward_ = std::make_unique<SuffixIndex>(ids_, vocabularySize(), stopTokens(), boundaries_, true, nullptr,
                                                  sentenceEndBits_);
        backwardMade_ = true;
    });
    return *backward_;
}

void Corpus::tokenize(const char *bytes, std::uint32_t length, std::vector<std::string> &out)
{
    std::string word;
    forEachToken(bytes, length, word, [&out](std::string_view token) { out.emplace_back(token); });
}

void Corpus::tokenize(const char *bytes, std::uint32_t length, std::vector<std::string> &out,
                      const CorpusOptions &options)
{
    std::string word;
    forEachTokenOf(options, bytes, length, word, [&out](std::string_view token) { out.emplace_back(token); });
}

namespace {

// Cuts bytes[0, length) by the rules of `options` and looks each token up in
// `table`, folded first when `fold`, a compile-time choice so that the byte
// rules' lookups pay nothing for folding. See Corpus::findTokens.
template <bool fold>
bool lookUpTokens(const TokenTable &table, const CorpusOptions &options, const char *bytes, std::uint32_t length,
                  std::vector<Corpus::TokenId> &out)
{
    using TokenId = Corpus::TokenId;
    constexpr TokenId noToken = Corpus::noToken;
    // A long search text (a clicked label can be the whole text) of a large
    // vocabulary has its tokens' slots scattered over a table larger than
    // the caches. They are then looked up in batches: while a batch is cut,
    // each token's slot is prefetched, so that the cache misses overlap
    // instead of following one another. A table that stays in the cache is
    // faster without the bookkeeping.
    struct Pending {
        std::string_view text;  // or, for a folded token, its place in `folded`
        std::size_t foldedAt;
        std::uint32_t hash;
        std::size_t at;  // index in out
    };
    constexpr std::size_t batchSize = 32;
    constexpr std::size_t notFolded = SIZE_MAX;
    Pending batch[batchSize];
    std::size_t pending = 0;
    std::string folded;  // the folded tokens of the batch, back to back
    const auto textOf = [&](const Pending &p) {
        if constexpr (fold) {
            if (p.foldedAt != notFolded)
                return std::string_view(folded).substr(p.foldedAt, p.text.size());
        }
        return p.text;
    };
    const auto lookUpBatch = [&]() {
        for (std::size_t k = 0; k < pending; ++k) {
            const TokenId id = table.lookUp(textOf(batch[k]), batch[k].hash);
            if (id == noToken)
                return false;
            out[batch[k].at] = id;
        }
        pending = 0;
        folded.clear();
        return true;
    };

    // Most texts have at most one token per two bytes; the capacity that the
    // tokens do not reach is never touched.
    out.reserve(out.size() + length / 2 + 1);
    const bool batched = table.large();
    bool found = true;
    std::string word;
    forEachTokenOf(options, bytes, length, word, [&](std::string_view token) __attribute__((always_inline)) {
        if (token.size() == 1) {
            // Every one-byte token is ASCII and has its own slot; folding
            // changes only its letters.
            auto byte = static_cast<unsigned char>(token[0]);
            if (fold && byte >= 'A' && byte <= 'Z')
                byte += 'a' - 'A';
            const TokenId id = table.findSingle(byte);
            out.push_back(id);
            return found = id != noToken;
        }
        Pending entry{token, notFolded, 0, out.size()};
        if constexpr (fold) {
            // Most tokens fold to themselves; only the others are copied.
            const bool plainLower = !options.utf8() && std::none_of(token.begin(), token.end(), [](char c) {
                return c >= 'A' && c <= 'Z';
            });
            if (!plainLower || token.data() == word.data()) {
                entry.foldedAt = folded.size();
                appendFolded(token, options.utf8(), folded);
                entry.text = std::string_view(folded).substr(entry.foldedAt);
            }
        }
        entry.hash = TokenTable::hashOf(entry.text);
        out.push_back(noToken);
        if (!batched || (!fold && token.data() == word.data())) {
            // A token gathered across a zero byte is in storage that the next one reuses.
            out.back() = table.lookUp(entry.text, entry.hash);
            if (entry.foldedAt != notFolded)
                folded.resize(entry.foldedAt);
            return found = out.back() != noToken;
        }
        table.prefetch(entry.hash);
        batch[pending++] = entry;
        return found = pending < batchSize || lookUpBatch();
    });
    return found && lookUpBatch();
}

}  // namespace

void Corpus::cutPhrase(std::string_view phrase, std::vector<std::string> &out) const
{
    if (!annotated_) {
        tokenize(phrase.data(), static_cast<std::uint32_t>(phrase.size()), out, options_);
        return;
    }
    for (std::size_t at = 0; (at = phrase.find_first_not_of(" \t\n\r\f\v", at)) != std::string_view::npos;) {
        const std::size_t end = std::min(phrase.find_first_of(" \t\n\r\f\v", at), phrase.size());
        out.emplace_back(phrase.substr(at, end - at));
        at = end;
    }
}

bool Corpus::findTokens(const char *bytes, std::uint32_t length, std::vector<TokenId> &out) const
{
    if (annotated_) {
        // The file gave the tokens: a phrase is split at blanks only.
        const std::string_view text(bytes, length);
        std::size_t at = 0;
        while (true) {
            at = text.find_first_not_of(" \t\n\r\f\v", at);
            if (at == std::string_view::npos)
                return true;
            const std::size_t end = std::min(text.find_first_of(" \t\n\r\f\v", at), text.size());
            out.push_back(findToken(text.substr(at, end - at)));
            if (out.back() == noToken)
                return false;
            at = end;
        }
    }
    return options_.foldCase ? lookUpTokens<true>(spellings_, options_, bytes, length, out)
                             : lookUpTokens<false>(spellings_, options_, bytes, length, out);
}

bool Corpus::plainSpan(Position start, std::uint32_t length) const
{
    if (spellings_.allPlain())
        return true;
    for (std::uint32_t i = 0; i < length; ++i) {
        for (const unsigned char c : token(start + i)) {
            if (c < 0x20 || c > 0x7E)
                return false;
        }
    }
    return true;
}

Corpus::TokenId Corpus::findToken(std::string_view text) const
{
    if (!options_.foldCase)
        return spellings_.find(text);
    std::string folded;
    appendFolded(text, options_.utf8() || annotated_, folded);
    return spellings_.find(folded);
}
