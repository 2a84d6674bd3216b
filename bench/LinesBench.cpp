// The lines pane on a million occurrences: filling the model, painting frames
// at random scroll offsets, ordering, narrowing to a node, exporting.
//
//   morvanet_lines_bench [--copies N] [--phrase P] [--frames N] [--screenshot FILE]
//
// The corpus is a folder of N copies (16 by default) of the benchmark text,
// written into a temporary folder; the phrase ("the" by default) is searched
// with case folding.
#include "BenchClock.h"
#include "ConcordanceModel.h"
#include "LinesPane.h"
#include "QueryAnswer.h"
#include "QueryTreeOccurrences.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

double now()
{
    return millisecondsOn(CLOCK_MONOTONIC);
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    int copies = 16, frames = 300;
    std::string phrase = "the";
    QString screenshot;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--copies") == 0)
            copies = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--phrase") == 0)
            phrase = argv[i + 1];
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--screenshot") == 0)
            screenshot = QString::fromLocal8Bit(argv[i + 1]);
    }

    QFile source(QStringLiteral(MORVANET_BENCH_TEXT));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "morvanet_lines_bench: cannot read %s\n", MORVANET_BENCH_TEXT);
        return 1;
    }
    const QByteArray text = source.readAll();
    QTemporaryDir dir;
    for (int copy = 0; copy < copies; ++copy) {
        QFile file(dir.filePath(QStringLiteral("part%1.txt").arg(copy, 3, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 1;
    }

    double start = now();
    CorpusRequest request;
    request.path = QFile::encodeName(dir.path()).toStdString();
    request.options.foldCase = true;
    OpenedCorpus::Outcome outcome = OpenedCorpus::open(request);
    if (!outcome.opened) {
        std::fprintf(stderr, "morvanet_lines_bench: %s\n", outcome.reason.c_str());
        return 1;
    }
    const std::shared_ptr<const OpenedCorpus> opened = std::move(outcome.opened);
    std::printf("corpus: %d copies, %.1f MB, %llu tokens, opened in %.0f ms\n", copies,
                static_cast<double>(opened->bytesRead()) / 1e6,
                static_cast<unsigned long long>(opened->corpus().tokenCount()), now() - start);

    Query query;
    query.phrase = phrase;
    start = now();
    const PhraseOccurrences found = queryOccurrences(opened->corpus(), query);
    std::printf("occurrences of \"%s\": %zu, found in %.1f ms\n", phrase.c_str(), found.starts.size(), now() - start);

    LinesPane pane;
    pane.resize(1280, 720);
    pane.show();
    QApplication::processEvents();
    ConcordanceModel &model = *pane.model();
    start = now();
    model.setOccurrences(opened, found.starts, found.length);
    const double filled = now() - start;
    QApplication::processEvents();
    std::printf("filling the pane: %.1f ms, then painting %.1f ms\n", filled, now() - start - filled);

    // Frames: jump to a random offset and paint the viewport at once.
    QTableView &view = *pane.view();
    std::mt19937 random(1);
    const auto paintFrames = [&](const char *what) {
        std::vector<double> times, cpu;
        QScrollBar &bar = *view.verticalScrollBar();
        for (int frame = 0; frame < frames; ++frame) {
            const double began = now(), cpuBegan = millisecondsOn(CLOCK_THREAD_CPUTIME_ID);
            bar.setValue(static_cast<int>(random() % static_cast<unsigned>(std::max(bar.maximum(), 1))));
            view.viewport()->repaint();
            times.push_back(now() - began);
            cpu.push_back(millisecondsOn(CLOCK_THREAD_CPUTIME_ID) - cpuBegan);
        }
        std::printf("%s: %d frames of %d rows, wall median %.2f ms, 95%% %.2f ms, worst %.2f ms; "
                    "CPU median %.2f ms, 95%% %.2f ms\n",
                    what, frames, view.viewport()->height() / view.verticalHeader()->defaultSectionSize(),
                    median(times), percentile(times, 0.95), *std::max_element(times.begin(), times.end()),
                    median(cpu), percentile(cpu, 0.95));
    };
    paintFrames("scrolling, text order");
    {
        // The model's part of a frame: a screenful of rows made at a random offset.
        std::vector<double> times;
        const int screen = view.viewport()->height() / view.verticalHeader()->defaultSectionSize() + 1;
        for (int frame = 0; frame < frames; ++frame) {
            const int first = static_cast<int>(random() % static_cast<unsigned>(model.rowCount() - screen));
            const double began = now();
            for (int row = first; row < first + screen; ++row) {
                for (int column = 0; column < ConcordanceModel::ColumnCount; ++column)
                    model.index(row, column).data();
            }
            times.push_back(now() - began);
        }
        std::printf("rows made for a frame: %d rows, median %.2f ms, worst %.2f ms\n", screen, median(times),
                    *std::max_element(times.begin(), times.end()));
    }

    for (const auto order : {ConcordanceModel::Order::LeftWord, ConcordanceModel::Order::RightWord,
                             ConcordanceModel::Order::Text}) {
        start = now();
        const double cpuStart = millisecondsOn(CLOCK_THREAD_CPUTIME_ID);
        model.setOrder(order);
        const double ordered = now() - start, orderedCpu = millisecondsOn(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
        QApplication::processEvents();
        std::printf("ordering by %s: %.1f ms (CPU %.1f ms), then painting %.1f ms\n",
                    order == ConcordanceModel::Order::LeftWord    ? "left word"
                    : order == ConcordanceModel::Order::RightWord ? "right word"
                                                                  : "text position",
                    ordered, orderedCpu, now() - start - ordered);
        if (order == ConcordanceModel::Order::LeftWord)
            paintFrames("scrolling, left word order");
    }

    // The heaviest node below the root of each tree.
    query.direction = QueryDirection::Both;
    const QueryAnswer answer = answerQuery(opened->corpus(), query);
    for (const TreeDirection side : {TreeDirection::Forward, TreeDirection::Backward}) {
        const PhraseNode *root = side == TreeDirection::Forward ? answer.forward.get() : answer.backward.get();
        if (root == nullptr || root->children().empty())
            continue;
        const PhraseNode *path[] = {root, root->children().front().get()};
        start = now();
        const TreeOccurrences occurrences = queryTreeOccurrences(opened->corpus(), query, side);
        const double made = now() - start;
        start = now();
        std::vector<Corpus::Position> through = occurrences.through(path);
        const std::size_t count = through.size();
        const double searched = now() - start;
        model.narrow(std::move(through), QString::fromStdString(path[1]->label()));
        QApplication::processEvents();
        std::printf("narrowing to \"%s\" (%s, %zu lines): occurrences %.1f ms, through %.1f ms, pane %.1f ms\n",
                    path[1]->labelPrefix(40).c_str(), side == TreeDirection::Forward ? "after" : "before", count, made,
                    searched, now() - start - searched);
    }
    if (!screenshot.isEmpty())
        pane.grab().save(screenshot);
    model.widen();

    QFile sink(QStringLiteral("/dev/null"));
    sink.open(QIODevice::WriteOnly);
    start = now();
    model.writeTsv(sink);
    std::printf("exporting %zu lines as TSV: %.0f ms\n", model.shownCount(), now() - start);
    return 0;
}
