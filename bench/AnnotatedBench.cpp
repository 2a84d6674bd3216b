// Annotated corpora against plain text: what reading, indexing and asking
// cost when every token carries a lemma and tags, beside the same words as a
// plain text.
//
//   morvanet_annotated_bench [DIR] [--megabytes N] [--runs N] [--save-runs N]
//                            [--text FILE] [--phrase P]
//
// Writes its inputs into DIR (kept) or a temporary folder (removed): the
// text (samples/genesis.txt by default) tagged by rule and repeated into a
// CoNLL-U file of N megabytes (100 by default), the same tokens as a
// vertical file and as a plain text. Then, in this process, the readers'
// speed; and as whole processes of morvanet-tree, wall clock with the peak
// resident memory of each (its own ru_maxrss, from wait4): --save-index of
// each file (median of --save-runs, 3 by default), and questions of the
// saved indexes (page cache warm: one run not counted, then the median of
// --runs, 5 by default), each printed as JSON (--depth 3) to /dev/null.
#include "AnnotatedInputs.h"
#include "AnnotatedCorpusBuilder.h"
#include "AnnotationSink.h"
#include "BenchClock.h"
#include "ChildProcess.h"
#include "ConlluReader.h"
#include "Tokenizer.h"
#include "VerticalReader.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char **environ;

namespace {

// The budgets.
constexpr double saveBudget = 3.0;      // --save-index of the CoNLL-U file against the plain text's
constexpr double questionBudget = 1.5;  // the pattern on the CoNLL-U index against the phrase on the text's

constexpr double megabyte = 1e6;  // file sizes and reading speeds; peak memory is in MiB (ru_maxrss / 1024)

struct Ran {
    double ms = -1;  // -1: failed
    double peakMb = 0;
};

// Runs `args` (args[0] a path), its standard output to /dev/null and its
// standard error to `errors`; the wall clock from spawning to reaping, and
// the child's own peak resident memory.
Ran runOnce(const std::vector<std::string> &args, const std::string &errors)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const double started = millisecondsOn(CLOCK_MONOTONIC);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Ran ran;
    if (spawned != 0)
        return ran;
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child)
        return ran;
    const double ended = millisecondsOn(CLOCK_MONOTONIC);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream said(errors);
        std::fprintf(stderr, "morvanet_annotated_bench: %s failed:\n%s", args[0].c_str(),
                     std::string(std::istreambuf_iterator<char>(said), {}).c_str());
        return ran;
    }
    ran.ms = ended - started;
    ran.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
    return ran;
}

// The run of median time among `runs` runs (after `warmUp` runs that are not counted).
Ran medianRun(const std::vector<std::string> &args, const std::string &errors, int runs, int warmUp)
{
    for (int i = 0; i < warmUp; ++i) {
        if (runOnce(args, errors).ms < 0)
            return {};
    }
    std::vector<Ran> all;
    for (int i = 0; i < runs; ++i) {
        const Ran ran = runOnce(args, errors);
        if (ran.ms < 0)
            return {};
        all.push_back(ran);
    }
    std::sort(all.begin(), all.end(), [](const Ran &a, const Ran &b) { return a.ms < b.ms; });
    return all[all.size() / 2];
}

// How many occurrences the tool finds: the root's count (--counts --depth 0).
std::string occurrences(const std::string &tool, std::vector<std::string> options, const std::string &on,
                        const std::string &phrase)
{
    std::vector<std::string> args{tool, "--counts", "--depth", "0"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {on, phrase});
    std::string failure;
    const std::string out = runProcess(args, 600, failure);
    if (!failure.empty())
        return "?";
    return out.substr(0, out.find('\t'));
}

std::string figure(const Ran &ran)
{
    if (ran.ms < 0)
        return "failed";
    char text[64];
    std::snprintf(text, sizeof text, "%.0f ms (%.0f MB)", ran.ms, ran.peakMb);
    return text;
}

double ratioOf(const Ran &annotated, const Ran &plain)
{
    return annotated.ms > 0 && plain.ms > 0 ? annotated.ms / plain.ms : -1;
}

std::string ratioText(double ratio)
{
    if (ratio < 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", ratio);
    return text;
}

bool allPassed = true;

std::string verdict(double ratio, double budget)
{
    const bool pass = ratio >= 0 && ratio <= budget;
    allPassed = allPassed && pass;
    char text[64];
    std::snprintf(text, sizeof text, "<= %.1fx: %s", budget, pass ? "PASS" : "FAIL");
    return text;
}

std::string readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Counts what a reader tells, and nothing more.
class CountingSink final : public AnnotationSink {
public:
    void startDocument() override { ++documents; }
    void token(std::span<const std::string_view> values, bool, std::uint64_t) override
    {
        ++tokens;
        valueBytes += values.front().size();
    }
    void endSentence() override { ++sentences; }

    std::uint64_t tokens = 0, sentences = 0, documents = 0, valueBytes = 0;
};

// Hands what a reader tells to the corpus builder, as the tool does.
class BuildingSink final : public AnnotationSink {
public:
    explicit BuildingSink(AnnotatedCorpusBuilder &builder) : builder_(builder) {}
    void startDocument() override { builder_.startDocument(); }
    void token(std::span<const std::string_view> values, bool separated, std::uint64_t line) override
    {
        builder_.token(values, separated, line);
    }
    void endSentence() override { builder_.endSentence(); }

private:
    AnnotatedCorpusBuilder &builder_;
};

struct Speed {
    double ms = 0;
    std::uint64_t tokens = 0;
};

// The median of `runs` timings of `read` (which returns the tokens it met).
template <typename Read>
Speed timed(int runs, Read read)
{
    std::vector<double> times;
    Speed speed;
    for (int i = 0; i < runs; ++i) {
        const double start = millisecondsOn(CLOCK_MONOTONIC);
        speed.tokens = read();
        times.push_back(millisecondsOn(CLOCK_MONOTONIC) - start);
    }
    speed.ms = median(times);
    return speed;
}

void printSpeed(const char *what, const char *how, std::uint64_t bytes, const Speed &speed)
{
    std::printf("| %s | %s | %.1f | %llu | %.0f | %.0f |\n", what, how, static_cast<double>(bytes) / megabyte,
                static_cast<unsigned long long>(speed.tokens), speed.ms,
                static_cast<double>(bytes) / megabyte / (speed.ms / 1000));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    std::string folder, text = MORVANET_ANNOTATED_TEXT, phrase = "said unto";
    double megabytes = 100;
    int runs = 5, saveRuns = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool valued = i + 1 < argc;
        if (arg == "--megabytes" && valued)
            megabytes = std::atof(argv[++i]);
        else if (arg == "--runs" && valued)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--save-runs" && valued)
            saveRuns = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--text" && valued)
            text = argv[++i];
        else if (arg == "--phrase" && valued)
            phrase = argv[++i];
        else if (!arg.starts_with("--") && folder.empty())
            folder = argv[i];
        else {
            std::fprintf(stderr,
                         "Usage: morvanet_annotated_bench [DIR] [--megabytes N] [--runs N] [--save-runs N] "
                         "[--text FILE] [--phrase P]\n");
            return 2;
        }
    }
    const bool temporary = folder.empty();
    if (temporary) {
        char name[] = "/tmp/morvanet-annotated-XXXXXX";
        if (!::mkdtemp(name)) {
            std::perror("morvanet_annotated_bench: mkdtemp");
            return 2;
        }
        folder = name;
    } else {
        std::filesystem::create_directories(folder);
    }
    const std::string tool = MORVANET_TREE_TOOL;
    const std::string errors = folder + "/stderr.txt";

    AnnotatedInputs inputs;
    std::string reason;
    const double writeStart = millisecondsOn(CLOCK_MONOTONIC);
    if (!inputs.write(text, folder, static_cast<std::uint64_t>(megabytes * megabyte), reason)) {
        std::fprintf(stderr, "morvanet_annotated_bench: %s\n", reason.c_str());
        return 2;
    }
    std::printf("Inputs in %s (written in %.1f s): %s written %llu times over; %llu tokens, %llu sentences, %llu "
                "documents; CoNLL-U %.1f MB, vertical %.1f MB, plain text %.1f MB (MB: 10^6 bytes)\n\n",
                folder.c_str(), (millisecondsOn(CLOCK_MONOTONIC) - writeStart) / 1000, text.c_str(),
                static_cast<unsigned long long>(inputs.copies), static_cast<unsigned long long>(inputs.tokens),
                static_cast<unsigned long long>(inputs.sentences), static_cast<unsigned long long>(inputs.documents),
                static_cast<double>(inputs.conlluSize) / megabyte, static_cast<double>(inputs.verticalSize) / megabyte,
                static_cast<double>(inputs.plainSize) / megabyte);

    // Reading in this process, from bytes in memory.
    {
        std::printf("Reading in process (bytes in memory, wall clock, median of %d runs)\n\n", runs);
        std::printf("| file | what | MB | tokens | ms | MB/s |\n|---|---|---:|---:|---:|---:|\n");
        const std::string conllu = readWhole(inputs.conllu);
        const std::string vertical = readWhole(inputs.vertical);
        const std::string plain = readWhole(inputs.plain);
        printSpeed("CoNLL-U", "readConllu, a sink that counts", conllu.size(), timed(runs, [&] {
                       CountingSink sink;
                       readConllu(conllu, sink);
                       return sink.tokens;
                   }));
        const std::vector<std::string> columns = defaultVerticalColumns();
        printSpeed("vertical", "readVertical, a sink that counts", vertical.size(), timed(runs, [&] {
                       CountingSink sink;
                       readVertical(vertical, columns, sink);
                       return sink.tokens;
                   }));
        printSpeed("plain text", "the byte rules' tokenizer, counting", plain.size(), timed(runs, [&] {
                       std::uint64_t count = 0;
                       std::string word;
                       forEachTokenOf(CorpusOptions{}, plain.data(), static_cast<std::uint32_t>(plain.size()), word,
                                      [&](std::string_view) { ++count; });
                       return count;
                   }));
        printSpeed("CoNLL-U", "readConllu into the corpus builder (6 layers interned)", conllu.size(),
                   timed(runs, [&] {
                       AnnotatedCorpusBuilder builder{CorpusOptions{}};
                       BuildingSink sink(builder);
                       builder.startFile(conlluLayers());
                       readConllu(conllu, sink);
                       return builder.positions();
                   }));
        printSpeed("vertical", "readVertical into the corpus builder (3 layers interned)", vertical.size(),
                   timed(runs, [&] {
                       AnnotatedCorpusBuilder builder{CorpusOptions{}};
                       BuildingSink sink(builder);
                       builder.startFile(verticalLayers(columns));
                       readVertical(vertical, columns, sink);
                       return builder.positions();
                   }));
        std::printf("\n");
    }

    // Whole processes.
    const std::string conlluIndex = folder + "/conllu.index", lemmaIndex = folder + "/conllu-lemma.index",
                      verticalIndex = folder + "/vertical.index", plainIndex = folder + "/plain.index";
    const auto save = [&](const std::string &index, const std::string &file, std::vector<std::string> options,
                          int count) {
        std::vector<std::string> args{tool, "--save-index", index, "--max-bytes", "0"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(file);
        return medianRun(args, errors, count, 0);
    };
    std::printf("Whole processes of %s: wall clock and peak resident memory (MiB); --save-index: median of %d "
                "runs; questions: --depth 3 --json to /dev/null, page cache warm, median of %d runs after one not "
                "counted; counts: the tool's own (--counts)\n\n",
                tool.c_str(), saveRuns, runs);
    std::fflush(stdout);
    const Ran saveConllu = save(conlluIndex, inputs.conllu, {}, saveRuns);
    const Ran savePlain = save(plainIndex, inputs.plain, {}, saveRuns);
    const Ran saveVertical = save(verticalIndex, inputs.vertical, {}, saveRuns);
    const Ran saveLemma = save(lemmaIndex, inputs.conllu, {"--show", "lemma"}, 1);

    const auto ask = [&](const std::string &index, std::vector<std::string> options, const std::string &question) {
        std::vector<std::string> args{tool, "--depth", "3", "--json"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {index, question});
        return medianRun(args, errors, runs, 1);
    };
    const std::string pattern = "[lemma=\"say\"] [pos=\"ADP\"]", nounOf = "[pos=\"NOUN\"] \"of\"";
    const Ran patternRan = ask(conlluIndex, {}, pattern);
    const Ran phraseRan = ask(plainIndex, {}, phrase);
    const Ran lemmaRan = ask(lemmaIndex, {"--show", "lemma"}, "say");
    const Ran saidRan = ask(plainIndex, {}, "said");
    const Ran nounOfRan = ask(conlluIndex, {}, nounOf);
    const Ran ofRan = ask(plainIndex, {}, "of");
    const std::string patternCount = occurrences(tool, {}, conlluIndex, pattern);
    const std::string phraseCount = occurrences(tool, {}, plainIndex, phrase);
    const std::string lemmaCount = occurrences(tool, {"--show", "lemma"}, lemmaIndex, "say");
    const std::string saidCount = occurrences(tool, {}, plainIndex, "said");
    const std::string nounOfCount = occurrences(tool, {}, conlluIndex, nounOf);
    const std::string ofCount = occurrences(tool, {}, plainIndex, "of");

    const double saveRatio = ratioOf(saveConllu, savePlain), questionRatio = ratioOf(patternRan, phraseRan);
    std::printf("| measure | annotated | plain text | ratio | budget |\n|---|---:|---:|---:|---|\n");
    std::printf("| --save-index: CoNLL-U (%.0f MB) / plain text (%.0f MB) | %s | %s | %s | %s |\n",
                static_cast<double>(inputs.conlluSize) / megabyte, static_cast<double>(inputs.plainSize) / megabyte,
                figure(saveConllu).c_str(), figure(savePlain).c_str(), ratioText(saveRatio).c_str(),
                verdict(saveRatio, saveBudget).c_str());
    std::printf("| --save-index: vertical (%.0f MB) / plain text | %s | %s | %s | - |\n",
                static_cast<double>(inputs.verticalSize) / megabyte, figure(saveVertical).c_str(),
                figure(savePlain).c_str(), ratioText(ratioOf(saveVertical, savePlain)).c_str());
    std::printf("| --save-index --show lemma: CoNLL-U (one run) / plain text | %s | %s | %s | - |\n",
                figure(saveLemma).c_str(), figure(savePlain).c_str(), ratioText(ratioOf(saveLemma, savePlain)).c_str());
    std::printf("| pattern `%s` (%s) / phrase \"%s\" (%s) | %s | %s | %s | %s |\n", pattern.c_str(),
                patternCount.c_str(), phrase.c_str(), phraseCount.c_str(), figure(patternRan).c_str(),
                figure(phraseRan).c_str(), ratioText(questionRatio).c_str(),
                verdict(questionRatio, questionBudget).c_str());
    std::printf("| lemma tree \"say\" on the --show lemma index (%s) / phrase \"said\" (%s) | %s | %s | %s | - |\n",
                lemmaCount.c_str(), saidCount.c_str(), figure(lemmaRan).c_str(), figure(saidRan).c_str(),
                ratioText(ratioOf(lemmaRan, saidRan)).c_str());
    std::printf("| POS pattern `%s` (%s) / phrase \"of\" (%s) | %s | %s | %s | - |\n", nounOf.c_str(),
                nounOfCount.c_str(), ofCount.c_str(), figure(nounOfRan).c_str(), figure(ofRan).c_str(),
                ratioText(ratioOf(nounOfRan, ofRan)).c_str());
    std::printf("\nBudgets: --save-index of the CoNLL-U file <= %.1fx the plain text's: %s (%s); pattern on the "
                "CoNLL-U index <= %.1fx the phrase on the plain text's: %s (%s)\n",
                saveBudget, saveRatio >= 0 && saveRatio <= saveBudget ? "PASS" : "FAIL", ratioText(saveRatio).c_str(),
                questionBudget, questionRatio >= 0 && questionRatio <= questionBudget ? "PASS" : "FAIL",
                ratioText(questionRatio).c_str());

    for (const std::string &index : {conlluIndex, lemmaIndex, verticalIndex, plainIndex})
        std::filesystem::remove(index);
    std::filesystem::remove(errors);
    if (temporary)
        std::filesystem::remove_all(folder);
    return allPassed ? 0 : 1;
}
