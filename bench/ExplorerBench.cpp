// morvanet_explorer_bench: the explorer's budgets, measured in its real window on the offscreen platform.
//
// Usage: morvanet_explorer_bench [--text FILE] [--folder-megabytes N]
// Prints one table: the time from opening a folder of N MB (copies of FILE's
// chapters, default 100) to its first tree; the redraw after a control
// change on the first megabyte of FILE in every mode; a zoomed pan frame; and
// the longest stall of the GUI thread over a scripted session.
#include "BenchClock.h"
#include "ExplorerWindow.h"
#include "TreePicture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

double now()
{
    return millisecondsOn(CLOCK_MONOTONIC);
}

void waitFor(const std::function<bool()> &done)
{
    const double start = now();
    while (!done() && now() - start < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::string readText(const char *path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "morvanet_explorer_bench: cannot read %s\n", path);
        std::exit(2);
    }
    return file.readAll().toStdString();
}

void row(const char *what, const char *budget, double milliseconds, bool met)
{
    std::printf("%-52s %10.1f ms  %-8s %s\n", what, milliseconds, budget, met ? "ok" : "MISSED");
}

// A window opened on `path`, its first tree asked for.
struct Opened {
    std::unique_ptr<ExplorerWindow> window;
    double milliseconds = 0;
};

Opened open(const QString &path, const ExplorerControls &controls, const std::string &phrase)
{
    Opened opened;
    opened.window = std::make_unique<ExplorerWindow>(controls);
    opened.window->resize(1280, 860);
    opened.window->show();
    QCoreApplication::processEvents();
    const double start = now();
    opened.window->openPath(path, phrase);
    waitFor([&] { return opened.window->canvas().answer() != nullptr || !opened.window->opener().busy(); });
    opened.window->canvas().viewport()->repaint();
    opened.milliseconds = now() - start;
    return opened;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const char *textPath = MORVANET_BENCH_TEXT;
    int folderMegabytes = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--text") == 0)
            textPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--folder-megabytes") == 0)
            folderMegabytes = std::atoi(argv[i + 1]);
    }
    QApplication application(argc, argv);
    QTemporaryDir work;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.filePath(QStringLiteral("config")));
    QCoreApplication::setOrganizationName(QStringLiteral("MorvanetBench"));

    const std::string text = readText(textPath);
    QDir(work.path()).mkdir(QStringLiteral("folder"));
    // A folder of files of about 4 MB each, N MB in all.
    const std::size_t fileBytes = 4u << 20;
    std::size_t written = 0;
    for (int n = 0; written < static_cast<std::size_t>(folderMegabytes) << 20; ++n) {
        QFile file(work.filePath(QStringLiteral("folder/part-%1.txt").arg(n, 3, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        for (std::size_t put = 0; put < fileBytes; put += text.size())
            file.write(text.data(), static_cast<qint64>(std::min(text.size(), fileBytes - put)));
        written += fileBytes;
    }
    const QString megabyte = work.filePath(QStringLiteral("megabyte.txt"));
    {
        QFile file(megabyte);
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        file.write(text.data(), static_cast<qint64>(std::min<std::size_t>(text.size(), 1000000)));
    }

    std::printf("%-52s %13s  %-8s\n", "measure", "time", "budget");
    {
        const Opened big = open(work.filePath(QStringLiteral("folder")), {}, "the LORD");
        const std::string what = "open a " + std::to_string(folderMegabytes) + " MB folder to its first tree";
        row(what.c_str(), "-", big.milliseconds, big.window->canvas().answer() != nullptr);
    }

    // Redraws after a control change, in every mode.
    struct Mode {
        const char *name;
        QueryDirection direction;
        CorpusOptions corpus;
    };
    const Mode modes[] = {
        {"plain", QueryDirection::After, {}},
        {"reverse", QueryDirection::Before, {}},
        {"both", QueryDirection::Both, {}},
        {"ignore-case", QueryDirection::After, {WordRules::Bytes, true}},
        {"unicode", QueryDirection::After, {WordRules::Unicode, false}},
    };
    double worstRedraw = 0;
    for (const Mode &mode : modes) {
        ExplorerControls controls;
        controls.direction = mode.direction;
        controls.corpus = mode.corpus;
        Opened opened = open(megabyte, controls, "the");
        ExplorerWindow &window = *opened.window;
        std::vector<double> depth, direction;
        for (int round = 0; round < 5; ++round) {
            TreePruning pruning;
            pruning.maxDepth = round % 2 ? 3 : UINT32_MAX;
            double start = now();
            window.session().setPruning(pruning);
            window.canvas().viewport()->repaint();
            depth.push_back(now() - start);
            // Between two changes the window's event loop runs, as it would
            // between a user's clicks (what was shown before is let go then).
            QCoreApplication::processEvents();
            start = now();
            window.session().setDirection(round % 2 ? mode.direction
                                                    : mode.direction == QueryDirection::After ? QueryDirection::Both
                                                                                              : QueryDirection::After);
            window.canvas().viewport()->repaint();
            direction.push_back(now() - start);
            QCoreApplication::processEvents();
        }
        // The same tree drawn as the command draws it, for comparison.
        std::vector<double> picture;
        for (int round = 0; round < 3; ++round) {
            const QueryAnswer &answer = *window.canvas().answer();
            const double start = now();
            const TreePicture drawn(drawingRequest(TreeSides{answer.forward.get(), answer.backward.get()},
                                                   window.canvas().canvasSize(), labelEncoding(mode.corpus)));
            picture.push_back(now() - start);
        }
        const double worst = std::max(*std::max_element(depth.begin(), depth.end()),
                                      *std::max_element(direction.begin(), direction.end()));
        const std::string drawing = std::string("  the command's drawing of that tree, ") + mode.name + " (median)";
        row(drawing.c_str(), "-", median(picture), true);
        worstRedraw = std::max(worstRedraw, worst);
        const std::string what = std::string("redraw after a control change, 1 MB, ") + mode.name + " (worst)";
        row(what.c_str(), "<= 50", worst, worst <= 50);
        std::vector<double> all = depth;
        all.insert(all.end(), direction.begin(), direction.end());
        const std::string typical = std::string("  the same, median of the ten");
        row(typical.c_str(), "-", median(all), true);
    }

    // Zoomed pans: a frame is a scroll by a fifth of the view and its repaint.
    {
        Opened opened = open(megabyte, {}, "the");
        TreeCanvas &canvas = opened.window->canvas();
        std::vector<double> frames;
        for (const double zoom : {4.0, 16.0}) {
            canvas.setZoom(zoom, QPoint(0, canvas.viewport()->height() / 2));
            QScrollBar *down = canvas.verticalScrollBar();
            QScrollBar *across = canvas.horizontalScrollBar();
            const int step = canvas.viewport()->height() / 5;
            for (int i = 0; i < 60; ++i) {
                const double start = now();
                down->setValue(down->value() + (i % 20 < 10 ? step : -step));
                across->setValue(across->value() + step / 2);
                canvas.viewport()->repaint();
                frames.push_back(now() - start);
                QCoreApplication::processEvents();
            }
        }
        const double worst = *std::max_element(frames.begin(), frames.end());
        row("zoomed pan frame, 1 MB, zoom 4 and 16 (median)", "<= 16", median(frames), median(frames) <= 16);
        row("zoomed pan frame, 1 MB, zoom 4 and 16 (worst)", "<= 16", worst, worst <= 16);
    }

    // The longest gap between ticks of a 1 ms timer while a session is played.
    {
        ExplorerWindow window{ExplorerControls{}};
        window.resize(1280, 860);
        window.show();
        double last = now();
        double longest = 0;
        QTimer watchdog;
        watchdog.setInterval(1);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            const double at = now();
            longest = std::max(longest, at - last);
            last = at;
        });
        watchdog.start();
        window.openPath(megabyte);
        waitFor([&] { return !window.opener().busy(); });
        QLineEdit &phrase = window.phraseLine();
        phrase.setFocus();
        const auto pump = [] {
            for (int i = 0; i < 20; ++i) {
                QCoreApplication::processEvents();
                QThread::msleep(1);
            }
        };
        for (const char *typed : {"the Lord", "and the", "I will", "thou shalt"}) {
            phrase.clear();
            for (const char *c = typed; *c; ++c) {
                QTest::keyClick(&phrase, *c);
                pump();
            }
            QTest::keyClick(&phrase, Qt::Key_Escape);
            window.search(phrase.text());
            pump();
            for (const int key : {Qt::Key_2, Qt::Key_3, Qt::Key_1}) {
                QTest::keyClick(&window, static_cast<Qt::Key>(key), Qt::ControlModifier);
                pump();
            }
            window.canvas().setZoom(6.0);
            pump();
            window.canvas().verticalScrollBar()->setValue(window.canvas().verticalScrollBar()->maximum() / 3);
            pump();
            window.canvas().resetZoom();
            QTest::keyClick(&window, Qt::Key_Left, Qt::AltModifier);
            pump();
        }
        // Folding indexes the megabyte again on the worker.
        QTest::keyClick(&window, Qt::Key_I, Qt::ControlModifier);
        waitFor([&] { return !window.opener().busy(); });
        pump();
        row("longest GUI-thread stall over a scripted session", "<= 100", longest, longest <= 100);
    }
    return 0;
}
