// Vocabulary: a corpus's distinct tokens with their counts, for completing the word being typed, most frequent first.
#pragma once

#include "Corpus.h"
#include "LabelEncoding.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <vector>

// Made once per corpus, on the loading thread (a pass over the ids and a
// sort); read-only afterwards, so any thread may read it. Under case
// folding the tokens are the folded forms the corpus compares, and
// completion ignores case; otherwise case counts.
class Vocabulary {
public:
    Vocabulary() = default;
    // Counts the corpus's tokens and sorts them: a second or so on the
    // largest corpora. When `stop` (may be null) is set, from any thread,
    // Progress::Stopped is thrown soon (every pass reads it at least once
    // per million ids or few thousand tokens).
    explicit Vocabulary(const Corpus &corpus, const std::atomic<bool> *stop = nullptr);
    // The values of the corpus's layer `layer` (< layerCount(), not the
    // shown one) with their counts, compared exactly as patterns compare
    // them: a pass over the positions and a sort of the values. Stops as
    // the constructor above does.
    Vocabulary(const Corpus &corpus, std::size_t layer, const std::atomic<bool> *stop = nullptr);

    // At most `limit` tokens that start with `prefix` (under the corpus's
    // case rule; an empty prefix: every token), the most frequent first,
    // ties in text order. Costs a binary search and a partial sort of the
    // tokens with that prefix.
    QStringList complete(const QString &prefix, int limit) const;

    // At most `limit` tokens that are words (they hold a letter or a digit),
    // the most frequent first, ties in key order. Costs a pass over the tokens.
    QStringList mostFrequentWords(int limit) const;

    std::size_t size() const { return entries_.size(); }

private:
    // Makes the entries of the ids counted, their text read by `text`.
    template <typename Text>
    void addCounted(const std::vector<std::uint32_t> &counts, Text &&text, const std::atomic<bool> *stop);

    struct Entry {
        QString key;   // what a prefix is compared with
        QString text;  // what is offered
        std::uint32_t count = 0;
    };
    QString keyOf(const QString &text) const { return folded_ ? text.toCaseFolded() : text; }

    std::vector<Entry> entries_;  // ascending key
    bool folded_ = false;
};
