#include "SavedIndexTable.h"

#include "CorpusIndex.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int runs = 3;  // each warm figure is the median of this many runs
constexpr std::uint64_t mostOccurrences = 1000;

// The budgets.
constexpr double saveRatioBudget = 1.3;     // --save-index against --both on the text
constexpr double bytesPerTokenBudget = 30;
constexpr double answerBudgetMs = 50;       // depth-3 outline, kwic 5
constexpr double pngBudgetMs = 150;
constexpr double peakBudgetMb = 150;
constexpr double frequentBudgetMs = 1000;   // depth-2 tree of the most frequent token

struct Ran {
    double ms = -1;      // -1: failed
    double peakMb = 0;
    int status = -1;
};

// Runs `args` (args[0] a path) with standard output to /dev/null, timing the
// whole process by the wall clock; its peak resident memory from wait4.
Ran runCommand(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    Ran ran;
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return ran;
    ran.status = WEXITSTATUS(status);
    if (ran.status > 1)
        return ran;
    ran.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    ran.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
    return ran;
}

// The median of `runs` runs (the first run warms the page cache and is not counted).
Ran warm(const std::vector<std::string> &args)
{
    if (runCommand(args).ms < 0)
        return {};
    std::vector<Ran> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(runCommand(args));
    std::sort(all.begin(), all.end(), [](const Ran &a, const Ran &b) { return a.ms < b.ms; });
    return all[all.size() / 2];
}

bool dropCaches()
{
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    drop.flush();
    return static_cast<bool>(drop);
}

struct Phrases {
    std::string pair;  // two tokens, at most 1,000 occurrences, the closest to it found
    std::uint64_t pairCount = 0;
    std::string frequent;  // the most frequent token
    std::uint64_t frequentCount = 0;
};

// The suffix array run of the tokens a, b (overlapping occurrences included).
std::uint64_t pairCount(const Corpus &corpus, Corpus::TokenId a, Corpus::TokenId b)
{
    const std::span<const Corpus::Position> sa = corpus.suffixArray();
    const std::span<const Corpus::TokenId> ids = corpus.tokenIds();
    const auto key = [&](Corpus::Position p) {
        const auto id = [&](std::size_t q) -> std::int64_t {
            return q < ids.size() && ids[q] != Corpus::noToken ? std::int64_t{ids[q]} : -1;
        };
        const std::int64_t first = id(p);
        return std::pair<std::int64_t, std::int64_t>{first, first < 0 ? -1 : id(std::size_t{p} + 1)};
    };
    const std::pair<std::int64_t, std::int64_t> wanted{a, b};
    const auto lower = std::partition_point(sa.begin(), sa.end(), [&](Corpus::Position p) { return key(p) < wanted; });
    const auto upper = std::partition_point(lower, sa.end(), [&](Corpus::Position p) { return key(p) <= wanted; });
    return static_cast<std::uint64_t>(upper - lower);
}

Phrases choosePhrases(const Corpus &corpus)
{
    Phrases phrases;
    std::vector<std::uint64_t> counts(corpus.vocabularySize(), 0);
    for (const Corpus::TokenId id : corpus.tokenIds()) {
        if (id != Corpus::noToken)
            ++counts[id];
    }
    const auto most = std::max_element(counts.begin(), counts.end());
    if (most == counts.end())
        return phrases;
    phrases.frequent = corpus.tokenText(static_cast<Corpus::TokenId>(most - counts.begin()));
    phrases.frequentCount = *most;
    std::mt19937_64 random(11);
    for (int tries = 0; tries < 20'000 && corpus.end() > 1; ++tries) {
        const auto p = static_cast<Corpus::Position>(random() % (corpus.end() - 1));
        if (corpus.tokenId(p) == Corpus::noToken || corpus.tokenId(p + 1) == Corpus::noToken)
            continue;
        const std::uint64_t count = pairCount(corpus, corpus.tokenId(p), corpus.tokenId(p + 1));
        if (count <= mostOccurrences && count > phrases.pairCount) {
            phrases.pairCount = count;
            phrases.pair = std::string(corpus.token(p)) + " " + std::string(corpus.token(p + 1));
        }
    }
    return phrases;
}

std::string figure(const Ran &ran)
{
    if (ran.ms < 0)
        return "failed";
    char text[64];
    std::snprintf(text, sizeof text, "%.0f (%.0f MB)", ran.ms, ran.peakMb);
    return text;
}

std::string ratio(const Ran &text, const Ran &index)
{
    if (text.ms <= 0 || index.ms <= 0)
        return "-";
    char out[32];
    std::snprintf(out, sizeof out, "%.0fx", text.ms / index.ms);
    return out;
}

}  // namespace

bool printSavedIndexTable(const std::vector<SavedIndexInput> &inputs, const std::string &folder)
{
    const std::string tool = MORVANET_TREE_TOOL;
    const bool haveRg = std::system("command -v rg >/dev/null 2>&1") == 0;
    std::printf("\nSaved indexes: whole processes of %s, wall clock in ms with peak resident memory; questions on "
                "the index and on the text (--max-bytes 0) with the page cache warm, medians of %d runs after one "
                "that is not counted; \"pair\": the two-token phrase closest to %llu occurrences (at most) among "
                "20,000 random positions, \"frequent\": the most frequent token; cold: the index's outline after "
                "dropping the page cache\n\n",
                tool.c_str(), runs, static_cast<unsigned long long>(mostOccurrences));
    std::printf("| input | tokens | --both on the text | --save-index | ratio | index MB | bytes per token | pair "
                "(count) | outline --depth 3: index | text | --kwic 5: index | text | --png: index | text | frequent "
                "(count) --depth 2: index | text | rg -c pair | cold outline |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    bool holds = true, complete = true;
    double worstMemory = 0, worstRatio = 0, worstPerToken = 0, worstAnswer = 0, worstPng = 0, worstPeak = 0, worstFrequent = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const SavedIndexInput &input = inputs[i];
        const std::string index = folder + "/saved-" + std::to_string(i) + ".index";
        const std::string png = folder + "/picture.png";
        const Ran both = runCommand({tool, "--both", "--max-bytes", "0", input.path, "the"});
        const Ran save = runCommand({tool, "--save-index", index, "--max-bytes", "0", input.path});
        const CorpusIndex::Opened opened = CorpusIndex::open(index);
        if (save.ms < 0 || !opened.corpus) {
            complete = false;
            std::printf("| %s | | %s | %s | | | | | | | | | | | | | | |\n", input.what.c_str(), figure(both).c_str(),
                        figure(save).c_str());
            continue;
        }
        const Corpus &corpus = *opened.corpus;
        const Phrases phrases = choosePhrases(corpus);
        struct stat status {};
        ::stat(index.c_str(), &status);
        const double perToken = static_cast<double>(status.st_size) / static_cast<double>(corpus.tokenCount());
        const auto ask = [&](const std::string &on, std::vector<std::string> options, const std::string &phrase) {
            std::vector<std::string> args{tool};
            args.insert(args.end(), options.begin(), options.end());
            if (on != index)
                args.insert(args.end(), {"--max-bytes", "0"});
            args.insert(args.end(), {on, phrase});
            return on == index ? warm(args) : runCommand(args);
        };
        const Ran outline = ask(index, {"--depth", "3"}, phrases.pair);
        const Ran outlineText = ask(input.path, {"--depth", "3"}, phrases.pair);
        const Ran kwic = ask(index, {"--kwic", "5"}, phrases.pair);
        const Ran kwicText = ask(input.path, {"--kwic", "5"}, phrases.pair);
        const Ran picture = ask(index, {"--png", png}, phrases.pair);
        const Ran pictureText = ask(input.path, {"--png", png}, phrases.pair);
        const Ran frequent = ask(index, {"--depth", "2"}, phrases.frequent);
        const Ran frequentText = ask(input.path, {"--depth", "2"}, phrases.frequent);
        Ran rg;
        if (haveRg)
            rg = warm({"rg", "-c", "--fixed-strings", phrases.pair, input.path});
        std::string cold = "not permitted";
        if (dropCaches())
            cold = figure(runCommand({tool, "--depth", "3", index, phrases.pair}));

        const double saveRatio = both.ms > 0 ? save.ms / both.ms : 0;
        worstRatio = std::max(worstRatio, saveRatio);
        if (both.peakMb > 0)
            worstMemory = std::max(worstMemory, save.peakMb / both.peakMb);
        worstPerToken = std::max(worstPerToken, perToken);
        worstAnswer = std::max({worstAnswer, outline.ms, kwic.ms});
        worstPng = std::max(worstPng, picture.ms);
        worstPeak = std::max({worstPeak, outline.peakMb, kwic.peakMb, picture.peakMb});
        worstFrequent = std::max(worstFrequent, frequent.ms);
        complete = complete && both.ms >= 0 && outline.ms >= 0 && kwic.ms >= 0 && picture.ms >= 0 && frequent.ms >= 0;
        std::printf("| %s | %llu | %s | %s | %.2f | %.0f | %.1f | %s (%llu) | %s | %s (%s) | %s | %s (%s) | %s | %s (%s) "
                    "| %s (%llu): %s | %s (%s) | %s | %s |\n",
                    input.what.c_str(), static_cast<unsigned long long>(corpus.tokenCount()), figure(both).c_str(),
                    figure(save).c_str(), saveRatio, static_cast<double>(status.st_size) / 1048576, perToken,
                    phrases.pair.c_str(), static_cast<unsigned long long>(phrases.pairCount), figure(outline).c_str(),
                    figure(outlineText).c_str(), ratio(outlineText, outline).c_str(), figure(kwic).c_str(),
                    figure(kwicText).c_str(), ratio(kwicText, kwic).c_str(), figure(picture).c_str(),
                    figure(pictureText).c_str(), ratio(pictureText, picture).c_str(), phrases.frequent.c_str(),
                    static_cast<unsigned long long>(phrases.frequentCount), figure(frequent).c_str(),
                    figure(frequentText).c_str(), ratio(frequentText, frequent).c_str(),
                    haveRg ? figure(rg).c_str() : "rg not installed", cold.c_str());
        std::fflush(stdout);
        std::filesystem::remove(index);
    }
    const auto verdict = [&](bool ok) {
        holds = holds && ok;
        return ok ? "holds" : "MISSED";
    };
    std::printf("\nBudgets (saved indexes): --save-index <= %.1fx --both: %s (worst %.2fx), in no more memory: %s "
                "(worst %.2fx); index <= %.0f bytes per token: %s (worst %.1f); outline and kwic <= %.0f ms: %s (worst %.0f); png <= %.0f ms: %s (worst "
                "%.0f); peak <= %.0f MB: %s (worst %.0f); most frequent token's depth-2 tree <= %.0f ms: %s (worst "
                "%.0f)%s\n",
                saveRatioBudget, verdict(worstRatio <= saveRatioBudget), worstRatio, verdict(worstMemory <= 1.0),
                worstMemory, bytesPerTokenBudget,
                verdict(worstPerToken <= bytesPerTokenBudget), worstPerToken, answerBudgetMs,
                verdict(worstAnswer <= answerBudgetMs), worstAnswer, pngBudgetMs, verdict(worstPng <= pngBudgetMs),
                worstPng, peakBudgetMb, verdict(worstPeak <= peakBudgetMb), worstPeak, frequentBudgetMs,
                verdict(worstFrequent <= frequentBudgetMs), worstFrequent, complete ? "" : "; not every run finished");
    return holds && complete;
}
