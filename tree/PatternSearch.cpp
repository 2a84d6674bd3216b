#include "PatternSearch.h"

#include "PatternMatcher.h"
#include "SuffixTreeBuilder.h"

#include <algorithm>
#include <span>
#include <numeric>

PatternOccurrences findPatternOccurrences(const PatternMatcher &matcher, TreeDirection direction,
                                          const std::atomic<bool> *stop)
{
    PatternOccurrences found;
    found.length = static_cast<std::uint32_t>(matcher.length());
    std::vector<Corpus::Position> all = matcher.allStarts(stop);
    // Taken in reading order: an occurrence that starts inside (forward) or
    // ends inside (backward) the one taken before is left out.
    if (direction == TreeDirection::Forward) {
        dropOverlapping(all, found.length);
    } else {
        // Kept from the back of the array, which the walk has passed.
        std::uint64_t free = UINT64_MAX;  // an occurrence must end at or before this
        std::size_t at = all.size();
        for (std::size_t i = all.size(); i-- > 0;) {
            if (all[i] + std::uint64_t{found.length} > free)
                continue;
            free = all[i];
            all[--at] = all[i];
        }
        all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(at));
    }
    found.starts = std::move(all);
    return found;
}

PhraseSearchResult searchPattern(const Corpus &corpus, std::string_view text, const PatternOccurrences &occurrences,
                                 TreeDirection direction, bool sentences, std::uint64_t tokenTotal)
{
    PhraseSearchResult result;
    if (direction == TreeDirection::Forward) {
        result.root = buildTreeOfStarts(corpus, corpus.forward(), std::string(text), occurrences.starts,
                                        occurrences.length, sentences, tokenTotal);
    } else {
        // Read backwards, an occurrence at p starts at end - (p + length).
        const SuffixIndex &index = corpus.backward();
        std::vector<Corpus::Position> starts;
        starts.reserve(occurrences.starts.size());
        for (auto p = occurrences.starts.rbegin(); p != occurrences.starts.rend(); ++p)
            starts.push_back(index.end() - (*p + occurrences.length));
        result.root = buildTreeOfStarts(corpus, index, std::string(text), starts, occurrences.length, sentences,
                                        tokenTotal);
    }
    result.status = result.root ? PhraseSearchResult::Status::Found : PhraseSearchResult::Status::NotFound;
    return result;
}

std::vector<PatternForm> patternForms(const Corpus &corpus, const PatternOccurrences &occurrences)
{
    const std::size_t shown = corpus.shownLayer();
    const std::uint32_t m = occurrences.length;
    const std::span<const Corpus::Position> starts = occurrences.starts;
    // Occurrences sorted by their values, then by position: equal runs are
    // one form, and a run's first is where the form was first met.
    // Each occurrence's values gathered first, in text order: the sort
    // then compares contiguous keys instead of reading the corpus at random.
    std::vector<Corpus::TokenId> keys(starts.size() * m);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        for (std::uint32_t k = 0; k < m; ++k)
            keys[i * m + k] = corpus.layerId(shown, starts[i] + k);
    }
    const auto keyOf = [&](std::uint32_t a) { return std::span<const Corpus::TokenId>(keys).subspan(std::size_t{a} * m, m); };
    std::vector<std::uint32_t> order(starts.size());
    std::iota(order.begin(), order.end(), 0u);
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        const auto x = keyOf(a), y = keyOf(b);
        const auto [xi, yi] = std::mismatch(x.begin(), x.end(), y.begin());
        return xi != x.end() ? *xi < *yi : a < b;
    };
    std::sort(order.begin(), order.end(), less);
    struct Run {
        std::uint32_t first;  // the first occurrence met
        std::uint32_t count;
    };
    std::vector<Run> runs;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0) {
            const auto previous = keyOf(order[i - 1]), current = keyOf(order[i]);
            if (std::equal(previous.begin(), previous.end(), current.begin())) {
                ++runs.back().count;
                continue;
            }
        }
        runs.push_back({order[i], 1});
    }
    std::sort(runs.begin(), runs.end(),
              [](const Run &a, const Run &b) { return a.count != b.count ? a.count > b.count : a.first < b.first; });
    std::vector<PatternForm> forms;
    forms.reserve(runs.size());
    for (const Run &run : runs) {
        PatternForm form;
        for (std::uint32_t k = 0; k < m; ++k) {
            if (k > 0)
                form.text += ' ';
            form.text += corpus.layerText(shown, corpus.layerId(shown, starts[run.first] + k));
        }
        form.count = run.count;
        forms.push_back(std::move(form));
    }
    return forms;
}
