// The lines pane's count, order and activation, and the text pane's window
// around a line with its occurrence highlighted.
#include "Concordance.h"
#include "ConcordanceModel.h"
#include "DocumentWindow.h"
#include "LinesPane.h"
#include "TextPane.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::shared_ptr<const OpenedCorpus> openText(const QTemporaryDir &dir, const std::string &text, CorpusOptions options)
{
    QFile file(dir.filePath("text.txt"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();
    CorpusRequest request;
    request.path = QFile::encodeName(file.fileName()).toStdString();
    request.maxBytes = 0;
    request.options = options;
    OpenedCorpus::Outcome outcome = OpenedCorpus::open(request);
    EXPECT_TRUE(outcome.opened) << outcome.reason;
    return std::move(outcome.opened);
}

TEST(LinesPane, CountsOrdersAndActivatesLines)
{
    QTemporaryDir dir;
    const auto opened = openText(dir, "b x\n\na x\nc x x\n", {});
    LinesPane pane;
    EXPECT_EQ(pane.countText(), "No lines");
    const PhraseOccurrences found = findOccurrences(opened->corpus(), "x");
    pane.model()->setOccurrences(opened, found.starts, found.length);
    EXPECT_EQ(pane.countText(), "4 lines");
    EXPECT_EQ(pane.model()->location(2), "text.txt:4");
    pane.model()->narrow({found.starts[1]}, QStringLiteral("a"));
    EXPECT_EQ(pane.countText(), QString::fromUtf8("1 of 4 lines through \u201Ca\u201D"));
    pane.model()->widen();

    pane.orderBox()->setCurrentIndex(1);  // the left word
    EXPECT_EQ(pane.model()->order(), ConcordanceModel::Order::LeftWord);
    EXPECT_TRUE(pane.model()->index(0, ConcordanceModel::LeftColumn).data().toString().endsWith(" a"));

    QSignalSpy activated(&pane, &LinesPane::lineActivated);
    pane.show();
    pane.view()->setCurrentIndex(pane.model()->index(0, ConcordanceModel::PhraseColumn));
    QTest::keyClick(pane.view(), Qt::Key_Return);
    ASSERT_EQ(activated.count(), 1);
    const auto line = activated.front().front().value<ConcordanceLine>();
    EXPECT_EQ(line, (ConcordanceLine{0, 3, found.starts[1], 1}));
}

TEST(TextPane, ShowsTheLineWithItsOccurrenceHighlighted)
{
    QTemporaryDir dir;
    std::string text;
    for (int line = 1; line <= 1000; ++line)
        text += "line " + std::to_string(line) + (line == 700 ? " the \xC3\xA9t\xC3\xA9\n  x\n" : "\n");
    for (const CorpusOptions &options : {CorpusOptions{}, CorpusOptions{WordRules::Unicode, true}}) {
        const auto opened = openText(dir, text, options);
        const PhraseOccurrences found = findOccurrences(opened->corpus(), options.utf8() ? "the \xC3\xA9t\xC3\xA9 x" : "the");
        ASSERT_EQ(found.starts.size(), 1u);
        TextPane pane;
        ConcordanceModel model;
        model.setOccurrences(opened, found.starts, found.length);
        ASSERT_TRUE(pane.showLine(opened, model.line(0)));
        EXPECT_EQ(pane.highlighted(), options.utf8() ? QString::fromUtf8("the \u00E9t\u00E9\u2029  x") : "the");
        EXPECT_EQ(pane.firstLineShown(), 700u - TextPane::linesAround);
        EXPECT_EQ(pane.editor()->document()->blockCount(), 2 * TextPane::linesAround + 2);
        EXPECT_EQ(pane.titleLabel()->text(), "text.txt:700 (lines 500\u2013900)");
    }
    TextPane pane;
    EXPECT_FALSE(pane.showLine(nullptr, {}));
    EXPECT_FALSE(pane.titleLabel()->text().isEmpty());
}

TEST(TextPane, ShowsASavedIndexsLineFromItsSourceWhileItIsAsSaved)
{
    QTemporaryDir dir;
    std::string text;
    for (int line = 1; line <= 1000; ++line)
        text += "line " + std::to_string(line) + (line == 700 ? " the cat\n" : "\n");
    openText(dir, text, {});
    // Saved from the text's folder by a relative name, and opened from
    // elsewhere: the source is found from the folder it was saved in.
    struct Back {
        QString folder = QDir::currentPath();
        ~Back() { QDir::setCurrent(folder); }
    } back;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    std::string reason;
    ASSERT_TRUE(OpenedCorpus::open({"text.txt", 0, {}, true}).opened->save("text.index", {}, reason)) << reason;
    ASSERT_TRUE(QDir::setCurrent(QDir::rootPath()));
    const std::shared_ptr<const OpenedCorpus> opened =
        OpenedCorpus::open({QFile::encodeName(dir.filePath("text.index")).toStdString(), std::nullopt, {}, true, true})
            .opened;
    ASSERT_TRUE(opened && opened->texts().empty());
    ConcordanceModel model;
    const PhraseOccurrences found = findOccurrences(opened->corpus(), "the cat");
    model.setOccurrences(opened, found.starts, found.length);
    TextPane pane;
    ASSERT_TRUE(pane.showLine(opened, model.line(0))) << pane.titleLabel()->text().toStdString();
    EXPECT_EQ(pane.highlighted(), "the cat");
    EXPECT_EQ(pane.titleLabel()->text(), "text.txt:700 (lines 500\u2013900)");

    // A source changed since, or gone: why, and no text that the index's
    // lines would not describe.
    QFile file(dir.filePath("text.txt"));
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write("more\n") == 5);
    file.close();
    EXPECT_FALSE(pane.showLine(opened, model.line(0)));
    EXPECT_EQ(pane.titleLabel()->text(), "Cannot show text.txt: the file changed since the index was saved");
    EXPECT_TRUE(pane.editor()->toPlainText().isEmpty());
    ASSERT_TRUE(file.remove());
    EXPECT_FALSE(pane.showLine(opened, model.line(0)));
    EXPECT_EQ(pane.titleLabel()->text(), "Cannot show text.txt: the file is gone since the index was saved");
}

TEST(DocumentWindow, KeepsToItsBytesAroundALongLine)
{
    // Lines of 10 bytes, and one long line holding the occurrence, a zero
    // byte inside its first word.
    const std::string occurrence("\xC3\xA9t\0re x", 8);
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "aaaa bbbb\n";
    const std::size_t longFrom = text.size();
    for (int i = 0; i < 100; ++i)
        text += i == 60 ? occurrence + ' ' : i < 60 ? "yyy " : "\xC3\xA9 ";
    text += "\nzzzz\n";
    const std::string_view documents[] = {text};
    const Corpus corpus(documents, {WordRules::Unicode, false});
    const PhraseOccurrences found = findOccurrences(corpus, "\xC3\xA9tre x");
    ASSERT_EQ(found.starts.size(), 1u);
    const DocumentWindow near = documentWindow(corpus, text, found.starts[0], 2, 21, 5, 1000);
    EXPECT_EQ(near.from, longFrom - 50);
    EXPECT_EQ(near.to, text.size());
    EXPECT_EQ(text.substr(near.occurrenceFrom, near.occurrenceTo - near.occurrenceFrom), occurrence);
    EXPECT_EQ(near.firstLine, 16u);
    EXPECT_EQ(near.lastLine, 22u);
    // Cut inside the line, at a character's start.
    const DocumentWindow tight = documentWindow(corpus, text, found.starts[0], 2, 21, 5, 26);
    EXPECT_EQ(text.substr(tight.occurrenceFrom, tight.occurrenceTo - tight.occurrenceFrom), occurrence);
    EXPECT_EQ(tight.occurrenceFrom - tight.from, 26u);
    EXPECT_EQ(tight.to - tight.occurrenceTo, 25u);
    EXPECT_EQ(tight.firstLine, 21u);
}

}  // namespace
