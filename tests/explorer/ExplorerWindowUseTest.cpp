// The explorer's window as a new user meets it (offscreen): what the canvas says when it has no tree, loads
// that follow the controls, lines that follow the answer, the completion list, small screens and dialogs.
#include "ConcordanceModel.h"
#include "ExplorerTestSupport.h"
#include "ExplorerWindow.h"
#include "LinesPane.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QDockWidget>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using explorertest::waitFor;
using explorertest::Workspace;

std::unique_ptr<ExplorerWindow> shownWindow(QSize size = QSize(900, 900))
{
    auto window = std::make_unique<ExplorerWindow>(ExplorerControls{});
    window->resize(size);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return window;
}

void open(ExplorerWindow &window, const QString &path)
{
    window.openPath(path);
    ASSERT_TRUE(waitFor([&] { return !window.opener().busy(); }));
    ASSERT_TRUE(window.session().corpus()) << window.statusText().toStdString();
}

// Runs `use` on the file dialog about to be shown, once it is the modal window.
void whenFileDialog(std::function<void(QFileDialog &)> use)
{
    // The toolkit's own dialog, which a test can look into.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, use = std::move(use)] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            use(*dialog);
        }
    });
    poll->start(20);
}

std::string rootLabel(const ExplorerWindow &window)
{
    const QueryAnswer *answer = const_cast<ExplorerWindow &>(window).canvas().answer();
    return answer ? (answer->forward ? answer->forward : answer->backward)->label() : std::string();
}

TEST(ExplorerWindowUse, TheCanvasSaysWhyItHasNoTree)
{
    Workspace workspace;
    auto window = shownWindow();
    TreeCanvas &canvas = window->canvas();
    EXPECT_TRUE(canvas.notice().contains(QStringLiteral("Open a text"))) << canvas.notice().toStdString();

    // Opened, it offers the corpus's frequent words; one click asks one.
    open(*window, workspace.folder());
    EXPECT_TRUE(canvas.notice().contains(QStringLiteral("href=\"ask:cat\""))) << canvas.notice().toStdString();
    emit canvas.noticeLinkActivated(QStringLiteral("ask:cat"));
    EXPECT_EQ(rootLabel(*window), "cat");
    EXPECT_TRUE(canvas.notice().isEmpty());

    // A phrase that does not occur takes the tree and its lines off the
    // canvas and names the word the corpus lacks; Back shows the tree again.
    window->search(QStringLiteral("The unicorn sat"));
    EXPECT_EQ(canvas.answer(), nullptr);
    EXPECT_TRUE(canvas.notice().contains(QStringLiteral("does not occur"))) << canvas.notice().toStdString();
    EXPECT_TRUE(canvas.notice().contains(QStringLiteral("\u201Cunicorn\u201D is not in the corpus")))
        << canvas.notice().toStdString();
    EXPECT_EQ(window->linesPane().model()->totalCount(), 0u);
    QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(rootLabel(*window), "cat");
    EXPECT_EQ(window->phraseLine().text(), QStringLiteral("cat"));

    // Thai under the byte rules has no words: the canvas offers the Unicode
    // rules, and following that asks the phrase of the corpus cut by them.
    QDir(workspace.folder()).mkdir(QStringLiteral("thai"));
    explorertest::writeFile(workspace.text(QStringLiteral("thai/t.txt")),
                            "\xE0\xB8\xA0\xE0\xB8\xB2\xE0\xB8\xA9\xE0\xB8\xB2 \xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2 "
                            "\xE0\xB8\xA0\xE0\xB8\xB2\xE0\xB8\xA9\xE0\xB8\xB2 \xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xA2\n");
    open(*window, workspace.text(QStringLiteral("thai")));
    const QString thai = QString::fromUtf8("\xE0\xB8\xA0\xE0\xB8\xB2\xE0\xB8\xA9\xE0\xB8\xB2");
    window->phraseLine().setText(thai);
    window->search(thai);
    EXPECT_TRUE(canvas.notice().contains(QStringLiteral("href=\"words:1\""))) << canvas.notice().toStdString();
    emit canvas.noticeLinkActivated(QStringLiteral("words:1"));
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_EQ(window->session().controls().corpus.words, WordRules::Unicode);
    ASSERT_NE(canvas.answer(), nullptr) << canvas.notice().toStdString();
    EXPECT_EQ(canvas.answer()->forward->count(), 2u);

    // A corpus opened with a phrase in the line asks it.
    window->phraseLine().setText(QStringLiteral("The cat"));
    open(*window, workspace.folder());
    EXPECT_EQ(rootLabel(*window), "The cat");
}

TEST(ExplorerWindowUse, LoadsFollowTheControlsChangedWhileTheyRun)
{
    Workspace workspace;
    auto window = shownWindow();
    QSignalSpy progress(&window->opener(), &CorpusOpener::progressed);
    open(*window, workspace.folder());
    window->search(QStringLiteral("cat"));
    const QString summary = window->summaryText();
    EXPECT_FALSE(summary.isEmpty());

    // Ignore Case right after opening a file: the file opens folded, and the line's phrase is asked of it.
    window->openPath(workspace.text(QStringLiteral("a.txt")));
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    const OpenedCorpus &opened = *window->session().corpus();
    EXPECT_EQ(QFileInfo(QFile::decodeName(opened.request().path.c_str())).fileName(), QStringLiteral("a.txt"));
    EXPECT_TRUE(opened.request().options.foldCase);
    EXPECT_EQ(rootLabel(*window), "cat");

    // Twice in a row: the corpus stays as it is, and so do the controls.
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_EQ(window->session().corpus().get(), &opened);
    EXPECT_TRUE(window->session().controls().corpus.foldCase);

    // A stopped load keeps the corpus's summary.
    const QString before = window->summaryText();
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->opener().busy());
    EXPECT_EQ(window->summaryText(), before);
    EXPECT_EQ(window->statusText(), QStringLiteral("Loading stopped."));

    // Indexing counts no bytes: it never shows as a size.
    for (const QList<QVariant> &step : progress) {
        const QString text = step.front().toString();
        if (text.startsWith(QStringLiteral("Indexing"))) {
            EXPECT_FALSE(text.contains(QStringLiteral(" of "))) << text.toStdString();
        }
    }
}

TEST(ExplorerWindowUse, TheLinesAreTheShownAnswersNeverAnEarlierOnes)
{
    Workspace workspace;
    auto window = shownWindow();
    open(*window, workspace.folder());
    auto *dock = window->findChild<QDockWidget *>(QStringLiteral("linesDock"));
    ConcordanceModel &model = *window->linesPane().model();
    // A freed answer's memory is soon another answer's: a pane that compared
    // addresses kept the lines of an answer gone, sooner or later.
    for (int round = 0; round < 20; ++round) {
        dock->show();
        window->search(QStringLiteral("cat"));
        window->search(QStringLiteral("sat"));
        dock->hide();
        window->session().goBack();
        QCoreApplication::processEvents();
        window->search(round % 2 ? QStringLiteral("The") : QStringLiteral("the"));
        QCoreApplication::processEvents();
        dock->show();
        ASSERT_EQ(model.totalCount(), window->canvas().answer()->forward->count()) << round;
        ASSERT_EQ(model.data(model.index(0, ConcordanceModel::PhraseColumn)).toString(),
                  round % 2 ? QStringLiteral("The") : QStringLiteral("the"))
            << round;
    }
}

TEST(ExplorerWindowUse, OneReturnSearchesAndEscapeKeepsWhatWasTyped)
{
    auto window = shownWindow();
    open(*window, QStringLiteral(MORVANET_SOURCE_DIR "/samples/genesis.txt"));
    QLineEdit &line = window->phraseLine();
    QAbstractItemView *list = window->findChild<QCompleter *>()->popup();
    line.setFocus();
    QTest::keyClicks(&line, QStringLiteral("And Go"));
    ASSERT_TRUE(list->isVisible());
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    ASSERT_TRUE(window->session().current());
    EXPECT_EQ(window->session().current()->phrase, "And Go");

    // Down chooses a word of the list, and Return searches with it.
    line.setText(QStringLiteral("And God sa"));
    QTest::keyClicks(&line, QStringLiteral("i"));
    ASSERT_TRUE(list->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(window->session().current()->phrase, "And God said");
    EXPECT_NE(window->canvas().answer(), nullptr);

    // Escape closes the list and keeps the text, and again with no list.
    QTest::keyClicks(&line, QStringLiteral(" un"));
    ASSERT_TRUE(list->isVisible());
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    QTest::keyClick(&line, Qt::Key_Escape);
    EXPECT_EQ(line.text(), QStringLiteral("And God said un"));
}

TEST(ExplorerWindowUse, SmallScreensTheManualAndTheFileDialogs)
{
    Workspace workspace;
    // Every control shows at 800 x 600.
    auto window = shownWindow(QSize(800, 600));
    for (const char *name : {"depth", "minCount", "wordRules", "phrase"}) {
        const auto *control = window->findChild<QWidget *>(QString::fromLatin1(name));
        ASSERT_TRUE(control->isVisible()) << name;
        EXPECT_LE(control->mapTo(window.get(), QPoint(control->width(), 0)).x(), window->width()) << name;
    }

    // F1 shows the manual page.
    QTest::keyClick(window.get(), Qt::Key_F1);
    auto *manual = window->findChild<QDialog *>(QStringLiteral("manual"));
    ASSERT_TRUE(manual && manual->isVisible());
    EXPECT_TRUE(manual->findChild<QTextBrowser *>()->toPlainText().contains(QStringLiteral("THE WINDOW")));
    manual->close();

    // Open File lists an index whatever its name, and opens it as one.
    const QString index = workspace.file(QStringLiteral("texts.idx"));
    ASSERT_EQ(explorertest::runTool({QStringLiteral("--save-index"), index, workspace.folder()}).status, 0);
    bool listed = false;
    whenFileDialog([&](QFileDialog &shown) {
        QFileDialog *dialog = &shown;
        dialog->setDirectory(QFileInfo(index).path());
        auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
        listed = waitFor(
            [&] {
                const QAbstractItemModel *model = view->model();
                const QModelIndex root = view->rootIndex();
                for (int row = 0; row < model->rowCount(root); ++row) {
                    if (model->index(row, 0, root).data().toString() == QLatin1String("texts.idx"))
                        return true;
                }
                return false;
            },
            10);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(index).fileName());
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    });
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(listed);
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    ASSERT_TRUE(window->session().corpus() && window->session().corpus()->saved()) << window->statusText().toStdString();
    EXPECT_TRUE(window->summaryText().startsWith(QStringLiteral("Saved index: 2 documents")))
        << window->summaryText().toStdString();

    // An export suggests a name of the corpus and the phrase.
    window->search(QStringLiteral("cat"));
    ASSERT_NE(window->canvas().answer(), nullptr) << window->statusText().toStdString();
    QString suggested;
    whenFileDialog([&](QFileDialog &dialog) {
        suggested = dialog.directory().filePath(dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text());
        QMetaObject::invokeMethod(&dialog, &QDialog::reject, Qt::QueuedConnection);
    });
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(suggested, QDir::home().filePath(QStringLiteral("texts.idx-cat.png")));
}

}  // namespace

// The documents dock lists the documents with the folder's fields, and its
// filter asks the tree, the lines and the summary within those it chooses.
TEST(ExplorerWindowUse, TheDocumentsFilterChoosesWhatTheTreeAndLinesCount)
{
    Workspace workspace;
    explorertest::writeFile(workspace.folder() + QStringLiteral("/metadata.csv"), "path,year\na.txt,1850\nb.txt,900\n");
    auto window = shownWindow();
    open(*window, workspace.folder());
    DocumentsPane &pane = window->documentsPane();
    QTableView &table = *pane.view();
    ASSERT_EQ(table.model()->rowCount(), 2);
    EXPECT_EQ(table.model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("year"));
    // Sorted by year as numbers: 900 before 1850.
    table.sortByColumn(3, Qt::AscendingOrder);
    EXPECT_EQ(table.model()->index(0, 0).data().toString(), QStringLiteral("b.txt"));

    window->search(QStringLiteral("cat"));
    const std::uint32_t everywhere = window->canvas().answer()->forward->count();
    pane.filterEdit()->setText(QStringLiteral("year >= 1000"));
    QTest::keyClick(pane.filterEdit(), Qt::Key_Return);
    ASSERT_TRUE(window->session().within());
    EXPECT_EQ(table.model()->rowCount(), 1);
    EXPECT_EQ(window->canvas().answer()->forward->count(), 3u);  // a.txt's three
    EXPECT_LT(3u, everywhere);
    window->findChild<QDockWidget *>(QStringLiteral("linesDock"))->show();
    EXPECT_EQ(window->linesPane().model()->totalCount(), 3u);
    EXPECT_TRUE(window->summaryText().startsWith(QStringLiteral("1 of 2 documents, 24 of 41 tokens")))
        << window->summaryText().toStdString();

    // A malformed filter or one that chooses nothing says why and changes nothing.
    for (const char *wrong : {"year", "year > 3000"}) {
        pane.filterEdit()->setText(QString::fromLatin1(wrong));
        QTest::keyClick(pane.filterEdit(), Qt::Key_Return);
        EXPECT_FALSE(pane.problemLabel()->isHidden()) << wrong;
        EXPECT_EQ(table.model()->rowCount(), 1) << wrong;
    }
    pane.filterEdit()->clear();
    QTest::keyClick(pane.filterEdit(), Qt::Key_Return);
    EXPECT_FALSE(window->session().within());
    EXPECT_EQ(window->canvas().answer()->forward->count(), everywhere);
}
