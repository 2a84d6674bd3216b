#include "AnnotatedCorpusBuilder.h"

#include "HugePages.h"
#include "Tokenizer.h"
#include "UnicodeTokens.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// The value of a layer a file does not have, as CoNLL-U writes an empty field.
constexpr std::string_view missingValue = "_";

void setBit(std::vector<std::uint64_t> &bits, std::uint64_t p, bool value)
{
    if (p % 64 == 0)
        bits.push_back(0);
    bits.back() |= std::uint64_t{value} << (p % 64);
}

template <typename Narrow>
Narrow narrowed(std::uint32_t id)
{
    return id == Corpus::noToken ? static_cast<Narrow>(~Narrow{0}) : static_cast<Narrow>(id);
}

template <typename Narrow>
void appendNarrow(std::vector<std::byte> &bytes, std::uint32_t id)
{
    const Narrow value = narrowed<Narrow>(id);
    const std::size_t at = bytes.size();
    bytes.resize(at + sizeof value);
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Appends `id` (noToken at a boundary) to a layer's ids, widening all of
// them first when it does not fit: at most twice a layer, so a layer of a
// few values keeps a byte a position.
void pushLayerId(std::vector<std::byte> &bytes, unsigned &width, std::uint32_t id)
{
    if (id != Corpus::noToken && id > LayerIds::largestFor(width)) {
        const unsigned wider = id > LayerIds::largestFor(2) ? 4 : 2;
        const LayerIds old(bytes, width);
        std::vector<std::byte> widened;
        widened.reserve(std::max(bytes.capacity() / width * wider, old.size() * wider + wider));
        for (std::size_t p = 0; p < old.size(); ++p)
            wider == 2 ? appendNarrow<std::uint16_t>(widened, old[p]) : appendNarrow<std::uint32_t>(widened, old[p]);
        bytes = std::move(widened);
        width = wider;
    }
    switch (width) {
    case 1: bytes.push_back(static_cast<std::byte>(narrowed<std::uint8_t>(id))); break;
    case 2: appendNarrow<std::uint16_t>(bytes, id); break;
    default: appendNarrow<std::uint32_t>(bytes, id); break;
    }
}

}  // namespace

namespace {

// Annotated files are UTF-8: a plain text among them is read as UTF-8 too,
// by the Unicode rules unless the segmented ones are asked for.
CorpusOptions utf8(CorpusOptions options)
{
    if (options.words == WordRules::Bytes)
        options.words = WordRules::Unicode;
    return options;
}

}  // namespace

AnnotatedCorpusBuilder::AnnotatedCorpusBuilder(CorpusOptions options)
    : corpus_(new Corpus(utf8(std::move(options))))
{
    corpus_->layerNames_.clear();
    corpus_->shown_ = Corpus::noLayer;
}

AnnotatedCorpusBuilder::~AnnotatedCorpusBuilder() = default;

std::size_t AnnotatedCorpusBuilder::layerFor(const std::string &name)
{
    Corpus &c = *corpus_;
    const std::size_t found = c.findLayer(name);
    if (found != Corpus::noLayer)
        return found;
    const std::size_t layer = c.layerNames_.size();
    c.layerNames_.push_back(name);
    c.layers_.emplace_back();
    if (name == c.options_.shownLayer()) {
        c.shown_ = layer;
        shownNamed_ = true;
    } else {
        c.layers_[layer].tokens = std::make_unique<TokenTable>();
    }
    // The positions so far had no value in this layer.
    const std::span<const Corpus::Position> boundaries = c.ownBoundaries_;
    std::size_t next = 0;
    for (std::uint64_t p = 0; p < positions_; ++p) {
        if (next < boundaries.size() && boundaries[next] == p) {
            ++next;
            pushBoundaryValue(layer);
        } else {
            pushValue(layer, missingValue);
        }
    }
    filled_.resize(c.layerNames_.size(), 1);
    return layer;
}

void AnnotatedCorpusBuilder::pushValue(std::size_t layer, std::string_view value)
{
    Corpus &c = *corpus_;
    if (layer != c.shown_) {
        Corpus::Layer &other = c.layers_[layer];
        pushLayerId(other.ownIds, other.ownWidth, other.tokens->intern(value));
        return;
    }
    const Corpus::TokenId spelling = c.spellings_.intern(value);
    if (!c.options_.foldCase) {
        c.ownIds_.push_back(spelling);
        return;
    }
    // As a plain text folds: each new spelling once, its folded form another
    // id of the same table.
    if (spelling == c.foldedOf_.size()) {
        folded_.clear();
        appendFolded(value, true, folded_);
        c.foldedOf_.push_back(spelling);
        if (folded_ != value) {
            const Corpus::TokenId form = c.spellings_.intern(folded_);
            if (form == c.foldedOf_.size())
                c.foldedOf_.push_back(form);
            c.foldedOf_[spelling] = form;
        }
    }
    c.ownSpellingIds_.push_back(spelling);
    c.ownIds_.push_back(c.foldedOf_[spelling]);
}

void AnnotatedCorpusBuilder::pushBoundaryValue(std::size_t layer)
{
    Corpus &c = *corpus_;
    if (layer != c.shown_) {
        pushLayerId(c.layers_[layer].ownIds, c.layers_[layer].ownWidth, Corpus::noToken);
        return;
    }
    c.ownIds_.push_back(Corpus::noToken);
    if (c.options_.foldCase)
        c.ownSpellingIds_.push_back(Corpus::noToken);
}

void AnnotatedCorpusBuilder::addBoundary()
{
    beginPosition(true, true, 1);
    for (std::size_t layer = 0; layer < corpus_->layerNames_.size(); ++layer)
        pushBoundaryValue(layer);
}

void AnnotatedCorpusBuilder::beginPosition(bool boundary, bool separated, std::uint64_t line)
{
    Corpus &c = *corpus_;
    if (positions_ >= std::numeric_limits<Corpus::Position>::max())
        throw std::length_error("the files hold more tokens than token positions can number");
    const auto p = static_cast<Corpus::Position>(positions_);
    setBit(c.ownSeparated_, p, separated || boundary);
    setBit(c.ownSentenceEndBits_, p, false);
    if (boundary) {
        c.ownBoundaries_.push_back(p);
    } else {
        addLine(p, line);
    }
    ++positions_;
}

void AnnotatedCorpusBuilder::addLine(Corpus::Position p, std::uint64_t line)
{
    // A file of a token a line would need an entry a token: one entry
    // stands for a run of them instead, and one for tokens that share a line.
    Corpus &c = *corpus_;
    const bool follows = p > 0 && lastLinePosition_ == p - 1;
    const std::size_t k = c.ownLineStarts_.size() - 1;
    const bool run = follows && (c.ownLineRuns_[k / 64] >> (k % 64) & 1) != 0;
    const std::uint64_t previous = lastLine_;
    lastLinePosition_ = p;
    lastLine_ = line;
    if (follows && line == previous + (run ? 1 : 0))
        return;
    if (follows && line == previous + 1 && c.ownLineStarts_[k] == p - 1) {
        c.ownLineRuns_[k / 64] |= std::uint64_t{1} << (k % 64);
        return;
    }
    setBit(c.ownLineRuns_, c.ownLineStarts_.size(), false);
    c.ownLineStarts_.push_back(p);
    c.ownLineFeeds_.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(line - 1, UINT32_MAX - 1)));
}

void AnnotatedCorpusBuilder::startFile(std::span<const std::string> layers)
{
    fileLayers_.clear();
    for (const std::string &name : layers)
        fileLayers_.push_back(layerFor(name));
    if (files_ > 0)
        addBoundary();  // nothing runs from one file into the next
    documentFiles_.push_back(files_++);
    documentEmpty_ = true;
}

void AnnotatedCorpusBuilder::startDocument()
{
    if (documentEmpty_)
        return;
    addBoundary();
    documentFiles_.push_back(files_ - 1);
    documentEmpty_ = true;
}

void AnnotatedCorpusBuilder::token(std::span<const std::string_view> values, bool separated, std::uint64_t line)
{
    Corpus &c = *corpus_;
    beginPosition(false, separated, line);
    documentEmpty_ = false;
    const std::size_t given = std::min(values.size(), fileLayers_.size());
    for (std::size_t k = 0; k < given; ++k)
        pushValue(fileLayers_[k], values[k]);
    if (given == c.layerNames_.size())
        return;
    // Layers this file (or this line) does not give.
    std::fill(filled_.begin(), filled_.end(), 0);
    for (std::size_t k = 0; k < given; ++k)
        filled_[fileLayers_[k]] = 1;
    for (std::size_t layer = 0; layer < c.layerNames_.size(); ++layer) {
        if (!filled_[layer])
            pushValue(layer, missingValue);
    }
}

void AnnotatedCorpusBuilder::endSentence()
{
    if (documentEmpty_ || positions_ == 0)
        return;
    const std::uint64_t p = positions_ - 1;
    corpus_->ownSentenceEndBits_[p / 64] |= std::uint64_t{1} << (p % 64);
}

void AnnotatedCorpusBuilder::addPlainFile(std::string_view bytes, const Progress &progress)
{
    static const std::string word = "word";
    startFile(std::span<const std::string>(&word, 1));
    // Lines are counted as the tokens pass them.
    std::uint64_t line = 1;
    std::uint32_t counted = 0, previousEnd = UINT32_MAX;
    std::string gathered;
    std::uint32_t nextPoll = 1 << 20;
    forEachTokenOf(corpus_->options_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), gathered,
                   [&](std::string_view token, std::uint32_t start) {
                       if (start > nextPoll) {
                           progress.throwIfStopped();
                           nextPoll = start + (1 << 20);
                       }
                       line += static_cast<std::uint64_t>(
                           std::count(bytes.begin() + counted, bytes.begin() + start, '\n'));
                       counted = start;
                       const std::string_view value = token;
                       this->token(std::span<const std::string_view>(&value, 1), start != previousEnd, line);
                       previousEnd = start + static_cast<std::uint32_t>(token.size());
                   });
}

std::unique_ptr<Corpus> AnnotatedCorpusBuilder::finish(bool backwardToo, const Progress &progress)
{
    Corpus &c = *corpus_;
    if (!shownNamed_) {
        std::string names;
        for (const std::string &name : c.layerNames_)
            names += (names.empty() ? "" : ", ") + name;
        throw std::runtime_error("no layer is named \"" + std::string(c.options_.shownLayer()) + "\"; the layers are: "
                                 + (names.empty() ? std::string("none") : names));
    }
    c.viewOwn();
    for (Corpus::Layer &layer : c.layers_)
        layer.ids = LayerIds(layer.ownIds, layer.ownWidth);
    // Lemmas and tags are read as a list, one blank between values; only
    // the words keep the text's spacing.
    if (c.options_.shownLayer() != "word") {
        std::fill(c.ownSeparated_.begin(), c.ownSeparated_.end(), ~std::uint64_t{0});
        if (positions_ % 64 != 0)
            c.ownSeparated_.back() = (std::uint64_t{1} << (positions_ % 64)) - 1;  // none past the last position
    }
    c.sentenceEndBits_ = c.ownSentenceEndBits_;
    c.index(backwardToo, progress);
    return std::move(corpus_);
}
