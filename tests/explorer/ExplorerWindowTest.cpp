// The explorer's window on the offscreen platform: opening, searching, the controls, history, exports against the command.
#include "ConcordanceModel.h"
#include "ExplorerTestSupport.h"
#include "ExplorerWindow.h"
#include "IndexFormat.h"
#include "LinesPane.h"
#include "TextPane.h"
#include "TreePicture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QSettings>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QElapsedTimer>
#include "LabelItem.h"
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>

namespace {

using explorertest::readAll;
using explorertest::runTool;
using explorertest::waitFor;
using explorertest::Workspace;

using explorertest::openedWindow;

// How many pixels differ by more than `shade` in a channel.
int differingPixels(const QImage &a, const QImage &b, int shade)
{
    if (a.size() != b.size())
        return a.width() * a.height();
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            count += std::abs(qRed(p) - qRed(q)) > shade || std::abs(qGreen(p) - qGreen(q)) > shade
                     || std::abs(qBlue(p) - qBlue(q)) > shade;
        }
    }
    return count;
}

QImage canvasImage(TreeCanvas &canvas)
{
    return canvas.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(ExplorerWindow, OpensSearchesAndDrawsWhatTheCommandDraws)
{
    Workspace workspace;
    auto window = openedWindow(workspace.folder());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("texts — Morvanet Explorer"));
    EXPECT_TRUE(window->summaryText().contains(QStringLiteral("2 files"))) << window->summaryText().toStdString();
    EXPECT_EQ(window->recentPaths().front(), workspace.folder());

    // Return in the phrase line searches.
    QLineEdit &phrase = window->phraseLine();
    phrase.setFocus();
    QTest::keyClicks(&phrase, QStringLiteral("The cat"));
    QTest::keyClick(&phrase, Qt::Key_Return);
    ASSERT_TRUE(window->session().current());
    ASSERT_TRUE(window->canvas().answer());

    // In every direction the canvas at zoom 1 is the command's picture for its size.
    for (const int key : {Qt::Key_1, Qt::Key_2, Qt::Key_3}) {
        QTest::keyClick(window.get(), static_cast<Qt::Key>(key), Qt::ControlModifier);
        TreeCanvas &canvas = window->canvas();
        const QString png = workspace.file(QStringLiteral("tool.png"));
        const QStringList direction = key == Qt::Key_1   ? QStringList{}
                                      : key == Qt::Key_2 ? QStringList{QStringLiteral("--reverse")}
                                                         : QStringList{QStringLiteral("--both")};
        const QSize size = canvas.canvasSize();
        // The explorer stops every branch at sentence ends unless told otherwise.
        ASSERT_EQ(runTool(direction + QStringList{QStringLiteral("--sentences"), QStringLiteral("--scale"),
                                                  QStringLiteral("phrase"), QStringLiteral("--png"), png,
                                                  QStringLiteral("--size"),
                                                  QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                                                  workspace.folder(), QStringLiteral("The cat")})
                      .status,
                  0);
        EXPECT_EQ(QImage(png).convertToFormat(QImage::Format_RGB32), canvasImage(canvas)) << key;
    }
    EXPECT_EQ(window->session().history().size(), 3u);

    // A click on a label follows its branch, Shift+click searches the label
    // alone; Alt+Left goes back to the double tree, and the phrase line with it.
    TreeCanvas &canvas = window->canvas();
    // Going back lays the canvas out again: find the label afresh each time.
    const auto lastLabel = [&]() -> std::optional<TreeLayout::Label> {
        const auto &items = canvas.layout().items();
        const auto found = std::find_if(items.rbegin(), items.rend(), [&](const TreeLayout::Item &item) {
            const auto *label = std::get_if<TreeLayout::Label>(&item);
            return label && label->more == 0 && label->node != canvas.layout().middle();
        });
        if (found == items.rend())
            return std::nullopt;
        return std::get<TreeLayout::Label>(*found);
    };
    const std::optional<TreeLayout::Label> last = lastLabel();
    ASSERT_TRUE(last);
    const std::string alone = last->node->label();
    const QPoint at = canvas.mapFromScene(QPointF(last->x + last->size.width / 2, last->y + last->size.height / 2));
    QTest::mouseClick(canvas.viewport(), Qt::LeftButton, Qt::ShiftModifier, at);
    EXPECT_EQ(window->session().current()->phrase, alone);
    EXPECT_EQ(phrase.text().toStdString(), alone.substr(0, 1000));
    QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
    const std::optional<TreeLayout::Label> again = lastLabel();
    ASSERT_TRUE(again);
    ASSERT_EQ(again->node->label(), alone);
    const std::uint32_t count = again->node->count();
    QTest::mouseClick(canvas.viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(window->session().current()->found());
    const std::string followed = window->session().current()->phrase;
    EXPECT_NE(followed.find("The cat"), std::string::npos) << followed;
    EXPECT_NE(followed.find(alone), std::string::npos) << followed;
    EXPECT_EQ(window->session().current()->answer->forward->count(), count);
    QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(window->session().current()->phrase, "The cat");
    EXPECT_EQ(phrase.text(), QStringLiteral("The cat"));
    EXPECT_EQ(window->session().controls().direction, QueryDirection::Both);

    // Zoomed, the canvas shows, where it looks, the command's picture of a
    // canvas as many times as large, its labels grown by the square root.
    canvas.setZoom(2.0, QPoint(0, 0));
    const QSize twice(qRound(canvas.canvasSize().width() * 2.0), qRound(canvas.canvasSize().height() * 2.0));
    const QueryAnswer &answer = *canvas.answer();
    TreeDrawingRequest request = drawingRequest(TreeSides{answer.forward.get(), answer.backward.get()}, twice,
                                                LabelEncoding::Latin1, TreePruning{}, LabelScale::Phrase);
    request.layout.zoom = 2.0;
    const QImage big = TreePicture(request).image();
    const QImage seen = canvasImage(canvas);
    // A curve drawn by the scrolled view may land a pixel apart (see TreeCanvas).
    EXPECT_LT(differingPixels(seen, big.copy(QRect(canvas.mapToScene(QPoint(0, 0)).toPoint(), seen.size())), 64), 16);
    QTest::keyClick(window.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(canvas.zoom(), 1.0);
}

TEST(ExplorerWindow, ExportsWhatTheCommandWrites)
{
    Workspace workspace;
    ExplorerControls controls;
    controls.direction = QueryDirection::Both;
    controls.corpus.foldCase = true;
    controls.pruning.maxDepth = 2;
    auto window = openedWindow(workspace.folder(), controls);
    window->search(QStringLiteral("the cat"));
    ASSERT_TRUE(window->canvas().answer());

    const QSize size = window->canvas().canvasSize();
    const QStringList options{QStringLiteral("--both"),  QStringLiteral("--sentences"), QStringLiteral("--ignore-case"),
                              QStringLiteral("--depth"), QStringLiteral("2"),          QStringLiteral("--scale"),
                              QStringLiteral("phrase"),  QStringLiteral("--size"),
                              QStringLiteral("%1x%2").arg(size.width()).arg(size.height())};
    const QStringList question{workspace.folder(), QStringLiteral("the cat")};
    for (const QString &name : {QStringLiteral("tree.png"), QStringLiteral("tree.svg")}) {
        const QString mine = workspace.file(QStringLiteral("mine-") + name);
        const QString tool = workspace.file(QStringLiteral("tool-") + name);
        ASSERT_TRUE(window->exportPicture(mine));
        const QString option = name.endsWith(QLatin1String("png")) ? QStringLiteral("--png") : QStringLiteral("--svg");
        ASSERT_EQ(runTool(options + QStringList{option, tool} + question).status, 0);
        if (name.endsWith(QLatin1String("png")))
            EXPECT_EQ(QImage(mine), QImage(tool));
        else
            EXPECT_EQ(readAll(mine), readAll(tool));
    }
    ASSERT_TRUE(window->exportTree(workspace.file(QStringLiteral("tree.txt"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("tree.txt"))), runTool(options + question).out);
    ASSERT_TRUE(window->exportTree(workspace.file(QStringLiteral("tree.json"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("tree.json"))),
              runTool(options + QStringList{QStringLiteral("--json")} + question).out);
    ASSERT_TRUE(window->exportLines(workspace.file(QStringLiteral("lines.tsv"))));
    // The pane names a folder's files below the folder.
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("lines.tsv"))),
              runTool(QStringList{QStringLiteral("--ignore-case"), QStringLiteral("--kwic"), QStringLiteral("8")}
                      + question)
                  .out.replace(QFile::encodeName(workspace.folder() + QLatin1Char('/')), QByteArray()));
    EXPECT_FALSE(window->exportTree(workspace.file(QStringLiteral("no/such/folder/tree.txt"))));

    // A saved index opens with the rules it was saved with, and answers as the command does.
    const QString index = workspace.file(QStringLiteral("texts.index"));
    ASSERT_EQ(runTool({QStringLiteral("--unicode"), QStringLiteral("--save-index"), index, workspace.folder()}).status, 0);
    window->openPath(index, std::string("cat"));
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    ASSERT_TRUE(window->session().corpus() && window->session().corpus()->saved()) << window->statusText().toStdString();
    EXPECT_EQ(window->session().controls().corpus, (CorpusOptions{WordRules::Unicode, false}));
    ASSERT_TRUE(window->exportTree(workspace.file(QStringLiteral("index.txt"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("index.txt"))),
              runTool({QStringLiteral("--both"), QStringLiteral("--sentences"), QStringLiteral("--unicode"),
                       QStringLiteral("--depth"), QStringLiteral("2"), index, QStringLiteral("cat")})
                  .out);
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_FALSE(window->opener().busy());
    EXPECT_FALSE(window->session().controls().corpus.foldCase);
    EXPECT_TRUE(window->statusText().contains(QStringLiteral("saved index"))) << window->statusText().toStdString();
}

TEST(ExplorerWindow, KeepsTheOpenCorpusWhenALoadFailsOrIsCancelled)
{
    Workspace workspace;
    auto window = openedWindow(workspace.folder());
    window->search(QStringLiteral("cat"));
    const auto corpus = window->session().corpus();

    window->openPath(workspace.file(QStringLiteral("missing.txt")));
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_EQ(window->session().corpus(), corpus);
    EXPECT_TRUE(window->statusText().startsWith(QStringLiteral("Cannot open missing.txt: ")))
        << window->statusText().toStdString();

    // A saved index with a token id that names no token, its checksums as
    // they were: refused in the status bar (its loading thread once read
    // far outside the vocabulary).
    const QString index = workspace.file(QStringLiteral("bad.index"));
    ASSERT_EQ(runTool({QStringLiteral("--save-index"), index, workspace.folder()}).status, 0);
    QByteArray bytes = readAll(index);
    indexformat::SectionEntry entry{};
    for (std::size_t at = sizeof(indexformat::Header);
         entry.kind != static_cast<std::uint32_t>(indexformat::SectionKind::TokenIds); at += sizeof entry)
        std::memcpy(&entry, bytes.constData() + at, sizeof entry);
    bytes.replace(static_cast<qsizetype>(entry.offset + 5 * 4), 4, QByteArray("\0\0\0\x40", 4));  // 0x40000000
    explorertest::writeFile(index, bytes.toStdString());
    window->openPath(index);
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_EQ(window->session().corpus(), corpus);
    EXPECT_EQ(window->statusText(), QStringLiteral("Cannot open bad.index: the index's token ids are out of range "
                                                   "(the index is damaged)"));

    // Ignore case re-indexes; Escape stops it and the controls go back.
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(window->opener().busy());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->opener().busy());
    EXPECT_EQ(window->session().corpus(), corpus);
    EXPECT_FALSE(window->session().controls().corpus.foldCase);
    EXPECT_TRUE(window->canvas().answer());

    // The segmented word rules index anew in the background and ask the phrase again.
    auto *words = window->findChild<QComboBox *>(QStringLiteral("wordRules"));
    words->setCurrentIndex(2);
    emit words->activated(2);
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_EQ(window->session().corpus()->request().options.words, WordRules::Segmented);
    ASSERT_TRUE(window->canvas().answer());

    // Depth and min count redraw at once, and are kept for the next start.
    window->findChild<QSpinBox *>(QStringLiteral("depth"))->setValue(1);
    EXPECT_EQ(window->session().controls().pruning.maxDepth, 1u);
    window->findChild<QSpinBox *>(QStringLiteral("minCount"))->setValue(2);
    EXPECT_EQ(window->session().controls().pruning.minCount, 2u);
    window->close();
    const ExplorerControls saved = savedExplorerControls();
    EXPECT_EQ(saved.pruning.maxDepth, 1u);
    EXPECT_EQ(saved.pruning.minCount, 2u);
    EXPECT_EQ(saved.corpus.words, WordRules::Segmented);
    EXPECT_EQ(QSettings().value(QStringLiteral("recent")).toStringList().front(), workspace.folder());
}

}  // namespace

namespace {

TEST(TreeCanvas, ZoomedAndPannedShowsTheLargerPictureWhereItLooksAtLayingOutLess)
{
    explorertest::Workspace workspace;
    auto window = openedWindow(QStringLiteral(MORVANET_SOURCE_DIR "/samples/genesis.txt"));
    TreeCanvas &canvas = window->canvas();
    // The viewer's sizes: the canvas lays out only the part in view.
    canvas.setLabelScale(LabelScale::Corpus);
    for (const QueryDirection direction : {QueryDirection::After, QueryDirection::Before, QueryDirection::Both}) {
        window->session().setDirection(direction);
        window->search(QStringLiteral("the LORD"));
        ASSERT_TRUE(canvas.answer());
        const QueryAnswer &answer = *canvas.answer();
        const std::size_t whole = canvas.layout().items().size();
        const double zoom = 3.0;
        canvas.setZoom(zoom, QPoint(0, 0));
        const QSize size(qRound(canvas.canvasSize().width() * zoom), qRound(canvas.canvasSize().height() * zoom));
        const TreePicture big(drawingRequest(TreeSides{answer.forward.get(), answer.backward.get()}, size));
        const QImage picture = big.image();
        std::size_t fewest = big.layout().items().size();
        std::size_t reused = 0;
        // Corners, middle and edges of the larger canvas, reached by the
        // scroll bars; from the middle, steps that overlap what was drawn, so
        // that labels drawn before are drawn again.
        for (const QPointF at : {QPointF(0, 0), QPointF(0.5, 0.5), QPointF(0.8, 0.5), QPointF(0.8, 0.8),
                                 QPointF(1, 1), QPointF(0, 1), QPointF(1, 0.3)}) {
            const QList<QGraphicsItem *> before = canvas.scene()->items();
            const std::set<const QGraphicsItem *> drawnBefore(before.begin(), before.end());
            QScrollBar *across = canvas.horizontalScrollBar();
            QScrollBar *down = canvas.verticalScrollBar();
            across->setValue(qRound(across->maximum() * at.x()));
            down->setValue(qRound(down->maximum() * at.y()));
            for (const QGraphicsItem *item : canvas.scene()->items())
                reused += item->type() == LabelItem::Type && drawnBefore.count(item);
            const QImage seen = canvasImage(canvas);
            const QPoint corner = canvas.mapToScene(QPoint(0, 0)).toPoint();
            // What the larger picture shows there, white beyond its edges.
            QImage expected(seen.size(), QImage::Format_RGB32);
            expected.fill(Qt::white);
            QPainter(&expected).drawImage(-corner, picture);
            // Glyphs and paths drawn by the scrolled view and by the picture
            // may come out a shade apart at their edges (see TreeCanvas).
            EXPECT_LT(differingPixels(seen, expected, 64), 64)
                << static_cast<int>(direction) << " at " << at.x() << "," << at.y();
            fewest = std::min(fewest, canvas.layout().items().size());
        }
        EXPECT_LT(fewest, big.layout().items().size() / 2) << static_cast<int>(direction);
        EXPECT_GT(reused, 0u) << static_cast<int>(direction);
        EXPECT_GT(big.layout().items().size(), whole);
        canvas.resetZoom();
    }
}

}  // namespace

namespace {

TEST(ExplorerWindow, ClosingDuringALoadEndsItAtOnce)
{
    explorertest::Workspace workspace;
    // Some 60 MB of text: seconds of reading and indexing.
    std::string chunk;
    while (chunk.size() < (4u << 20))
        chunk += "the cat sat on the mat and the dog lay by the door of the house. ";
    QDir(workspace.folder()).mkdir(QStringLiteral("big"));
    for (int i = 0; i < 15; ++i)
        explorertest::writeFile(workspace.text(QStringLiteral("big/part-%1.txt").arg(i)), chunk);

    auto window = std::make_unique<ExplorerWindow>(ExplorerControls{});
    window->show();
    window->openPath(workspace.text(QStringLiteral("big")), std::string("the cat"));
    explorertest::waitFor([] { return false; }, 0);
    QThread::msleep(300);
    EXPECT_TRUE(window->opener().busy());
    QElapsedTimer timer;
    timer.start();
    window->close();
    window.reset();
    EXPECT_LT(timer.elapsed(), 2000);
}

}  // namespace

namespace {

TEST(ExplorerWindow, ALabelNarrowsTheLinesToItsOccurrencesAndALineOpensItsText)
{
    Workspace workspace;
    ExplorerControls controls;
    controls.direction = QueryDirection::Both;
    auto window = openedWindow(workspace.folder(), controls);
    window->search(QStringLiteral("cat"));
    TreeCanvas &canvas = window->canvas();
    ConcordanceModel &model = *window->linesPane().model();
    const std::size_t all = model.totalCount();
    EXPECT_EQ(all, canvas.answer()->forward->count());

    // Ctrl+click on each label of either side lists as many lines as it counts.
    std::size_t narrowed = 0;
    for (const TreeLayout::Item &item : canvas.layout().items()) {
        const auto *label = std::get_if<TreeLayout::Label>(&item);
        if (!label || label->size.width < 4)
            continue;
        const QPoint at = canvas.mapFromScene(QPointF(label->x + label->size.width / 2, label->y + label->size.height / 2));
        const TreeCanvas::Hit hit = canvas.labelAt(at);
        if (!hit || hit.middle)
            continue;
        const std::uint32_t count = hit.node->count();
        QTest::mouseClick(canvas.viewport(), Qt::LeftButton, Qt::ControlModifier, at);
        EXPECT_EQ(canvas.selected().node, hit.node);
        EXPECT_EQ(model.shownCount(), count) << hit.node->label();
        EXPECT_TRUE(window->linesPane().showAllButton()->isVisibleTo(&window->linesPane()));
        ++narrowed;
    }
    EXPECT_GT(narrowed, 3u);
    EXPECT_EQ(window->session().history().size(), 1u);

    // Narrowed, the export writes the rows shown.
    ASSERT_TRUE(window->exportLines(workspace.file(QStringLiteral("narrowed.tsv"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("narrowed.tsv"))).count('\n'), static_cast<qsizetype>(model.shownCount()));

    // A click on no label lists every line again.
    QTest::mouseClick(canvas.viewport(), Qt::LeftButton, {}, QPoint(2, canvas.viewport()->height() - 2));
    EXPECT_EQ(model.shownCount(), all);
    EXPECT_FALSE(canvas.selected());

    // Double-clicking a line opens its text with the occurrence highlighted.
    QTableView *view = window->linesPane().view();
    const QRect row = view->visualRect(model.index(0, ConcordanceModel::PhraseColumn));
    // (A view takes a double click only on the row its press was on.)
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_TRUE(window->textPane().isVisibleTo(window.get()));
    EXPECT_EQ(window->textPane().highlighted(), QStringLiteral("cat"));
}

}  // namespace
