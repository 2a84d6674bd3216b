#include "Vocabulary.h"

#include "Progress.h"

#include <algorithm>
#include <numeric>

template <typename Text>
void Vocabulary::addCounted(const std::vector<std::uint32_t> &counts, Text &&text, const std::atomic<bool> *stop)
{
    const auto throwIfStopped = [stop] {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            throw Progress::Stopped();
    };
    // A token's strings cost a microsecond or so; a segmented corpus has millions.
    for (Corpus::TokenId id = 0; id < counts.size(); ++id) {
        if (id % 4096 == 0)
            throwIfStopped();
        if (counts[id] == 0)
            continue;
        const QString shown = text(id);
        entries_.push_back({keyOf(shown), shown, counts[id]});
    }
    // The sort compares strings some twenty times per token; a stop thrown
    // from the comparison leaves the entries in some order, and they are
    // dropped with the object.
    std::uint32_t compared = 0;
    std::sort(entries_.begin(), entries_.end(), [&](const Entry &a, const Entry &b) {
        if (++compared % 65536 == 0)
            throwIfStopped();
        return a.key < b.key;
    });
}

Vocabulary::Vocabulary(const Corpus &corpus, const std::atomic<bool> *stop) : folded_(corpus.options().foldCase)
{
    const auto throwIfStopped = [stop] {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            throw Progress::Stopped();
    };
    // The ids are counted a million at a time, the stop read in between.
    constexpr std::size_t idSpan = std::size_t{1} << 20;
    std::vector<std::uint32_t> counts(corpus.vocabularySize(), 0);
    const std::span<const Corpus::TokenId> ids = corpus.tokenIds();
    for (std::size_t from = 0; from < ids.size(); from += idSpan) {
        throwIfStopped();
        for (const Corpus::TokenId id : ids.subspan(from, std::min(idSpan, ids.size() - from))) {
            if (id != Corpus::noToken)
                ++counts[id];
        }
    }
    const LabelEncoding encoding = labelEncoding(corpus.options());
    addCounted(counts, [&](Corpus::TokenId id) { return labelString(corpus.tokenText(id), encoding); }, stop);
}

Vocabulary::Vocabulary(const Corpus &corpus, std::size_t layer, const std::atomic<bool> *stop)
{
    constexpr Corpus::Position span = Corpus::Position{1} << 20;
    std::vector<std::uint32_t> counts(corpus.layerSize(layer), 0);
    for (Corpus::Position from = 0; from < corpus.end(); from += std::min(span, corpus.end() - from)) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            throw Progress::Stopped();
        const Corpus::Position to = from + std::min(span, corpus.end() - from);
        for (Corpus::Position p = from; p < to; ++p) {
            const Corpus::TokenId id = corpus.layerId(layer, p);
            if (id < counts.size())
                ++counts[id];
        }
    }
    const LabelEncoding encoding = labelEncoding(corpus.options());
    addCounted(counts, [&](Corpus::TokenId id) { return labelString(corpus.layerText(layer, id), encoding); }, stop);
}

QStringList Vocabulary::complete(const QString &prefix, int limit) const
{
    QStringList out;
    if (limit <= 0)
        return out;
    const QString key = keyOf(prefix);
    const auto first = std::lower_bound(entries_.begin(), entries_.end(), key,
                                        [](const Entry &entry, const QString &k) { return entry.key < k; });
    auto last = first;
    while (last != entries_.end() && last->key.startsWith(key))
        ++last;
    std::vector<const Entry *> found;
    found.reserve(static_cast<std::size_t>(last - first));
    for (auto it = first; it != last; ++it)
        found.push_back(&*it);
    const auto shown = std::min<std::size_t>(found.size(), static_cast<std::size_t>(limit));
    // Entries are in key order, so comparing addresses breaks ties by text.
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(shown), found.end(),
                      [](const Entry *a, const Entry *b) { return a->count != b->count ? a->count > b->count : a < b; });
    for (std::size_t i = 0; i < shown; ++i)
        out.push_back(found[i]->text);
    return out;
}

QStringList Vocabulary::mostFrequentWords(int limit) const
{
    std::vector<const Entry *> words;
    for (const Entry &entry : entries_) {
        if (std::any_of(entry.text.begin(), entry.text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            words.push_back(&entry);
    }
    const auto shown = std::min<std::size_t>(words.size(), static_cast<std::size_t>(std::max(limit, 0)));
    std::partial_sort(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(shown), words.end(),
                      [](const Entry *a, const Entry *b) { return a->count != b->count ? a->count > b->count : a < b; });
    QStringList out;
    for (std::size_t i = 0; i < shown; ++i)
        out.push_back(words[i]->text);
    return out;
}
