// Questions of a saved index within a tenth of its documents (--where)
// against the same questions of the whole index.
//
//   morvanet_where_bench DIR [--text FILE] [--copies N] [--runs N]
//
// Writes into DIR (kept, and used again when there) a folder of documents:
// the text (kjv.txt by default) cut into ten parts by lines and written N
// times (23 by default: 100 MB of the King James Bible), each document with
// a year in metadata.csv, and its saved index (--save-index). Then, as whole
// processes of morvanet-tree, page cache warm (one run of each not counted,
// then the median of --runs, 7 by default), each question by turns with and
// without --where 'year<Y' (the first tenth of the documents), drawn as a
// picture at phrase scale (--png), as a reader would ask. Exits with 1 when the budget fails.
#include "BenchClock.h"
#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double budget = 2.0;  // a tenth of the documents against all of them
constexpr int parts = 10;       // documents per copy of the text
constexpr int firstYear = 1600;

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The folder of documents and its table, unless written before.
void writeDocuments(const fs::path &folder, const std::string &text, int copies)
{
    if (fs::exists(folder / "metadata.csv"))
        return;
    fs::create_directories(folder);
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (int p = 1; p <= parts; ++p) {
        std::size_t to = p == parts ? text.size() : text.find('\n', text.size() * p / parts);
        to = to == std::string::npos ? text.size() : to + 1;
        pieces.push_back(text.substr(from, to - from));
        from = to;
    }
    std::string table = "path,year\n";
    for (int c = 0; c < copies; ++c) {
        for (int p = 0; p < parts; ++p) {
            char name[32];
            std::snprintf(name, sizeof name, "d%04d.txt", c * parts + p);
            std::ofstream(folder / name, std::ios::binary) << pieces[p];
            table += std::string(name) + "," + std::to_string(firstYear + c * parts + p) + "\n";
        }
    }
    std::ofstream(folder / "metadata.csv", std::ios::binary) << table;
}

struct Timed {
    double ms = -1;
};

// Wall-clock milliseconds of one run of `args`; exits on a failure.
double timed(const std::vector<std::string> &args)
{
    std::string failure;
    const double started = millisecondsOn(CLOCK_MONOTONIC);
    runProcess(args, 600, failure);
    if (!failure.empty()) {
        std::fprintf(stderr, "morvanet_where_bench: %s: %s\n", args.back().c_str(), failure.c_str());
        std::exit(2);
    }
    return millisecondsOn(CLOCK_MONOTONIC) - started;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string dir, textPath = MORVANET_BENCH_TEXT;
    int copies = 23, runs = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--text" && i + 1 < argc)
            textPath = argv[++i];
        else if (arg == "--copies" && i + 1 < argc)
            copies = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (dir.empty() && !arg.starts_with("--"))
            dir = arg;
        else {
            std::fprintf(stderr, "usage: morvanet_where_bench DIR [--text FILE] [--copies N] [--runs N]\n");
            return 2;
        }
    }
    if (dir.empty() || copies < 1 || runs < 1) {
        std::fprintf(stderr, "usage: morvanet_where_bench DIR [--text FILE] [--copies N] [--runs N]\n");
        return 2;
    }
    const std::string text = readFile(textPath);
    if (text.empty()) {
        std::fprintf(stderr, "morvanet_where_bench: cannot read %s\n", textPath.c_str());
        return 2;
    }
    const fs::path folder = fs::path(dir) / "documents";
    const std::string index = (fs::path(dir) / "documents.index").string();
    writeDocuments(folder, text, copies);
    if (!fs::exists(index)) {
        std::fprintf(stderr, "saving %s\n", index.c_str());
        timed({MORVANET_TREE_TOOL, "--save-index", index, folder.string()});
    }
    const int documents = copies * parts;
    const std::string where = "year<" + std::to_string(firstYear + (documents + 9) / 10);
    const std::string picture = (fs::path(dir) / "tree.png").string();
    const char *questions[][2] = {{"the LORD", ""}, {"and", ""}, {",", "--both"}, {"the", "--sentences"}};

    std::printf("%d documents (%zu bytes of text each copy), a tenth: --where '%s'\n\n", documents, text.size(),
                where.c_str());
    std::printf("| question | all (ms) | a tenth (ms) | ratio | budget |\n|---|---:|---:|---:|---|\n");
    bool held = true;
    for (const auto &question : questions) {
        std::vector<std::string> all{MORVANET_TREE_TOOL, "--scale", "phrase", "--png", picture};
        if (*question[1])
            all.push_back(question[1]);
        std::vector<std::string> tenth = all;
        tenth.insert(tenth.end(), {"--where", where});
        all.insert(all.end(), {index, question[0]});
        tenth.insert(tenth.end(), {index, question[0]});
        const auto [whole, part] =
            pairedMedians([&] { return Timed{timed(all)}; }, [&] { return Timed{timed(tenth)}; }, runs, 1);
        const double ratio = part.ms / whole.ms;
        held = held && ratio <= budget;
        std::printf("| \"%s\" %s | %.0f | %.0f | %.2fx | <= %.0fx: %s |\n", question[0], question[1], whole.ms,
                    part.ms, ratio, budget, ratio <= budget ? "PASS" : "FAIL");
        std::fflush(stdout);
    }
    return held ? 0 : 1;
}
