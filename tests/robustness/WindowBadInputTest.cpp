// The main window driven as a user drives it, through File > Open File and the
// line edit, with every kind of bad file and phrase: nothing blocks or crashes,
// a refused file or a failed search changes nothing, and an odd file that can
// be read replaces the corpus and the history but not the drawing.
#include "AppTestSupport.h"
#include "BadFileSet.h"
#include "HangGuard.h"

#include "Corpus.h"
#include "DrawManager.h"
#include "Morvanet.h"
#include "PhraseSearch.h"

#include <QAction>
#include <QFile>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

// One line, so that the line edit can hold all of it.
const std::string story = "the cat sat on the mat . the dog ran home . a cat ran away , caf? noir .";

class WindowBadInput : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        const QString path = dir_.filePath(QStringLiteral("story.txt"));
        apptest::writeFile(path, story);
        open(path);
        ASSERT_NE(view().corpus(), nullptr);
        for (const char *phrase : {"the", "cat", "the dog"})
            search(QString::fromLatin1(phrase));
        QTest::mouseClick(form().backButton, Qt::LeftButton);
        ASSERT_EQ(view().history().size(), 3u);
        remember();
    }

    const MainWindowForm &form() const { return window_.form(); }
    DrawManager &view() const { return *form().graphicsView; }

    // File > Open File, choosing `path` in the dialog; false if the dialog never came up.
    bool open(const QString &path)
    {
        const HangGuard guard("opening a file through the dialog blocked", 20);
        auto answered = apptest::chooseInNextFileDialog(path);
        form().ActionOpenFile->trigger();
        return answered();
    }

    void search(const QString &phrase)
    {
        form().SearchTerm->setText(phrase);
        QTest::mouseClick(form().StartSearch, Qt::LeftButton);
    }

    void remember()
    {
        corpus_ = view().corpus();
        roots_ = roots();
        index_ = index();
        items_ = view().scene()->items();
        for (QGraphicsItem *item : items_)
            item->setData(0, QStringLiteral("before"));
    }
    std::vector<const PhraseNode *> roots() const
    {
        std::vector<const PhraseNode *> out;
        for (const auto &root : view().history())
            out.push_back(root.get());
        return out;
    }
    long index() const { return std::distance(view().history().begin(), view().current()); }

    bool historyUnchanged() const
    {
        return view().corpus() == corpus_ && roots() == roots_ && index() == index_;
    }
    bool canvasUnchanged() const
    {
        const QList<QGraphicsItem *> items = view().scene()->items();
        if (items != items_)
            return false;
        for (const QGraphicsItem *item : items)
            if (item->data(0).toString() != QStringLiteral("before"))
                return false;
        return true;
    }
    // A new corpus with an empty history; the drawing stays.
    void expectReplaced(const std::string &context) const
    {
        EXPECT_NE(view().corpus(), corpus_) << context;
        EXPECT_TRUE(view().history().empty()) << context;
        EXPECT_TRUE(canvasUnchanged()) << context;
    }
    void expectUnchanged(const std::string &context) const
    {
        EXPECT_TRUE(historyUnchanged()) << context;
        EXPECT_TRUE(canvasUnchanged()) << context;
    }

    QTemporaryDir dir_;
    Morvanet window_;
    const Corpus *corpus_ = nullptr;
    std::vector<const PhraseNode *> roots_;
    long index_ = 0;
    QList<QGraphicsItem *> items_;
};

TEST_F(WindowBadInput, FilesTheDialogAcceptsAreLoadedOrRefusedWithoutABlock)
{
    const BadFileSet files;
    ASSERT_TRUE(files.valid());
    for (const BadFileSet::Case &c : files.cases()) {
        // The dialog itself keeps a directory and a missing file from being
        // chosen (below); the system's own files are left to the loader tests.
        if (c.name == QStringLiteral("directory") || c.name == QStringLiteral("vanished")
            || !c.path.startsWith(files.dir()))
            continue;
        const std::string context = c.name.toStdString();
        ASSERT_TRUE(open(c.path)) << context;
        if (c.loads) {
            expectReplaced(context);
            if (c.knownText) {
                EXPECT_EQ(view().corpus()->tokenCount(),
                          Corpus(c.text.data(), static_cast<std::uint32_t>(c.text.size())).tokenCount())
                    << context;
            }
        } else {
            expectUnchanged(context);
        }
        // Back to a corpus with a history for the next case.
        ASSERT_TRUE(open(dir_.filePath(QStringLiteral("story.txt"))));
        search(QStringLiteral("the"));
        search(QStringLiteral("cat"));
        remember();
    }
}

TEST_F(WindowBadInput, AFileThatVanishesBetweenTheDialogAndTheReadChangesNothing)
{
    const QString path = dir_.filePath(QStringLiteral("fleeting.txt"));
    apptest::writeFile(path, "the cat sat");
    // The file goes once the dialog has accepted it, before the slot reads it.
    auto answered = apptest::answerNextFileDialog([&, ticks = 0](QFileDialog &dialog) mutable {
        if (ticks == 0)
            QObject::connect(&dialog, &QDialog::accepted, &dialog, [path] { QFile::remove(path); });
        return apptest::chooseFile(dialog, path, ticks);
    });
    form().ActionOpenFile->trigger();
    ASSERT_TRUE(answered());
    EXPECT_FALSE(QFile::exists(path));
    expectUnchanged("vanished");
}

TEST_F(WindowBadInput, ADirectoryIsNotTakenAsAFile)
{
    const QString folder = dir_.filePath(QStringLiteral("folder.txt"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.txt")));
    // Accepting a directory opens it in the dialog; the user then gives up.
    auto answered = apptest::answerNextFileDialog([&, ticks = 0](QFileDialog &dialog) mutable {
        if (ticks++ == 0) {
            dialog.selectFile(folder);
            static_cast<QDialog &>(dialog).accept();
            return false;
        }
        dialog.reject();
        return true;
    });
    form().ActionOpenFile->trigger();
    ASSERT_TRUE(answered());
    expectUnchanged("directory");
}

TEST_F(WindowBadInput, PhrasesTypedInTheLineEdit)
{
    // Nothing to search for, or nothing found: no change.
    std::string pasted;
    while (pasted.size() < 1'000'000)
        pasted += "the cat sat on the mat and went away ";
    for (const QString &phrase : {QString(), QStringLiteral(" \t  "), QString::fromUtf8("\xe2\x82\xac \xe4\xb8\xad"),
                                  QString::fromLatin1(pasted.data(), static_cast<qsizetype>(pasted.size())),
                                  QStringLiteral("The")}) {
        search(phrase);
        expectUnchanged(phrase.left(30).toStdString());
    }

    // Found: a character outside Latin-1 reaches the search as "?", control
    // characters stay in the root's label, and the whole text is one tree.
    struct Case {
        QString typed;
        std::string searched;
    };
    const std::vector<Case> cases = {
        {QString::fromUtf8("caf\xe2\x82\xac noir"), "caf? noir"},
        {QString::fromLatin1("\x01the\x1b  dog"), "\x01the\x1b  dog"},
        {QString::fromLatin1(story.data(), static_cast<qsizetype>(story.size())), story},
    };
    std::size_t checked = 0;
    for (const Case &c : cases) {
        const long kept = index() + 1;
        search(c.typed);
        // The line edit may refuse some characters; what it holds is what is searched.
        const QByteArray held = form().SearchTerm->text().toLatin1();
        if (std::string(held.constData(), static_cast<std::size_t>(held.size())) != c.searched)
            continue;
        ASSERT_EQ(static_cast<long>(view().history().size()), kept + 1) << c.searched;
        EXPECT_EQ((*view().current())->text(), c.searched);
        ++checked;
    }
    EXPECT_GE(checked, 2u) << "the line edit refused most phrases";
}

}  // namespace
