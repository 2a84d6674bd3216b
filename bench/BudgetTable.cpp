// morvanet_budget: prints, for each benchmark input and phrase set, the times and memory that the budgets bound.
//
// Without arguments it runs one child process per input (so that each peak
// memory is that input's own) and prints the table. A child (--input NAME)
// loads or generates its megabyte, builds the corpus several times, then for
// each phrase set builds and draws every phrase's tree on the default canvas
// (offscreen) and prints one line per set. --old uses the grouping builder
// instead of the suffix-array one (when the tests were built), with a minute
// per input and without drawing (its trees are the same). --write-inputs DIR writes the inputs as files.
//
// --reverse, --ignore-case, --unicode, --segment and --both each add a mode
// to the plain one (which always runs: the others' corpus times are compared
// with it; --segment brings --unicode, with whose corpus times its own are
// compared too): one child per input and mode (--mode NAME), so that each peak is that
// mode's own, one table per mode, one budget line per mode, and one line per
// mode comparing its corpus times with the plain ones. Each tree is also
// listed as morvanet-tree --layout lists it (its picture made and listed).
//
// --processes times the morvanet-tree command itself (--png and --layout) on
// every input in every mode, as a user runs it, against the plain mode.
//
// --corpora prints the table of whole corpora instead (see CorpusTable.h).
#include "BenchClock.h"
#include "ChildProcess.h"
#include "Corpus.h"
#include "CorpusTable.h"
#include "CorpusOptions.h"
#include "PhraseSearch.h"
#include "TreeDrawing.h"
#include "TreePicture.h"
#ifdef MORVANET_HAVE_GROUPING
#include "GroupingPhraseTree.h"
#endif

#include <QApplication>
#include <QGraphicsScene>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>


namespace {

constexpr std::size_t inputBytes = 1'000'000;
constexpr int canvasWidth = 1051;
constexpr int canvasHeight = 711;
constexpr int corpusRuns = 9;
constexpr std::size_t phrasesPerSet = 100;
// Each phrase's tree is built and drawn this many times; its time is the
// median. A run slower than a quarter second is not repeated.
constexpr int phraseRuns = 5;
constexpr double repeatBelowMs = 250;
// Once a set's drawing has taken this long, its remaining trees are built but not drawn.
constexpr double drawingPerSetMs = 20'000;
constexpr int oldBuilderSeconds = 60;
// How long one child (input and mode) may take, unless --seconds N says otherwise.
int childSeconds = 600;
// A mode may take at most this many times the plain corpus construction.
constexpr double corpusRatioBudget = 2.0;
// The segmented rules may take at most this many times the Unicode rules' corpus construction.
constexpr double segmentRatioBudget = 3.0;

// How the corpus is cut and compared, which way the trees go and how their labels are drawn.
struct Mode {
    const char *name;  // also its flag, after "--"
    const char *what;
    CorpusOptions options;
    TreeDirection direction;
    LabelEncoding encoding;
    const char *flag;   // morvanet-tree's option for the mode, if any
    bool both = false;  // the double tree: the forward tree and the backward one
};

const Mode modes[] = {
    {"plain", "forward trees, byte tokens, drawn as the canvas draws", {}, TreeDirection::Forward,
     LabelEncoding::Latin1, nullptr},
    {"reverse",
     "backward trees, drawn mirrored; the corpus time includes building the backward index",
     {},
     TreeDirection::Backward,
     LabelEncoding::Latin1,
     "--reverse"},
    {"ignore-case",
     "case-folded corpus, phrases searched as they are",
     {.words = WordRules::Bytes, .foldCase = true},
     TreeDirection::Forward,
     LabelEncoding::Latin1,
     "--ignore-case"},
    {"unicode",
     "corpus cut by Unicode rules, labels drawn as UTF-8",
     {.words = WordRules::Unicode, .foldCase = false},
     TreeDirection::Forward,
     LabelEncoding::Utf8,
     "--unicode"},
    {"segment",
     "corpus cut into ICU's word segments (dictionaries for Chinese, Japanese, Thai), labels drawn as UTF-8",
     {.words = WordRules::Segmented, .foldCase = false},
     TreeDirection::Forward,
     LabelEncoding::Utf8,
     "--segment"},
    {"both",
     "double trees (both sides drawn around one middle label); build is both trees' search, the corpus time "
     "includes the backward index",
     {},
     TreeDirection::Forward,
     LabelEncoding::Latin1,
     "--both",
     true},
};

const Mode *findMode(const std::string &name)
{
    for (const Mode &mode : modes) {
        if (name == mode.name)
            return &mode;
    }
    return nullptr;
}

// The mode this process measures.
const Mode *mode = &modes[0];
bool plainMode() { return mode == &modes[0]; }

struct Input {
    const char *name;
    const char *what;
};

const Input inputs[] = {
    {"kjv", "first MB of kjv.txt"},
    {"la", "\"la la ...\" (333,333 whole words)"},
    {"la-cut", "\"la la ...\" cut inside a word at 1 MB"},
    {"logs", "identical log lines"},
    {"twice", "text without \".\", written twice"},
    {"twice-accents", "the same with accented words (UTF-8)"},
    {"cjk", "first MB of chinese-fortunes.txt"},
    {"ja", "first MB of japanese-debian-reference.txt"},
    {"th", "thai-messages.txt (0.3 MB)"},
    {"a.a.", "\"a.a.a.\" (1,000,000 tokens)"},
    {"distinct", "distinct words without \".\""},
    {"one-token", "one word, no blanks"},
};

// The input's megabyte; the generated ones are the same on every run.
std::string inputText(const std::string &name)
{
    std::string text;
    if (name == "kjv" || name == "cjk" || name == "ja" || name == "th") {
        const char *const path = name == "kjv"   ? MORVANET_BENCH_TEXT
                                 : name == "cjk" ? MORVANET_BENCH_CJK_TEXT
                                 : name == "ja"  ? MORVANET_BENCH_JA_TEXT
                                                 : MORVANET_BENCH_TH_TEXT;
        std::ifstream file(path, std::ios::binary);
        text.resize(inputBytes);
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        // Whole characters: the megabyte ends before a UTF-8 character it would cut.
        const bool utf8 = name != "kjv";
        while (utf8 && !text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back();
        if (utf8 && !text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0)
            text.pop_back();
        return text;
    }
    text.reserve(inputBytes + 100);
    if (name == "la") {
        while (text.size() + 3 <= inputBytes)
            text += "la ";
    } else if (name == "la-cut") {
        // The last word is cut to "l", so every level of "la" branches into "la" and "l".
        while (text.size() < inputBytes)
            text += "la ";
    } else if (name == "logs") {
        while (text.size() < inputBytes)
            text += "2024-05-01 12:00:00 INFO worker-pool: task finished in 3 ms, queue empty\n";
    } else if (name == "twice" || name == "twice-accents") {
        // Prose-like words (a few thousand, drawn with Zipf-like frequencies)
        // and no ".", then the same half megabyte again; with accents, every
        // third word has an accented letter (two bytes of UTF-8).
        std::mt19937 random(2024);
        std::vector<std::string> words;
        const char *const accented[] = {"\xc3\xa9", "\xc3\xa8", "\xc3\xaf", "\xc3\xb6", "\xc3\xa7", "\xc5\xa1"};
        for (int i = 0; i < 4000; ++i) {
            std::string word;
            for (int letters = 2 + static_cast<int>(random() % 7); letters > 0; --letters)
                word += static_cast<char>('a' + random() % 26);
            if (name == "twice-accents" && i % 3 == 0)
                word.insert(1, accented[static_cast<std::size_t>(i / 3) % std::size(accented)]);
            words.push_back(word);
        }
        std::vector<double> weights;
        for (std::size_t i = 0; i < words.size(); ++i)
            weights.push_back(1.0 / static_cast<double>(i + 1));
        std::discrete_distribution<std::size_t> zipf(weights.begin(), weights.end());
        while (text.size() < inputBytes / 2)
            text += words[zipf(random)] + (random() % 9 == 0 ? ",\n" : " ");
        text += text;
    } else if (name == "a.a.") {
        while (text.size() < inputBytes)
            text += "a.";
    } else if (name == "distinct") {
        for (std::uint32_t i = 0; text.size() < inputBytes; ++i) {
            // Letters only: i written in base 26.
            std::string word;
            for (std::uint32_t v = i + 26 * 27; v > 0; v /= 26)
                word += static_cast<char>('a' + v % 26);
            text += word + ' ';
        }
    } else if (name == "one-token") {
        text.assign(inputBytes, 'x');
    }
    text.resize(std::min(text.size(), inputBytes));
    return text;
}

// Times are the CPU time of this thread (user and system, page faults
// included) unless --wall is given: on a shared machine other processes then
// do not inflate them, and on an idle one they equal the wall time.
bool wallClock = false;

double nowMs(clockid_t cpuClock = CLOCK_THREAD_CPUTIME_ID)
{
    return millisecondsOn(wallClock ? CLOCK_MONOTONIC : cpuClock);
}

std::string tokensJoined(const Corpus &corpus, Corpus::Position start, std::size_t count)
{
    std::string phrase;
    for (std::size_t i = 0; i < count; ++i)
        phrase += (i ? " " : "") + std::string(corpus.token(start + static_cast<Corpus::Position>(i)));
    return phrase;
}

std::vector<std::string> frequentTokens(const Corpus &corpus)
{
    std::vector<std::uint32_t> counts(corpus.vocabularySize(), 0);
    for (Corpus::TokenId id : corpus.tokenIds())
        ++counts[id];
    std::vector<Corpus::TokenId> ids(corpus.vocabularySize());
    for (Corpus::TokenId id = 0; id < ids.size(); ++id)
        ids[id] = id;
    std::stable_sort(ids.begin(), ids.end(), [&](auto a, auto b) { return counts[a] > counts[b]; });
    ids.resize(std::min(ids.size(), phrasesPerSet));
    std::vector<std::string> phrases;
    for (Corpus::TokenId id : ids)
        phrases.emplace_back(corpus.tokenText(id));
    return phrases;
}

std::vector<std::string> drawnPairs(const Corpus &corpus)
{
    std::vector<std::string> phrases;
    if (corpus.tokenCount() < 2)
        return phrases;
    std::mt19937 random(7);
    for (std::size_t i = 0; i < phrasesPerSet; ++i)
        phrases.push_back(tokensJoined(corpus, static_cast<Corpus::Position>(random() % (corpus.tokenCount() - 1)), 2));
    return phrases;
}

using Builder = std::unique_ptr<PhraseNode> (*)(const Corpus &, std::string_view);

// A click's search in the current mode (the plain mode keeps buildPhraseTree, the same search forward).
std::unique_ptr<PhraseNode> searchInMode(const Corpus &corpus, std::string_view text)
{
    return searchPhrase(corpus, text, mode->direction).root;
}

// The tree or trees one phrase draws in the current mode: the root, and for
// a double tree the backward side beside it.
struct Trees {
    std::unique_ptr<PhraseNode> root;
    std::unique_ptr<PhraseNode> backward;
};

Trees buildTrees(const Corpus &corpus, const std::string &phrase, Builder build)
{
    Trees trees;
    trees.root = build(corpus, phrase);
    if (mode->both && trees.root)
        trees.backward = searchPhrase(corpus, phrase, TreeDirection::Backward).root;
    return trees;
}

TreeSides sidesOf(const Trees &trees)
{
    if (mode->both)
        return {trees.root.get(), trees.backward.get()};
    return mode->direction == TreeDirection::Forward ? TreeSides{trees.root.get(), nullptr}
                                                     : TreeSides{nullptr, trees.root.get()};
}

// How the trees' labels are sized (--phrase-scale).
LabelScale scale = LabelScale::Corpus;

TreeDrawingRequest drawingOf(const Trees &trees)
{
    TreeDrawingRequest request;
    request.layout.sides = sidesOf(trees);
    request.layout.height = canvasHeight;
    request.layout.width = canvasWidth;
    request.scale = scale;
    request.encoding = mode->encoding;
    return request;
}

// Draws `root` as the viewer draws it in the current mode: the plain mode as
// the canvas has always drawn (long labels cut), the others as the tool
// draws one side (a backward tree mirrored, labels in the mode's encoding);
// at the phrase scale as the tool draws every mode.
TreeLayout drawInMode(QGraphicsScene &scene, const Trees &trees)
{
    if (plainMode() && scale == LabelScale::Corpus)
        return drawTreeInScene(scene, *trees.root, canvasHeight, canvasWidth, /*cutLongLabels=*/true);
    return drawTreesInScene(scene, drawingOf(trees));
}

// What morvanet-tree --layout does once it has the trees: makes the picture
// and lists its labels. Returns the listing's size.
std::size_t listInMode(const Trees &trees)
{
    const QSize canvas(canvasWidth, canvasHeight);
    if (plainMode() && scale == LabelScale::Corpus)
        return TreePicture(*trees.root, canvas).listing().size();
    return TreePicture(drawingOf(trees)).listing().size();
}

struct SetResult {
    std::vector<double> build;
    std::vector<double> draw;
    std::vector<double> list;
    std::size_t mostItems = 0;
    std::size_t mostListed = 0;  // the longest listing's bytes
    std::size_t trees = 0;
    std::vector<std::string> firstLabels;  // the labels drawn for the set's first tree
};

std::vector<std::string> drawnLabels(const TreeLayout &layout)
{
    std::vector<std::string> labels;
    for (const TreeLayout::Item &item : layout.items()) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&item))
            labels.push_back(label->node->label());
    }
    return labels;
}

// Delivers what the scene queued for the event loop while items were added
// (polishing them), as the viewer's event loop does right after a drawing.
// There is no event loop here: without this, the scene's queue of items to
// polish grows with every drawing, and each item removed by the next clear()
// searches it, so that a drawing took longer the more drawings came before
// it (the KJV's largest tree from 24 to over 100 ms).
void runQueuedWork(QGraphicsScene &scene)
{
    QCoreApplication::sendPostedEvents(&scene, QEvent::MetaCall);
}

// The old builder's trees are the same, so --old measures building only.
bool drawing = true;

SetResult runSet(const Corpus &corpus, const std::vector<std::string> &phrases, Builder build, QGraphicsScene &scene)
{
    SetResult result;
    for (const std::string &phrase : phrases) {
        Trees trees;
        std::vector<double> times;
        for (int run = 0; run < phraseRuns && (times.empty() || times[0] < repeatBelowMs); ++run) {
            trees = {};
            const double start = nowMs();
            trees = buildTrees(corpus, phrase, build);
            times.push_back(nowMs() - start);
        }
        result.build.push_back(median(times));
        if (!trees.root || (mode->both && !trees.backward))
            continue;
        ++result.trees;
        double drawing = 0;
        for (double ms : result.draw)
            drawing += ms;
        if (!::drawing) {
            if (result.firstLabels.empty()) {
                scene.clear();
                result.firstLabels = drawnLabels(drawInMode(scene, trees));
                runQueuedWork(scene);
            }
            continue;
        }
        if (drawing > drawingPerSetMs)
            continue;
        // As the canvas draws: clear the scene, then lay out and add the
        // items, long labels cut at the canvas edge; then the work the scene
        // queued for the event loop.
        times.clear();
        TreeLayout layout;
        for (int run = 0; run < phraseRuns && (times.empty() || times[0] < repeatBelowMs); ++run) {
            // A tree makes a node's children when they are first read, so
            // each drawing gets a fresh tree and pays for the nodes it reads.
            if (run > 0)
                trees = buildTrees(corpus, phrase, build);
            const double start = nowMs();
            scene.clear();
            layout = drawInMode(scene, trees);
            runQueuedWork(scene);
            times.push_back(nowMs() - start);
        }
        result.draw.push_back(median(times));
        result.mostItems = std::max<std::size_t>(result.mostItems, static_cast<std::size_t>(scene.items().size()));
        if (result.firstLabels.empty())
            result.firstLabels = drawnLabels(layout);
        scene.clear();
        // The --layout listing of the same tree, from a fresh one.
        times.clear();
        for (int run = 0; run < phraseRuns && (times.empty() || times[0] < repeatBelowMs); ++run) {
            trees = buildTrees(corpus, phrase, build);
            const double start = nowMs();
            result.mostListed = std::max(result.mostListed, listInMode(trees));
            times.push_back(nowMs() - start);
        }
        result.list.push_back(median(times));
    }
    scene.clear();
    return result;
}

int runInput(const std::string &name, bool old, int argc, char **argv)
{
    Builder build = plainMode() ? buildPhraseTree : searchInMode;
    if (old) {
#ifdef MORVANET_HAVE_GROUPING
        build = buildGroupingPhraseTree;
        ::drawing = false;
        // A runaway uncollapsed tree fails here instead of taking the machine.
        const rlimit memory{8ull << 30, 8ull << 30};
        setrlimit(RLIMIT_AS, &memory);
#else
        std::fprintf(stderr, "the grouping builder was not built (configure with the tests)\n");
        return 2;
#endif
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::string text = inputText(name);
    if (text.empty()) {
        std::printf("missing\n");
        return 0;
    }
    // Freed memory stays with the process, so that the repeated
    // constructions measure the corpus rather than the kernel's page faults
    // on memory handed back and asked for again (more memory, as a mode with
    // a second index takes, is handed back more often). The first, cold
    // construction is reported on its own.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    std::vector<double> corpusTimes;
    std::unique_ptr<Corpus> corpus;
    const std::string_view documents[] = {text};
    for (int run = 0; run < corpusRuns; ++run) {
        corpus.reset();
        // Wall-clock time: a backward index is built beside the forward one,
        // on the second core, as a user waits for it (take the table on an
        // otherwise idle machine).
        const double start = nowMs(CLOCK_MONOTONIC);
        // Backward trees read the backward index: it is part of making the corpus.
        corpus = std::make_unique<Corpus>(documents, mode->options,
                                          mode->both || mode->direction == TreeDirection::Backward);
        corpusTimes.push_back(nowMs(CLOCK_MONOTONIC) - start);
    }
    const double coldCorpus = corpusTimes.front();

    QGraphicsScene scene;
    const std::vector<std::string> frequent = frequentTokens(*corpus);
    const std::vector<std::string> pairs = drawnPairs(*corpus);
    std::map<std::string, SetResult> results;
    results["frequent"] = runSet(*corpus, frequent, build, scene);
    results["pairs"] = runSet(*corpus, pairs, build, scene);
    std::vector<std::string> labels = results["frequent"].firstLabels;
    if (labels.size() > phrasesPerSet)
        labels.resize(phrasesPerSet);
    results["labels"] = runSet(*corpus, labels, build, scene);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const std::size_t sizes[] = {frequent.size(), pairs.size(), labels.size()};
    int i = 0;
    for (const char *set : {"frequent", "pairs", "labels"}) {
        const SetResult &r = results[set];
        const auto largest = [](const std::vector<double> &v) {
            return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
        };
        std::printf("%s %zu %zu %zu %llu %.2f %.2f %.2f %.2f %.2f %zu %ld %.2f %.2f %.2f %zu\n", set, sizes[i++],
                    r.trees, r.draw.size(), static_cast<unsigned long long>(corpus->tokenCount()),
                    median(corpusTimes), median(r.build), largest(r.build), median(r.draw), largest(r.draw),
                    r.mostItems, usage.ru_maxrss, coldCorpus, median(r.list), largest(r.list), r.mostListed);
    }
    return 0;
}

// Runs `self --input name`, returns its output, or "" after `seconds` or a failure.
std::string runChild(const char *self, const std::string &name, bool old, int seconds, std::string &failure)
{
    std::vector<std::string> args{self, "--input", name, "--mode", ::mode->name};
    if (old)
        args.emplace_back("--old");
    if (wallClock)
        args.emplace_back("--wall");
    if (scale == LabelScale::Phrase)
        args.emplace_back("--phrase-scale");
    const std::string output = runProcess(std::move(args), seconds, failure);
    if (old && failure.rfind("killed", 0) == 0)
        failure += " (over 8 GB?)";
    return output;
}

// What one mode's table found, for the budget lines.
struct ModeSummary {
    const Mode *mode = nullptr;
    double worstCorpus = 0, worstBuild = 0, worstDraw = 0, worstList = 0, worstPeak = 0;
    bool complete = true;
    std::vector<std::pair<const Input *, double>> corpusMs;  // per input that finished
};

// Runs one child per input in the current mode and prints its table.
ModeSummary printModeTable(const char *self, bool old)
{
    ModeSummary summary;
    summary.mode = ::mode;
    std::printf("| input | tokens | corpus ms | phrases | build med | build max | draw med | draw max | items | "
                "layout med | layout max | listed KB | peak MB |\n");
    std::printf("|---|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    double &worstCorpus = summary.worstCorpus, &worstBuild = summary.worstBuild, &worstDraw = summary.worstDraw,
           &worstPeak = summary.worstPeak;
    bool &complete = summary.complete;
    for (const Input &input : inputs) {
        std::string failure;
        const std::string output = runChild(self, input.name, old, old ? oldBuilderSeconds : childSeconds, failure);
        if (!failure.empty()) {
            std::printf("| %s | | | | %s | | | | | | | | |\n", input.what, failure.c_str());
            complete = false;
            continue;
        }
        if (output.rfind("missing", 0) == 0) {
            std::printf("| %s | | | | (input missing) | | | | | | | | |\n", input.what);
            continue;
        }
        std::istringstream lines(output);
        std::string set;
        std::size_t phrases = 0, trees = 0, drawn = 0, items = 0, listed = 0;
        unsigned long long tokens = 0;
        double corpusMs = 0, buildMed = 0, buildMax = 0, drawMed = 0, drawMax = 0, listMed = 0, listMax = 0;
        long peakKb = 0;
        double coldMs = 0;
        bool first = true;
        while (lines >> set >> phrases >> trees >> drawn >> tokens >> corpusMs >> buildMed >> buildMax >> drawMed >> drawMax >> items
               >> peakKb >> coldMs >> listMed >> listMax >> listed) {
            const double peakMb = static_cast<double>(peakKb) / 1024.0;
            const std::string drawnNote =
                drawn < trees ? " (" + std::to_string(drawn) + " of " + std::to_string(trees) + " drawn)" : "";
            std::printf("| %s | %s | %s | %s (%zu) | %.2f | %.2f | %.2f%s | %.2f | %zu | %.2f | %.2f | %.1f | %s |\n",
                        first ? input.what : "",
                        first ? std::to_string(tokens).c_str() : "",
                        first ? (std::to_string(static_cast<int>(corpusMs * 10 + 0.5) / 10) + "."
                                 + std::to_string(static_cast<int>(corpusMs * 10 + 0.5) % 10) + " (cold "
                                 + std::to_string(static_cast<int>(coldMs + 0.5)) + ")")
                                    .c_str()
                              : "",
                        set.c_str(), phrases, buildMed, buildMax, drawMed, drawnNote.c_str(), drawMax, items, listMed,
                        listMax, static_cast<double>(listed) / 1024.0, first ? std::to_string(static_cast<int>(peakMb + 0.5)).c_str() : "");
            if (first)
                summary.corpusMs.emplace_back(&input, corpusMs);
            worstCorpus = std::max(worstCorpus, corpusMs);
            worstBuild = std::max(worstBuild, buildMax);
            worstDraw = std::max(worstDraw, drawMax);
            summary.worstList = std::max(summary.worstList, listMax);
            complete = complete && drawn == trees;
            worstPeak = std::max(worstPeak, peakMb);
            first = false;
        }
        std::fflush(stdout);
    }
    return summary;
}

void printBudgets(const ModeSummary &s, bool named)
{
    std::printf("Budgets (medians)%s%s: corpus <= 40 ms: %s (worst %.1f); build <= 5 ms for every phrase: %s (worst "
                "%.2f); draw <= 50 ms for every tree: %s (worst %.2f); layout listing <= 50 ms for every tree: %s "
                "(worst %.2f); peak <= 300 MB: %s (worst %.0f)%s\n",
                named ? ", " : "", named ? s.mode->name : "", s.worstCorpus <= 40 ? "holds" : "MISSED", s.worstCorpus,
                s.worstBuild <= 5 ? "holds" : "MISSED", s.worstBuild, s.worstDraw <= 50 ? "holds" : "MISSED",
                s.worstDraw, s.worstList <= 50 ? "holds" : "MISSED", s.worstList, s.worstPeak <= 300 ? "holds" : "MISSED",
                s.worstPeak,
                s.complete ? "" : "; not every input finished or had every tree drawn");
}

// One line: the mode's corpus time over the plain one, input by input, and the worst ratio.
void printCorpusRatio(const ModeSummary &plain, const ModeSummary &s, double budget = corpusRatioBudget)
{
    double worst = 0;
    const char *worstInput = "";
    std::string each;
    for (const auto &[input, ms] : s.corpusMs) {
        for (const auto &[plainInput, plainMs] : plain.corpusMs) {
            if (plainInput != input || plainMs <= 0)
                continue;
            const double ratio = ms / plainMs;
            char part[64];
            std::snprintf(part, sizeof part, "%s%s %.2f", each.empty() ? "" : ", ", input->name, ratio);
            each += part;
            if (ratio > worst) {
                worst = ratio;
                worstInput = input->name;
            }
        }
    }
    std::printf("Corpus time, %s / %s <= %.0fx: %s (worst %.2fx, %s; %s)\n", s.mode->name, plain.mode->name, budget,
                worst <= budget ? "holds" : "MISSED", worst, worstInput, each.c_str());
}

int printTable(const char *self, bool old, const std::vector<const Mode *> &chosen)
{
    std::printf("%s builder, %s, canvas %dx%d, corpus: median of %d builds (wall-clock time, freed memory "
                "kept; the first, cold build in brackets); build and draw: each phrase's median of "
                "%d runs, then the median and the largest over the set (ms); items: most scene items of one tree\n\n",
                old ? "Grouping (old)" : "Suffix-array", wallClock ? "wall-clock times" : "thread CPU times",
                canvasWidth, canvasHeight, corpusRuns, phraseRuns);
    const bool named = chosen.size() > 1;
    std::vector<ModeSummary> summaries;
    for (const Mode *each : chosen) {
        ::mode = each;
        if (named)
            std::printf("Mode %s: %s\n\n", each->name, each->what);
        summaries.push_back(printModeTable(self, old));
        std::printf("\n");
        std::fflush(stdout);
    }
    for (const ModeSummary &s : summaries)
        printBudgets(s, named);
    for (std::size_t i = 1; i < summaries.size(); ++i)
        printCorpusRatio(summaries[0], summaries[i]);
    const auto named_ = [&](const char *name) {
        const auto found = std::find_if(summaries.begin(), summaries.end(),
                                        [name](const ModeSummary &s) { return std::string_view(s.mode->name) == name; });
        return found == summaries.end() ? nullptr : &*found;
    };
    if (named_("unicode") && named_("segment"))
        printCorpusRatio(*named_("unicode"), *named_("segment"), segmentRatioBudget);
    return 0;
}

// The morvanet-tree command on every input, in every mode, as a user runs
// it: the whole process, corpus and Qt included, timed by the wall clock.
constexpr int processRuns = 3;
constexpr double processRatioBudget = 2.0;

// A phrase as it goes into a table cell.
std::string cell(const std::string &phrase)
{
    std::string out = "`";
    for (char c : phrase)
        out += c == '|' ? std::string("\\|") : c == '`' ? std::string("'") : std::string(1, c);
    return out + "`";
}

int printProcessTable()
{
    char dir[] = "/tmp/morvanet-processes-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    std::printf("morvanet-tree, wall-clock ms, median of %d runs, default canvas; phrases: the most frequent "
                "token and the first token of the text in the mode's own corpus\n\n",
                processRuns);
    std::printf("| input | mode | phrases | --png ms | --layout ms | --png / plain | --layout / plain |\n");
    std::printf("|---|---|---|---:|---:|---:|---:|\n");
    std::map<const Mode *, double> worst;
    std::map<const Mode *, std::string> worstAt;
    for (const Input &input : inputs) {
        const std::string text = inputText(input.name);
        // The one word of a megabyte cannot be one command-line argument.
        if (text.empty() || std::string_view(input.name) == "one-token")
            continue;
        const std::string path = std::string(dir) + "/" + input.name + ".txt";
        std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        std::map<std::string, double> plainMs;  // by format and phrase kind
        for (const Mode &each : modes) {
            const std::string_view documents[] = {text};
            const Corpus corpus(documents, each.options);
            const std::vector<std::string> frequent = frequentTokens(corpus);
            if (frequent.empty())
                continue;
            const std::string phrases[] = {frequent.front(), std::string(corpus.token(0))};
            // An argument holds at most 128 kB (MAX_ARG_STRLEN): a longer
            // token (the segmented rules make one word of "a.a.a.") cannot
            // be asked from the command line.
            constexpr std::size_t longestArgument = 100000;
            if (phrases[0].size() > longestArgument || phrases[1].size() > longestArgument) {
                std::printf("| %s | %s | a token of %zu bytes | not asked: longer than an argument may be | | | |\n",
                            input.what, each.name, std::max(phrases[0].size(), phrases[1].size()));
                continue;
            }
            std::string times[2];
            double ratios[2] = {0, 0};
            for (int format = 0; format < 2; ++format) {
                for (int kind = 0; kind < 2; ++kind) {
                    std::vector<std::string> args{MORVANET_TREE_TOOL};
                    if (each.flag)
                        args.emplace_back(each.flag);
                    if (format == 0) {
                        args.emplace_back("--png");
                        args.emplace_back(std::string(dir) + "/tree.png");
                    } else {
                        args.emplace_back("--layout");
                    }
                    args.emplace_back("--");
                    args.push_back(path);
                    args.push_back(phrases[kind]);
                    std::vector<double> runs;
                    std::string failure;
                    for (int run = 0; run < processRuns && failure.empty(); ++run) {
                        const double start = millisecondsOn(CLOCK_MONOTONIC);
                        runProcess(args, childSeconds, failure);
                        runs.push_back(millisecondsOn(CLOCK_MONOTONIC) - start);
                    }
                    const double ms = median(runs);
                    char part[64];
                    std::snprintf(part, sizeof part, "%s%.0f%s", kind ? " / " : "", ms, failure.empty() ? "" : " (failed)");
                    times[format] += part;
                    const std::string key = std::to_string(format) + std::to_string(kind);
                    if (&each == &modes[0])
                        plainMs[key] = ms;
                    else if (plainMs[key] > 0)
                        ratios[format] = std::max(ratios[format], ms / plainMs[key]);
                }
            }
            const bool plain = &each == &modes[0];
            std::printf("| %s | %s | %s, %s | %s | %s | %s | %s |\n", input.what, each.name, cell(phrases[0]).c_str(),
                        cell(phrases[1]).c_str(), times[0].c_str(), times[1].c_str(),
                        plain ? "" : (std::to_string(ratios[0]).substr(0, 4) + "x").c_str(),
                        plain ? "" : (std::to_string(ratios[1]).substr(0, 4) + "x").c_str());
            std::fflush(stdout);
            for (double ratio : ratios) {
                if (!plain && ratio > worst[&each]) {
                    worst[&each] = ratio;
                    worstAt[&each] = input.name;
                }
            }
        }
        std::remove(path.c_str());
    }
    std::remove((std::string(dir) + "/tree.png").c_str());
    rmdir(dir);
    std::printf("\n");
    for (const Mode &each : modes) {
        if (&each == &modes[0])
            continue;
        std::printf("Process time, %s / plain <= %.0fx (--png and --layout): %s (worst %.2fx, %s)\n", each.name,
                    processRatioBudget, worst[&each] <= processRatioBudget ? "holds" : "MISSED", worst[&each],
                    worstAt[&each].c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    bool old = false;
    std::string input;
    std::string inputsDir;
    std::string corpusInput;
    bool corpora = false;
    bool processes = false;
    bool gigabyte = false;
    bool textTable = true;
    bool corpusSegmented = false;  // the corpus input is cut by the segmented rules
    // The plain mode always runs first: the other modes' corpus times are compared with it.
    std::vector<const Mode *> chosen{&modes[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--old") {
            old = true;
        } else if (arg == "--wall") {
            wallClock = true;
        } else if (arg == "--phrase-scale") {
            scale = LabelScale::Phrase;
        } else if (arg == "--input" && i + 1 < argc) {
            input = argv[++i];
        } else if (arg == "--mode" && i + 1 < argc && findMode(argv[i + 1])) {
            ::mode = findMode(argv[++i]);
        } else if (arg.rfind("--", 0) == 0 && findMode(arg.substr(2)) && findMode(arg.substr(2)) != &modes[0]) {
            chosen.push_back(findMode(arg.substr(2)));
            // The segmented corpus times are compared with the Unicode ones.
            if (arg == "--segment")
                chosen.push_back(findMode("unicode"));
        } else if (arg == "--seconds" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            childSeconds = std::atoi(argv[++i]);
        } else if (arg == "--processes") {
            processes = true;
        } else if (arg == "--corpora") {
            corpora = true;
        } else if (arg == "--gigabyte") {
            gigabyte = true;
        } else if (arg == "--saved-only") {
            textTable = false;
        } else if (arg == "--corpus-input" && i + 1 < argc) {
            corpusInput = argv[++i];
        } else if (arg == "--corpus-segmented") {
            corpusSegmented = true;
        } else if (arg == "--write-inputs" && i + 1 < argc) {
            inputsDir = argv[++i];
        } else {
            std::fprintf(stderr,
                         "Usage: morvanet_budget [--old] [--wall] [--phrase-scale] [--reverse] [--ignore-case] [--unicode] [--segment] [--both] "
                         "[--seconds N] | --processes | --corpora [--gigabyte] [--saved-only] [--seconds N] | "
                         "--write-inputs DIR\n");
            return 2;
        }
    }
    if (old && (chosen.size() > 1 || !plainMode())) {
        std::fprintf(stderr, "--old measures the plain mode only\n");
        return 2;
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    if (!input.empty())
        return runInput(input, old, argc, argv);
    if (!corpusInput.empty())
        return runCorpusInput(corpusInput, corpusSegmented, argc, argv);
    if (!inputsDir.empty()) {
        // The inputs as files, for trying them in the viewer or morvanet-tree.
        for (const Input &each : inputs) {
            const std::string text = inputText(each.name);
            std::ofstream file(inputsDir + "/" + each.name + ".txt", std::ios::binary);
            file.write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        // And the whole corpora of --corpora.
        return writeCorpusInputs(inputsDir) ? 0 : 1;
    }
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 1;
    self[length] = '\0';
    if (processes)
        return printProcessTable();
    if (corpora)
        return printCorpusTable(self, childSeconds, gigabyte, textTable);
    return printTable(self, old, chosen);
}
