// Annotated corpora against plain text: what reading, indexing and asking
// cost when every token carries a lemma and tags, beside the same words as a
// plain text.
//
//   morvanet_annotated_bench [DIR] [--megabytes N] [--runs N] [--save-runs N]
//                            [--text FILE] [--phrase P]
//
// Writes its inputs into DIR (kept) or a temporary folder (removed): the
// text (samples/genesis.txt by default) tagged by rule and repeated into a
// CoNLL-U file of N megabytes (100 by default), the same tokens and
// documents as a vertical file and as a plain text (a folder, a file per
// document). Then, as whole processes of morvanet-tree, wall clock with the
// peak resident memory of each (its own ru_maxrss, from wait4), each
// annotated command by turns with its plain-text counterpart: --save-index
// (median of --save-runs, 5 by default), and questions of the saved indexes
// (page cache warm: one run of each not counted, then the median of --runs,
// 5 by default), printed as JSON (--depth 3) to /dev/null, with and without
// --sentences. Last, in this process, the readers' speed and the steps that
// those processes take, to tell where their time goes. Exits with 1 when a
// budget fails.
#include "AnnotatedInputs.h"
#include "AnnotatedCorpusBuilder.h"
#include "AnnotationSink.h"
#include "BenchClock.h"
#include "ChildProcess.h"
#include "ConlluReader.h"
#include "CorpusIndex.h"
#include "LabelText.h"
#include "OutputBuffer.h"
#include "QueryAnswer.h"
#include "Tokenizer.h"
#include "TreeWriter.h"
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

struct Pair {
    Ran annotated, plain;
};

// Runs `annotated` and `plain` by turns (see pairedMedians).
Pair pairedRuns(const std::vector<std::string> &annotated, const std::vector<std::string> &plain,
                const std::string &errors, int runs, int warmUp)
{
    const auto [a, b] = pairedMedians([&] { return runOnce(annotated, errors); },
                                      [&] { return runOnce(plain, errors); }, runs, warmUp);
    return {a, b};
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

// The files of a folder, in the order of their names (as the loader takes them).
std::vector<std::string> filesOf(const std::string &folder)
{
    std::vector<std::string> paths;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A row of the table: a measure, the annotated and the plain figure, their ratio, and the budget's verdict.
void printRow(const std::string &what, const Pair &pair, double budget = 0)
{
    const double ratio = ratioOf(pair.annotated, pair.plain);
    std::printf("| %s | %s | %s | %s | %s |\n", what.c_str(), figure(pair.annotated).c_str(),
                figure(pair.plain).c_str(), ratioText(ratio).c_str(),
                budget > 0 ? verdict(ratio, budget).c_str() : "-");
    std::fflush(stdout);
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
    int runs = 5, saveRuns = 5;
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
    std::fflush(stdout);

    // Whole processes, first: a child's ru_maxrss starts from what this
    // process holds when it spawns it (the kernel counts the memory the
    // child shared before exec), so the inputs are read into it only after.
    const std::string conlluIndex = folder + "/conllu.index", lemmaIndex = folder + "/conllu-lemma.index",
                      verticalIndex = folder + "/vertical.index", plainIndex = folder + "/plain.index";
    const auto saving = [&](const std::string &index, const std::string &file, std::vector<std::string> options) {
        std::vector<std::string> args{tool, "--save-index", index, "--max-bytes", "0"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(file);
        return args;
    };
    const auto save = [&](const std::string &index, const std::string &file, std::vector<std::string> options) {
        return pairedRuns(saving(index, file, options), saving(plainIndex, inputs.plain, {}), errors, saveRuns, 0);
    };
    const auto asking = [&](const std::string &index, std::vector<std::string> options, const std::string &question) {
        std::vector<std::string> args{tool, "--depth", "3", "--json"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {index, question});
        return args;
    };
    const auto ask = [&](const std::string &index, std::vector<std::string> options, const std::string &question,
                         std::vector<std::string> plainOptions, const std::string &plainQuestion) {
        return pairedRuns(asking(index, options, question), asking(plainIndex, plainOptions, plainQuestion), errors,
                          runs, 1);
    };
    const auto counted = [&](const std::string &index, std::vector<std::string> options, const std::string &question) {
        return occurrences(tool, options, index, question);
    };
    std::printf("Whole processes of %s: wall clock and peak resident memory (MiB), each command run by turns with "
                "the plain text's; --save-index: median of %d runs; questions: --depth 3 --json to /dev/null, page "
                "cache warm, median of %d runs after one not counted; in brackets after a question, the occurrences "
                "the tool counts\n\n",
                tool.c_str(), saveRuns, runs);
    std::printf("| measure | annotated | plain text | ratio | budget |\n|---|---:|---:|---:|---|\n");
    std::fflush(stdout);
    char what[256];
    std::snprintf(what, sizeof what, "--save-index: CoNLL-U (%.0f MB) / plain text (%.0f MB)",
                  static_cast<double>(inputs.conlluSize) / megabyte, static_cast<double>(inputs.plainSize) / megabyte);
    printRow(what, save(conlluIndex, inputs.conllu, {}), saveBudget);
    std::snprintf(what, sizeof what, "--save-index: vertical (%.0f MB) / plain text",
                  static_cast<double>(inputs.verticalSize) / megabyte);
    printRow(what, save(verticalIndex, inputs.vertical, {}));
    printRow("--save-index --show lemma: CoNLL-U / plain text", save(lemmaIndex, inputs.conllu, {"--show", "lemma"}));

    const std::string pattern = "[lemma=\"say\"] [pos=\"ADP\"]", nounOf = "[pos=\"NOUN\"] \"of\"";
    printRow("pattern `" + pattern + "` (" + counted(conlluIndex, {}, pattern) + ") / phrase \"" + phrase + "\" ("
                 + counted(plainIndex, {}, phrase) + ")",
             ask(conlluIndex, {}, pattern, {}, phrase), questionBudget);
    printRow("the same with --sentences", ask(conlluIndex, {"--sentences"}, pattern, {"--sentences"}, phrase),
             questionBudget);
    printRow("lemma tree \"say\", --show lemma index (" + counted(lemmaIndex, {"--show", "lemma"}, "say")
                 + ") / phrase \"said\" (" + counted(plainIndex, {}, "said") + ")",
             ask(lemmaIndex, {"--show", "lemma"}, "say", {}, "said"));
    printRow("POS pattern `" + nounOf + "` (" + counted(conlluIndex, {}, nounOf) + ") / phrase \"of\" ("
                 + counted(plainIndex, {}, "of") + ")",
             ask(conlluIndex, {}, nounOf, {}, "of"));
    printRow("the same with --sentences", ask(conlluIndex, {"--sentences"}, nounOf, {"--sentences"}, "of"));
    std::printf("\nBudgets: %s\n\n", allPassed ? "all PASS" : "not all PASS (see the rows marked FAIL)");

    const std::string conllu = readWhole(inputs.conllu);
    const std::string vertical = readWhole(inputs.vertical);
    const std::vector<std::string> plainPaths = filesOf(inputs.plain);
    std::vector<std::string> plainFiles;
    std::vector<std::string_view> plainViews;
    for (const std::string &path : plainPaths)
        plainFiles.push_back(readWhole(path));
    for (const std::string &file : plainFiles)
        plainViews.emplace_back(file);
    const std::vector<std::string> columns = defaultVerticalColumns();

    // Reading in this process, from bytes in memory.
    std::printf("Reading in process (bytes in memory, wall clock, median of %d runs)\n\n", runs);
    std::printf("| file | what | MB | tokens | ms | MB/s |\n|---|---|---:|---:|---:|---:|\n");
    printSpeed("CoNLL-U", "readConllu, a sink that counts", conllu.size(), timed(runs, [&] {
                   CountingSink sink;
                   readConllu(conllu, sink);
                   return sink.tokens;
               }));
    printSpeed("vertical", "readVertical, a sink that counts", vertical.size(), timed(runs, [&] {
                   CountingSink sink;
                   readVertical(vertical, columns, sink);
                   return sink.tokens;
               }));
    printSpeed("plain text", "the byte rules' tokenizer, counting", inputs.plainSize, timed(runs, [&] {
                   std::uint64_t count = 0;
                   std::string word;
                   for (const std::string_view file : plainViews)
                       forEachTokenOf(CorpusOptions{}, file.data(), static_cast<std::uint32_t>(file.size()), word,
                                      [&](std::string_view) { ++count; });
                   return count;
               }));
    printSpeed("CoNLL-U", "readConllu into the corpus builder (6 layers interned)", conllu.size(), timed(runs, [&] {
                   AnnotatedCorpusBuilder builder{CorpusOptions{}};
                   ForwardingSink<AnnotatedCorpusBuilder> sink(builder);
                   builder.startFile(conlluLayers());
                   readConllu(conllu, sink);
                   return builder.positions();
               }));
    printSpeed("vertical", "readVertical into the corpus builder (3 layers interned)", vertical.size(),
               timed(runs, [&] {
                   AnnotatedCorpusBuilder builder{CorpusOptions{}};
                   ForwardingSink<AnnotatedCorpusBuilder> sink(builder);
                   builder.startFile(verticalLayers(columns));
                   readVertical(vertical, columns, sink);
                   return builder.positions();
               }));
    std::printf("\n");

    // The same steps in this process.
    std::printf("Where the time goes: the steps of those processes in this one (wall clock, median of %d runs for "
                "building and saving, %d for the question)\n\n",
                saveRuns, runs);
    std::printf("| step | CoNLL-U | plain text | ratio |\n|---|---:|---:|---:|\n");
    const auto phaseRow = [](const char *step, double annotated, double plain) {
        if (plain <= 0)
            std::printf("| %s | %.0f ms | - | - |\n", step, annotated);
        else
            std::printf("| %s | %.0f ms | %.0f ms | %.2fx |\n", step, annotated, plain, annotated / plain);
        std::fflush(stdout);
    };
    {
        std::vector<double> read, index, whole, plainWhole, saved, plainSaved;
        std::vector<CorpusIndex::Source> sources, plainSources;
        for (std::uint64_t d = 0; d < inputs.documents; ++d)
            sources.push_back({inputs.conllu, conllu.size(), 0});
        for (std::size_t d = 0; d < plainPaths.size(); ++d)
            plainSources.push_back({plainPaths[d], plainFiles[d].size(), 0});
        const std::string scratch = folder + "/scratch.index";
        for (int i = 0; i < saveRuns; ++i) {
            double start = millisecondsOn(CLOCK_MONOTONIC);
            AnnotatedCorpusBuilder builder{CorpusOptions{}};
            ForwardingSink<AnnotatedCorpusBuilder> sink(builder);
            builder.startFile(conlluLayers());
            readConllu(conllu, sink);
            const double built = millisecondsOn(CLOCK_MONOTONIC);
            std::unique_ptr<Corpus> corpus = builder.finish(true);
            const double indexed = millisecondsOn(CLOCK_MONOTONIC);
            CorpusIndex::save(*corpus, sources, inputs.conllu, scratch, {}, reason);
            saved.push_back(millisecondsOn(CLOCK_MONOTONIC) - indexed);
            read.push_back(built - start);
            index.push_back(indexed - built);
            whole.push_back(indexed - start);
            corpus.reset();
            start = millisecondsOn(CLOCK_MONOTONIC);
            const Corpus plainCorpus(plainViews, CorpusOptions{}, true);
            const double plainIndexed = millisecondsOn(CLOCK_MONOTONIC);
            CorpusIndex::save(plainCorpus, plainSources, inputs.plain, scratch, {}, reason);
            plainSaved.push_back(millisecondsOn(CLOCK_MONOTONIC) - plainIndexed);
            plainWhole.push_back(plainIndexed - start);
        }
        std::filesystem::remove(scratch);
        phaseRow("read and intern every layer (builder) / -", median(read), 0);
        phaseRow("index both directions (finish) / -", median(index), 0);
        phaseRow("the corpus: read, intern, index / Corpus(documents, {}, true)", median(whole), median(plainWhole));
        phaseRow("CorpusIndex::save", median(saved), median(plainSaved));
    }
    {
        std::vector<double> open, plainOpen, answer, plainAnswer, json, plainJson, ranking;
        std::uint64_t jsonBytes = 0, plainJsonBytes = 0;
        Query query, plainQuery;
        query.phrase = pattern;
        plainQuery.phrase = phrase;
        query.pruning.maxDepth = plainQuery.pruning.maxDepth = 3;
        const auto one = [&](const std::string &index, const Query &asked, std::vector<double> &opening,
                             std::vector<double> &answering, std::vector<double> &writing, std::uint64_t &bytes) {
            const double start = millisecondsOn(CLOCK_MONOTONIC);
            const CorpusIndex::Opened opened = CorpusIndex::open(index);
            const double openedAt = millisecondsOn(CLOCK_MONOTONIC);
            if (!opened.corpus)
                return;
            const bool pattern = asked.phrase.starts_with('[');
            if (pattern)
                opened.corpus->ranks(opened.corpus->forward());
            const double rankedAt = millisecondsOn(CLOCK_MONOTONIC);
            if (pattern)
                ranking.push_back(rankedAt - openedAt);
            const QueryAnswer answer = answerQuery(*opened.corpus, asked);
            const double answeredAt = millisecondsOn(CLOCK_MONOTONIC);
            if (answer.status != QueryAnswer::Status::Found)
                return;
            TreeFormat format;
            format.pruning = asked.pruning;
            format.encoding = labelEncoding(opened.corpus->options());
            format.forms = answer.forms;
            bytes = 0;
            OutputBuffer output([&bytes](std::string_view written) {
                bytes += written.size();
                return true;
            });
            writeTrees(nullptr, answer.forward.get(), format, true, output);
            output.finish();
            writing.push_back(millisecondsOn(CLOCK_MONOTONIC) - answeredAt);
            opening.push_back(openedAt - start);
            answering.push_back(answeredAt - rankedAt);
        };
        for (int i = 0; i < runs; ++i) {
            one(conlluIndex, query, open, answer, json, jsonBytes);
            one(plainIndex, plainQuery, plainOpen, plainAnswer, plainJson, plainJsonBytes);
        }
        phaseRow("CorpusIndex::open (every layer's ids checked)", median(open), median(plainOpen));
        phaseRow("Corpus::ranks: the suffix array's inverse, made once per process for a pattern / -", median(ranking), 0);
        phaseRow(("answerQuery: the pattern / \"" + phrase + "\"").c_str(), median(answer), median(plainAnswer));
        std::snprintf(what, sizeof what, "the JSON, --depth 3 (%.1f / %.1f MB)",
                      static_cast<double>(jsonBytes) / megabyte, static_cast<double>(plainJsonBytes) / megabyte);
        phaseRow(what, median(json), median(plainJson));
    }

    for (const std::string &index : {conlluIndex, lemmaIndex, verticalIndex, plainIndex})
        std::filesystem::remove(index);
    std::filesystem::remove(errors);
    if (temporary)
        std::filesystem::remove_all(folder);
    return allPassed ? 0 : 1;
}
