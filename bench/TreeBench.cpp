// Benchmarks of corpus construction and phrase-tree building on the first megabyte of the King James Bible.
#include "Corpus.h"
#include "PhraseSearch.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t textBytes = 1'000'000;

// The first megabyte of the benchmark text, or nothing if it is absent.
const std::string &benchmarkText()
{
    static const std::string text = [] {
        std::ifstream file(MORVANET_BENCH_TEXT, std::ios::binary);
        std::string bytes(textBytes, '\0');
        file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(file ? textBytes : static_cast<std::size_t>(file.gcount()));
        return bytes;
    }();
    return text;
}

bool haveText(benchmark::State &state)
{
    if (!benchmarkText().empty())
        return true;
    state.SkipWithError("benchmark text " MORVANET_BENCH_TEXT " is absent");
    return false;
}

const Corpus &benchmarkCorpus()
{
    static const Corpus corpus(benchmarkText().data(), static_cast<std::uint32_t>(benchmarkText().size()));
    return corpus;
}

void corpusConstruction(benchmark::State &state)
{
    if (!haveText(state))
        return;
    const std::string &text = benchmarkText();
    for (auto _ : state) {
        Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
        benchmark::DoNotOptimize(corpus.tokenCount());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(corpusConstruction)->Unit(benchmark::kMillisecond);

// Builds the whole tree of one phrase (every node made, as the outline
// makes them) and destroys it. A drawing makes only the nodes it reads.
void buildTree(benchmark::State &state, const char *phrase)
{
    if (!haveText(state))
        return;
    const Corpus &corpus = benchmarkCorpus();
    std::size_t nodes = 0;
    for (auto _ : state) {
        std::unique_ptr<PhraseNode> root = buildPhraseTree(corpus, phrase);
        nodes = root ? root->nodeCount() : 0;
        benchmark::DoNotOptimize(root.get());
    }
    state.counters["nodes"] = static_cast<double>(nodes);
}

// Frequent phrases give wide trees; rare ones a few long chains.
BENCHMARK_CAPTURE(buildTree, the, "the")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildTree, comma, ",")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildTree, And, "And")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildTree, of_the, "of the")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildTree, LORD_spake_unto_Moses, "And the LORD spake unto Moses")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildTree, firmament, "firmament")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(buildTree, Methuselah, "Methuselah")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
