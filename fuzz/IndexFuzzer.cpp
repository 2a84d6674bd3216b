// Fuzzes opening a saved index and asking it questions: a mutated index must
// be refused with a reason, or answer without reading outside its mapping,
// in every mode its header names; the whole check must agree that an index
// it passes opens.
#include "Concordance.h"
#include "CorpusIndex.h"
#include "CqlPattern.h"
#include "DocumentSubset.h"
#include "FuzzInput.h"
#include "PatternMatcher.h"
#include "PatternSearch.h"
#include "PhraseNode.h"
#include "PhraseSearch.h"
#include "SuffixTreeBuilder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Reads up to `budget` nodes of the tree, making each one's label, plain
// and as written: a damaged index may make a tree far larger than its text.
void walk(const PhraseNode &root, std::size_t budget)
{
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty() && budget-- > 0) {
        const PhraseNode *node = pending.back();
        pending.pop_back();
        FUZZ_CHECK(node->labelPrefix(64).size() <= 64);
        FUZZ_CHECK(node->writtenLabelPrefix(64).size() <= 64);
        FUZZ_CHECK(node->writtenLabelSuffix(64).size() <= 64);
        for (const auto &child : node->children())
            pending.push_back(child.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The index is a file to map: one in memory, named through /proc.
    static const int fd = ::memfd_create("index", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    const CorpusIndex::Opened opened = CorpusIndex::open(path);
    const std::string fault = CorpusIndex::check(path);
    if (!opened.corpus) {
        FUZZ_CHECK(!opened.reason.empty() && opened.reason.find('\n') == std::string::npos);
        FUZZ_CHECK(!fault.empty());
        return 0;
    }
    FUZZ_CHECK(fault.find('\n') == std::string::npos);
    const Corpus &corpus = *opened.corpus;
    FUZZ_CHECK(opened.sources.size() == corpus.boundaries().size() + 1 || corpus.end() == 0);

    // Phrases from the index's own tokens: its first ids, and the tokens at
    // its first positions, alone and in pairs.
    std::vector<std::string> phrases{".", "a b"};
    for (Corpus::TokenId id = 0; id < std::min<std::uint32_t>(corpus.vocabularySize(), 3); ++id)
        phrases.emplace_back(corpus.tokenText(id));
    for (Corpus::Position p = 0; p + 1 < std::min<Corpus::Position>(corpus.end(), 4); ++p)
        phrases.push_back(std::string(corpus.token(p)) + " " + std::string(corpus.token(p + 1)));
    // Every other document chosen, as --where on the index chooses some.
    std::vector<std::uint32_t> chosen;
    for (std::uint32_t d = 0; d < opened.sources.size(); d += 2)
        chosen.push_back(d);
    const DocumentSubset within(corpus, chosen);
    FUZZ_CHECK(within.tokenCount() <= corpus.end());
    for (const std::string &phrase : phrases) {
        for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
            for (const bool sentences : {false, true}) {
                const PhraseSearchResult result = searchPhrase(corpus, phrase, direction, sentences);
                if (result.root)
                    walk(*result.root, 2000);
            }
        }
        // The concordance: lines and rows as the tool makes them.
        const PhraseOccurrences found = findOccurrences(corpus, phrase);
        const std::vector<std::uint64_t> lines = occurrenceLines(corpus, found.starts);
        FUZZ_CHECK(lines.size() == found.starts.size());
        ConcordanceRow row;
        for (const Corpus::Position p : found.starts) {
            FUZZ_CHECK(p < corpus.end() && found.length <= corpus.end() - p);
            FUZZ_CHECK(corpus.documentOf(p) < opened.sources.size());
            makeConcordanceRow(corpus, p, found.length, 3, row);
            makeConcordanceRow(corpus, p, found.length, 3, row, RowSpacing::AsWritten);
        }
        std::vector<Corpus::Position> kept = found.starts;
        within.keep(kept);
        for (const Corpus::Position p : kept)
            FUZZ_CHECK(within.contains(p));
        if (const auto root = buildTreeOfStarts(corpus, corpus.forward(), phrase, kept, found.length, true,
                                                within.tokenCount()))
            walk(*root, 2000);
    }
    // An annotated index: every layer's values at its first positions, and
    // a pattern over each layer, its trees both ways.
    for (std::size_t layer = 0; layer < corpus.layerCount(); ++layer) {
        unsigned sum = 0;  // every byte read, so that a read outside the mapping is seen
        for (Corpus::Position p = 0; p < std::min<Corpus::Position>(corpus.end(), 8); ++p) {
            for (const char c : corpus.layerText(layer, corpus.layerId(layer, p)))
                sum += static_cast<unsigned char>(c);
        }
        FUZZ_CHECK(sum < UINT32_MAX);
        const CqlPattern::Parsed parsed = CqlPattern::parse("[" + std::string(corpus.layerName(layer)) + "=\".\"] []");
        if (!parsed.pattern)
            continue;
        const PatternMatcher::Compiled compiled = PatternMatcher::compile(*parsed.pattern, corpus);
        if (!compiled.matcher)
            continue;
        for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
            const PatternOccurrences found = findPatternOccurrences(*compiled.matcher, direction);
            const PhraseSearchResult result = searchPattern(corpus, "pattern", found, direction, true);
            if (result.root)
                walk(*result.root, 2000);
            FUZZ_CHECK(patternForms(corpus, found).size() <= found.starts.size());
        }
    }
    return 0;
}
