// The main window as a user drives it: File > Open File through the dialog, typing, Search, Previous, Next.
#include "AppTestSupport.h"

#include "Corpus.h"
#include "DrawManager.h"
#include "Morvanet.h"
#include "TreeDrawing.h"

#include <QAction>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using apptest::chooseInNextFileDialog;

const std::string animals = "the cat sat. the dog ran. a cat ran. the cat ran.";

std::vector<std::string> tokensOf(const Corpus *corpus)
{
    std::vector<std::string> out;
    if (corpus)
        for (Corpus::Position p = corpus->first(); p != corpus->end(); p = Corpus::advance(p))
            out.emplace_back(corpus->token(p));
    return out;
}

TEST(MorvanetMetaObject, HasFourProtectedSlotsInOrderAndNothingElseOfItsOwn)
{
    const QMetaObject &meta = Morvanet::staticMetaObject;
    EXPECT_STREQ(meta.className(), "Morvanet");
    EXPECT_EQ(meta.superClass(), &QMainWindow::staticMetaObject);

    const std::vector<QByteArray> slotNames = {"loadFile()", "search()", "back()", "forward()"};
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), static_cast<int>(slotNames.size()));
    for (int i = 0; i < static_cast<int>(slotNames.size()); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        EXPECT_EQ(method.methodSignature(), slotNames[static_cast<std::size_t>(i)]);
        EXPECT_EQ(method.methodType(), QMetaMethod::Slot);
        EXPECT_EQ(method.access(), QMetaMethod::Protected);
        EXPECT_EQ(method.returnType(), QMetaType::Void);
    }
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
    EXPECT_EQ(meta.enumeratorCount(), meta.enumeratorOffset());
    EXPECT_EQ(meta.classInfoCount(), meta.classInfoOffset());
    EXPECT_EQ(meta.constructorCount(), 0);

    Morvanet window;
    EXPECT_EQ(window.qt_metacast("Morvanet"), &window);
    EXPECT_EQ(window.qt_metacast(nullptr), nullptr);
    EXPECT_EQ(window.qt_metacast("QMainWindow"), static_cast<QMainWindow *>(&window));
}

class MorvanetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }

    const MainWindowForm &form() const { return window_.form(); }
    const DrawManager &view() const { return *form().graphicsView; }

    QString file(const QString &name, const std::string &bytes)
    {
        const QString path = dir_.filePath(name);
        apptest::writeFile(path, bytes);
        return path;
    }

    // File > Open File, choosing `path` in the dialog.
    void open(const QString &path)
    {
        auto answered = chooseInNextFileDialog(path);
        form().ActionOpenFile->trigger();
        ASSERT_TRUE(answered()) << "no file dialog came up";
    }

    // Replaces the line edit's text by typing `phrase`, then clicks Search.
    void searchFor(const QString &phrase)
    {
        form().SearchTerm->clear();
        QTest::keyClicks(form().SearchTerm, phrase);
        QTest::mouseClick(form().StartSearch, Qt::LeftButton);
    }

    // The current tree's search text, or "-" while the history is empty.
    std::string shown() const
    {
        return view().current() == view().history().end() ? "-" : (*view().current())->text();
    }

    long currentIndex() const { return std::distance(view().history().begin(), view().current()); }

    std::multiset<QString> drawnLabels() const
    {
        std::multiset<QString> labels;
        for (const QGraphicsItem *item : view().scene()->items())
            if (item->type() == QGraphicsTextItem::Type)
                labels.insert(labelText(*static_cast<const QGraphicsTextItem *>(item)));
        return labels;
    }

    QTemporaryDir dir_;
    Morvanet window_;
};

TEST_F(MorvanetTest, NothingHappensBeforeAFileIsLoaded)
{
    searchFor(QStringLiteral("the"));
    QTest::mouseClick(form().backButton, Qt::LeftButton);
    QTest::mouseClick(form().forwardButton, Qt::LeftButton);
    EXPECT_EQ(view().corpus(), nullptr);
    EXPECT_TRUE(view().history().empty());
    EXPECT_TRUE(drawnLabels().empty());
}

TEST_F(MorvanetTest, OpensATextThroughTheDialogThenSearchesAndWalksTheTrees)
{
    const QString path = file(QStringLiteral("animals.txt"), animals);
    auto answered = apptest::answerNextFileDialog([&, ticks = 0](QFileDialog &dialog) mutable {
        if (ticks == 0) {
            EXPECT_EQ(dialog.parentWidget(), &window_);
            EXPECT_TRUE(dialog.isModal());
            EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
            EXPECT_EQ(dialog.viewMode(), QFileDialog::Detail);
        }
        return apptest::chooseFile(dialog, path, ticks);
    });
    form().ActionOpenFile->trigger();
    ASSERT_TRUE(answered());
    ASSERT_NE(view().corpus(), nullptr);
    const Corpus expected(animals.data(), static_cast<std::uint32_t>(animals.size()));
    EXPECT_EQ(tokensOf(view().corpus()), tokensOf(&expected));
    EXPECT_TRUE(view().history().empty());

    searchFor(QStringLiteral("the"));
    ASSERT_EQ(view().history().size(), 1u);
    EXPECT_EQ(shown(), "the");
    const auto theLabels = drawnLabels();
    EXPECT_EQ(theLabels.count(QStringLiteral("the")), 1u);

    searchFor(QStringLiteral("cat"));
    ASSERT_EQ(view().history().size(), 2u);
    EXPECT_EQ(shown(), "cat");
    const auto catLabels = drawnLabels();
    EXPECT_NE(catLabels, theLabels);

    QTest::mouseClick(form().backButton, Qt::LeftButton);
    EXPECT_EQ(shown(), "the");
    EXPECT_EQ(drawnLabels(), theLabels);
    QTest::mouseClick(form().backButton, Qt::LeftButton);
    EXPECT_EQ(shown(), "the");

    QTest::mouseClick(form().forwardButton, Qt::LeftButton);
    EXPECT_EQ(shown(), "cat");
    EXPECT_EQ(drawnLabels(), catLabels);
    QTest::mouseClick(form().forwardButton, Qt::LeftButton);
    EXPECT_EQ(shown(), "cat");
    EXPECT_EQ(view().history().size(), 2u);
}

TEST_F(MorvanetTest, ActsOnReleaseOnlyAndNotOnReturn)
{
    open(file(QStringLiteral("animals.txt"), animals));
    form().SearchTerm->setText(QStringLiteral("the"));
    emit form().StartSearch->pressed();
    emit form().StartSearch->clicked();
    QTest::keyClick(form().SearchTerm, Qt::Key_Return);
    QTest::keyClick(form().SearchTerm, Qt::Key_Enter);
    EXPECT_TRUE(view().history().empty());
    emit form().StartSearch->released();
    EXPECT_EQ(view().history().size(), 1u);

    form().SearchTerm->setText(QStringLiteral("cat"));
    emit form().StartSearch->released();
    ASSERT_EQ(currentIndex(), 1);

    emit form().backButton->pressed();
    emit form().backButton->clicked();
    EXPECT_EQ(currentIndex(), 1);
    emit form().backButton->released();
    EXPECT_EQ(currentIndex(), 0);

    emit form().forwardButton->pressed();
    emit form().forwardButton->clicked();
    EXPECT_EQ(currentIndex(), 0);
    emit form().forwardButton->released();
    EXPECT_EQ(currentIndex(), 1);
}

TEST_F(MorvanetTest, PassesTheTypedTextUnchangedInLatin1)
{
    open(file(QStringLiteral("marks.txt"), "x ? y. caf au lait. cat"));
    const auto searchText = [this](const QString &text) {
        form().SearchTerm->setText(text);
        emit form().StartSearch->released();
        return shown();
    };
    EXPECT_EQ(searchText(QStringLiteral("caf\u00e9")), "caf\xe9");
    EXPECT_EQ(searchText(QStringLiteral("x \u2603")), "x ?");
    EXPECT_EQ(searchText(QStringLiteral("x \U0001F600")), "x ?");  // one character, one mark
    EXPECT_EQ(searchText(QStringLiteral("  cat ")), "  cat ");
    const std::size_t entries = view().history().size();
    searchText(QString());
    EXPECT_EQ(view().history().size(), entries);
}

TEST_F(MorvanetTest, ASecondFileDiscardsTheFirstFilesTrees)
{
    open(file(QStringLiteral("animals.txt"), animals));
    searchFor(QStringLiteral("the"));
    searchFor(QStringLiteral("cat"));
    const auto shownBefore = drawnLabels();

    open(file(QStringLiteral("numbers.txt"), "one two. one three."));
    EXPECT_EQ(tokensOf(view().corpus()), (std::vector<std::string>{"one", "two", ".", "one", "three", "."}));
    EXPECT_TRUE(view().history().empty());
    EXPECT_EQ(view().current(), view().history().end());
    // The canvas keeps the last drawing until the next search.
    EXPECT_EQ(drawnLabels(), shownBefore);
    QTest::mouseClick(form().backButton, Qt::LeftButton);
    EXPECT_EQ(drawnLabels(), shownBefore);

    searchFor(QStringLiteral("the"));
    EXPECT_TRUE(view().history().empty());
    searchFor(QStringLiteral("one"));
    EXPECT_EQ(view().history().size(), 1u);
    EXPECT_EQ(shown(), "one");
}

TEST_F(MorvanetTest, CancellingOrAnUnreadableChoiceChangesNothing)
{
    open(file(QStringLiteral("animals.txt"), animals));
    searchFor(QStringLiteral("the"));
    searchFor(QStringLiteral("cat"));
    QTest::mouseClick(form().backButton, Qt::LeftButton);
    const Corpus *corpus = view().corpus();
    const auto labels = drawnLabels();
    const auto unchanged = [&](const char *what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(view().corpus(), corpus);
        EXPECT_EQ(view().history().size(), 2u);
        EXPECT_EQ(currentIndex(), 0);
        EXPECT_EQ(drawnLabels(), labels);
    };

    auto cancelled = apptest::cancelNextFileDialog();
    form().ActionOpenFile->trigger();
    ASSERT_TRUE(cancelled());
    unchanged("cancelled");

    const QString fifo = dir_.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    {
        apptest::FifoWatchdog watchdog(fifo);
        open(fifo);
        EXPECT_FALSE(watchdog.fired()) << "opening a FIFO blocked";
    }
    unchanged("FIFO");

    const QString socketPath = dir_.filePath(QStringLiteral("socket"));
    apptest::BoundSocket socket(socketPath);
    ASSERT_TRUE(socket.bound());
    open(socketPath);
    unchanged("socket");

    if (!apptest::runningAsRoot()) {
        const QString locked = file(QStringLiteral("locked.txt"), "the end");
        ASSERT_TRUE(QFile::setPermissions(locked, {}));
        open(locked);
        unchanged("unreadable");
    }

    // The old history still walks.
    QTest::mouseClick(form().forwardButton, Qt::LeftButton);
    EXPECT_EQ(shown(), "cat");
}

TEST_F(MorvanetTest, UsesOnlyTheFirstMillionBytes)
{
    // The word at the limit is cut there: "ab" either way, never "abc".
    const std::string whole = std::string(999'998, ' ') + "ab";
    open(file(QStringLiteral("whole.txt"), whole));
    EXPECT_EQ(tokensOf(view().corpus()), std::vector<std::string>{"ab"});
    open(file(QStringLiteral("longer.txt"), whole + "c"));
    EXPECT_EQ(tokensOf(view().corpus()), std::vector<std::string>{"ab"});
}

}  // namespace
