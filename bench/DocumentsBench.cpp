// Documents against plain text: what reading a folder of HTML pages, TEI
// files, Word, OpenDocument and e-book files costs beside reading the same
// text as .txt files, and how many PDF pages a second the loader reads.
//
//   morvanet_documents_bench [DIR] [--megabytes N] [--document-kb N] [--runs N]
//                            [--pdf-pages N] [--text FILE]
//
// Writes its inputs into DIR (kept) or a temporary folder (removed): the
// text (../shared/corpora/kjv.txt by default) dealt out to documents of
// about 200 KB of text each, the five formats in turn, N megabytes of text
// in all (100 by default), then the text each document gives as a .txt
// file of its own (what loadTexts reads from it, so both sides hold the
// same bytes), and, when python3 has reportlab, PDFs of 50 pages each
// (400 pages by default). Each reading is loadTexts in a child process of
// its own (this program again), timed there by the wall clock around the
// call, with the child's peak resident memory; documents and texts by
// turns, one run of each not counted (the page cache warm), then the median
// of --runs (5 by default). Then the same for the command a user waits on,
// morvanet-tree --depth 0 --counts FOLDER "And God" (reading, indexing and
// answering), timed from spawning to reaping, with its peak memory; and
// the PDFs read on two cores and on one (OMP_NUM_THREADS), in pages a
// second. Exits with 1 when a budget fails.
#include "BenchClock.h"
#include "ChildProcess.h"
#include "DocumentInputs.h"
#include "CorpusFiles.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char **environ;

namespace {

// Reading the documents may take at most this many times reading their text as .txt files.
constexpr double readingBudget = 3.0;
constexpr double megabyte = 1e6;

// What a child said of one reading.
struct Reading {
    double ms = -1;  // -1: failed
    double peakMb = 0;
    std::uint64_t bytes = 0, documents = 0, skipped = 0;
};

// The child: reads `path` as the command line reads it (no limit) and says
// how long loadTexts took, what it gave, and the peak memory.
int readInChild(const std::string &path)
{
    const double start = millisecondsOn(CLOCK_MONOTONIC);
    std::string reason;
    const std::optional<LoadedTexts> texts = loadTexts(path, 0, &reason);
    const double ms = millisecondsOn(CLOCK_MONOTONIC) - start;
    if (!texts) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
        return 1;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f %.1f %llu %llu %llu\n", ms, static_cast<double>(usage.ru_maxrss) / 1024,
                static_cast<unsigned long long>(texts->bytesRead),
                static_cast<unsigned long long>(texts->documents.size()),
                static_cast<unsigned long long>(texts->skipped));
    return 0;
}

// The child that makes the plain side: each document of `documents` as a
// .txt file below `texts`, at its path in the folder with ".txt" added.
int writeTextsInChild(const std::string &documents, const std::string &texts)
{
    std::string reason;
    const std::optional<LoadedTexts> loaded = loadTexts(documents, 0, &reason);
    if (!loaded || loaded->skipped != 0) {
        std::fprintf(stderr, "%s: %s\n", documents.c_str(), loaded ? "documents passed over" : reason.c_str());
        return 1;
    }
    for (const TextDocument &document : loaded->documents) {
        const std::string path = texts + document.path.substr(documents.size()) + ".txt";
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << document.bytes;
    }
    return 0;
}

// Runs `args` (args[0] a path) to its end, its output to /dev/null: the
// wall clock from spawning to reaping, and the child's own peak resident
// memory (from wait4).
Reading runCommand(const std::vector<std::string> &args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const double started = millisecondsOn(CLOCK_MONOTONIC);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Reading ran;
    int status = 0;
    rusage usage{};
    if (spawned != 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "morvanet_documents_bench: %s failed\n", args[0].c_str());
        return ran;
    }
    ran.ms = millisecondsOn(CLOCK_MONOTONIC) - started;
    ran.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
    return ran;
}

Reading readOnce(const std::string &self, const std::string &path)
{
    std::string failure;
    const std::string out = runProcess({self, "--read", path}, 600, failure);
    Reading reading;
    unsigned long long bytes = 0, documents = 0, skipped = 0;
    if (!failure.empty()
        || std::sscanf(out.c_str(), "%lf %lf %llu %llu %llu", &reading.ms, &reading.peakMb, &bytes, &documents,
                       &skipped)
               != 5) {
        std::fprintf(stderr, "morvanet_documents_bench: reading %s failed (%s)\n", path.c_str(), failure.c_str());
        return {};
    }
    reading.bytes = bytes;
    reading.documents = documents;
    reading.skipped = skipped;
    return reading;
}

// `a` and `b` read by turns, one of each not counted, then `runs` of each:
// each one's run of median time.
std::pair<Reading, Reading> pairedReadings(const std::string &self, const std::string &a, const std::string &b,
                                           int runs)
{
    return pairedMedians([&] { return readOnce(self, a); }, [&] { return readOnce(self, b); }, runs, 1);
}

// The command `tool ... FOLDER PHRASE` on `a` and on `b` by turns, one of each not counted, then `runs` of each.
std::pair<Reading, Reading> pairedCommands(const std::string &tool, const std::string &a, const std::string &b,
                                           int runs)
{
    const auto command = [&](const std::string &folder) {
        return std::vector<std::string>{tool, "--depth", "0", "--counts", folder, "And God"};
    };
    return pairedMedians([&] { return runCommand(command(a)); }, [&] { return runCommand(command(b)); }, runs, 1);
}

std::string figure(const Reading &reading)
{
    if (reading.ms < 0)
        return "failed";
    char text[64];
    std::snprintf(text, sizeof text, "%.0f ms (%.0f MB)", reading.ms, reading.peakMb);
    return text;
}

bool allPassed = true;

// A row: the measure, both readings, their ratio and the budget's verdict (budget 0: none).
void printRow(const std::string &what, const std::pair<Reading, Reading> &pair, double budget)
{
    const auto &[documents, texts] = pair;
    const double ratio = documents.ms > 0 && texts.ms > 0 ? documents.ms / texts.ms : -1;
    char ratioText[32] = "-", verdict[64] = "-";
    if (ratio >= 0)
        std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
    if (budget > 0) {
        const bool pass = ratio >= 0 && ratio <= budget;
        allPassed = allPassed && pass;
        std::snprintf(verdict, sizeof verdict, "<= %.1fx: %s", budget, pass ? "PASS" : "FAIL");
    }
    std::printf("| %s | %llu (%.1f MB) | %s | %s | %s | %s |\n", what.c_str(),
                static_cast<unsigned long long>(documents.documents), static_cast<double>(documents.bytes) / megabyte,
                figure(documents).c_str(), figure(texts).c_str(), ratioText, verdict);
    std::fflush(stdout);
}

// Wall-clock time of reading `path` with OMP_NUM_THREADS at `threads`: the median of `runs` after one.
Reading readingOn(const std::string &self, const std::string &path, int threads, int runs)
{
    ::setenv("OMP_NUM_THREADS", std::to_string(threads).c_str(), 1);
    std::vector<Reading> all;
    for (int i = 0; i <= runs; ++i) {
        all.push_back(readOnce(self, path));
        if (all.back().ms < 0)
            break;
    }
    ::unsetenv("OMP_NUM_THREADS");
    if (all.back().ms < 0)
        return {};
    all.erase(all.begin());
    std::sort(all.begin(), all.end(), [](const Reading &x, const Reading &y) { return x.ms < y.ms; });
    return all[all.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && argv[1] == std::string("--read"))
        return readInChild(argv[2]);
    if (argc == 4 && argv[1] == std::string("--write-texts"))
        return writeTextsInChild(argv[2], argv[3]);

    std::string folder, text = MORVANET_BENCH_TEXT;
    double megabytes = 100, documentKb = 200;
    int runs = 5, pdfPages = 400;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool valued = i + 1 < argc;
        if (arg == "--megabytes" && valued)
            megabytes = std::atof(argv[++i]);
        else if (arg == "--document-kb" && valued)
            documentKb = std::max(1.0, std::atof(argv[++i]));
        else if (arg == "--runs" && valued)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--pdf-pages" && valued)
            pdfPages = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--text" && valued)
            text = argv[++i];
        else if (!arg.starts_with("--") && folder.empty())
            folder = argv[i];
        else {
            std::fprintf(stderr, "Usage: morvanet_documents_bench [DIR] [--megabytes N] [--document-kb N] [--runs N] "
                                 "[--pdf-pages N] [--text FILE]\n");
            return 2;
        }
    }
    const bool temporary = folder.empty();
    if (temporary) {
        char name[] = "/tmp/morvanet-documents-XXXXXX";
        if (!::mkdtemp(name)) {
            std::perror("morvanet_documents_bench: mkdtemp");
            return 2;
        }
        folder = name;
    } else {
        std::filesystem::create_directories(folder);
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const std::string documents = folder + "/documents", texts = folder + "/texts", pdfs = folder + "/pdf";

    const double writeStart = millisecondsOn(CLOCK_MONOTONIC);
    DocumentInputs inputs;
    std::string reason;
    std::filesystem::remove_all(documents);
    std::filesystem::remove_all(texts);
    std::filesystem::remove_all(pdfs);
    if (!inputs.write(text, documents, static_cast<std::uint64_t>(megabytes * megabyte),
                      static_cast<std::uint64_t>(documentKb * 1000), reason)) {
        std::fprintf(stderr, "morvanet_documents_bench: %s\n", reason.c_str());
        return 2;
    }
    std::string failure;
    runProcess({self, "--write-texts", documents, texts}, 600, failure);
    if (!failure.empty()) {
        std::fprintf(stderr, "morvanet_documents_bench: the texts could not be written (%s)\n", failure.c_str());
        return 2;
    }
    std::string pdfReason;
    const bool havePdfs = pdfPages > 0 && inputs.writePdfs(text, pdfs, pdfPages, 50, pdfReason);
    std::printf("Inputs in %s (written in %.1f s): %s dealt out to %llu documents of about %.0f KB of text "
                "(%llu paragraphs), the five formats in turn, %.1f MB on disk; the same texts as .txt files%s\n\n",
                folder.c_str(), (millisecondsOn(CLOCK_MONOTONIC) - writeStart) / 1000, text.c_str(),
                static_cast<unsigned long long>(inputs.documents), documentKb,
                static_cast<unsigned long long>(inputs.paragraphs), static_cast<double>(inputs.diskBytes) / megabyte,
                havePdfs ? ("; " + std::to_string(pdfPages) + " pages of PDF, 50 to a file").c_str() : "");
    std::printf("loadTexts in a child process, wall clock around the call, with the child's peak resident memory "
                "(MiB); documents and texts by turns, the page cache warm: one run of each not counted, then the "
                "median of %d\n\n",
                runs);
    std::printf("| measure | documents (text) | documents | txt | ratio | budget |\n|---|---:|---:|---:|---:|---|\n");
    std::fflush(stdout);
    const std::pair<Reading, Reading> all = pairedReadings(self, documents, texts, runs);
    const std::uint64_t inputTextBytes = all.first.bytes;
    printRow("all five formats", all, readingBudget);
    for (const char *format : {"html", "tei", "docx", "odt", "epub"})
        printRow(std::string(format) + " alone", pairedReadings(self, documents + "/" + format, texts + "/" + format, runs),
                 0);
    ::setenv("OMP_NUM_THREADS", "1", 1);
    printRow("all five formats, one core", pairedReadings(self, documents, texts, runs), 0);
    ::unsetenv("OMP_NUM_THREADS");
    // What a user waits for: the command reads the folder, indexes it and answers.
    std::pair<Reading, Reading> command = pairedCommands(MORVANET_TREE_TOOL, documents, texts, runs);
    command.first.bytes = inputTextBytes;
    command.first.documents = inputs.documents;
    printRow("morvanet-tree --depth 0 --counts FOLDER \"And God\" (whole process)", command, readingBudget);

    std::printf("\n");
    if (havePdfs) {
        std::printf("| PDF | pages | cores | ms | pages/s | peak MB |\n|---|---:|---:|---:|---:|---:|\n");
        for (const int threads : {2, 1}) {
            const Reading reading = readingOn(self, pdfs, threads, runs);
            if (reading.ms < 0)
                std::printf("| %d files | %d | %d | failed | - | - |\n", (pdfPages + 49) / 50, pdfPages, threads);
            else
                std::printf("| %d files | %d | %d | %.0f | %.0f | %.0f |\n", (pdfPages + 49) / 50, pdfPages, threads,
                            reading.ms, pdfPages / (reading.ms / 1000), reading.peakMb);
            std::fflush(stdout);
        }
    } else {
        std::printf("PDF: not measured: %s\n", pdfPages > 0 ? pdfReason.c_str() : "--pdf-pages 0");
    }
    std::printf("\nBudget: %s\n", allPassed ? "PASS" : "FAIL (see the row marked FAIL)");
    if (temporary)
        std::filesystem::remove_all(folder);
    return allPassed ? 0 : 1;
}
