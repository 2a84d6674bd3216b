// The viewer's Open File path (the loader, then the draw view's setCorpus) and
// its searches on every kind of bad file and phrase: nothing blocks or crashes,
// and the history and the canvas change only where a load or a found tree
// says they do.
#include "BadFileSet.h"
#include "HangGuard.h"

#include "Corpus.h"
#include "DrawManager.h"
#include "PhraseSearch.h"
#include "ViewerTextFile.h"
#include "TreeDrawing.h"

#include <QApplication>
#include <QFile>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsTextItem>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string story = "the cat sat on the mat . the dog ran home . a cat ran \x01 away "
                          "caf\xc3\xa9 au lait , caf? noir .\n";

std::unique_ptr<Corpus> corpusOf(const std::string &bytes)
{
    return std::make_unique<Corpus>(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

class ViewerBadInput : public testing::Test {
protected:
    ViewerBadInput() : view_(nullptr)
    {
        view_.resize(700, 500);
        view_.show();
        QApplication::processEvents();
    }

    // A corpus with three trees shown, the second one current, and the canvas tagged.
    void prepare()
    {
        view_.setCorpus(corpusOf(story));
        for (const char *phrase : {"the", "cat", "the dog"})
            view_.showPhrase(phrase);
        view_.stepBack();
        ASSERT_EQ(view_.history().size(), 3u);
        remember();
    }

    // Notes the state that a refused load or a failed search must leave alone.
    void remember()
    {
        corpus_ = view_.corpus();
        roots_.clear();
        for (const auto &root : view_.history())
            roots_.push_back(root.get());
        currentIndex_ = index();
        items_ = view_.scene()->items();
        for (QGraphicsItem *item : items_)
            item->setData(0, QStringLiteral("before"));
    }

    long index() const { return std::distance(view_.history().begin(), view_.current()); }

    bool historyUnchanged() const
    {
        std::vector<const PhraseNode *> roots;
        for (const auto &root : view_.history())
            roots.push_back(root.get());
        return view_.corpus() == corpus_ && roots == roots_ && index() == currentIndex_;
    }

    bool canvasUnchanged() const
    {
        const QList<QGraphicsItem *> items = view_.scene()->items();
        if (items != items_)
            return false;
        for (const QGraphicsItem *item : items)
            if (item->data(0).toString() != QStringLiteral("before"))
                return false;
        return true;
    }

    // What the window does with a chosen path: read it, and install a corpus
    // if anything was read. Returns whether a corpus was installed.
    bool open(const QString &path)
    {
        const HangGuard guard("loading a file blocked");
        QString reason;
        const std::optional<std::string> bytes = loadTextFile(path, &reason);
        if (!bytes) {
            EXPECT_FALSE(reason.isEmpty());
            EXPECT_FALSE(reason.contains(QLatin1Char('\n'))) << reason.toStdString();
            return false;
        }
        view_.setCorpus(corpusOf(*bytes));
        lastLoaded_ = *bytes;
        return true;
    }

    DrawManager view_;
    const Corpus *corpus_ = nullptr;
    std::vector<const PhraseNode *> roots_;
    long currentIndex_ = 0;
    QList<QGraphicsItem *> items_;
    std::string lastLoaded_;
};

TEST_F(ViewerBadInput, BadFilesAreRefusedAndOddFilesLoadedWithoutTouchingTheCanvas)
{
    const BadFileSet files;
    ASSERT_TRUE(files.valid());
    for (const BadFileSet::Case &c : files.cases()) {
        SCOPED_TRACE(c.name.toStdString());
        prepare();
        const bool loaded = open(c.path);
        ASSERT_EQ(loaded, c.loads);
        // The canvas keeps the last drawing either way.
        EXPECT_TRUE(canvasUnchanged());
        if (!loaded) {
            EXPECT_TRUE(historyUnchanged());
            continue;
        }
        // A new corpus of exactly the delivered bytes, and an empty history.
        EXPECT_NE(view_.corpus(), corpus_);
        EXPECT_TRUE(view_.history().empty());
        EXPECT_EQ(view_.current(), view_.history().end());
        EXPECT_LE(lastLoaded_.size(), 1'000'000u);
        if (c.knownText) {
            EXPECT_EQ(lastLoaded_, c.text);
        } else {
            EXPECT_EQ(lastLoaded_.find('\r'), std::string::npos);
            EXPECT_FALSE(lastLoaded_.empty());
        }
        EXPECT_EQ(view_.corpus()->tokenCount(), corpusOf(lastLoaded_)->tokenCount());

        // Searches on the new corpus, including in an empty one, find what it holds.
        for (const std::string phrase : {"the", "ELF", "GLIBC", "zebra", "In the beginning"}) {
            const bool occurs = buildPhraseTree(*view_.corpus(), phrase) != nullptr;
            const std::size_t before = view_.history().size();
            view_.showPhrase(phrase);
            EXPECT_EQ(view_.history().size(), before + occurs) << phrase;
            if (occurs) {
                EXPECT_EQ((*view_.current())->text(), phrase);
            }
        }
    }
}

TEST_F(ViewerBadInput, PhrasesWithoutTokensOrOccurrencesChangeNothing)
{
    prepare();
    std::string pasted;
    while (pasted.size() < 1'000'000)
        pasted += "the cat sat on the mat and went away ";
    for (const std::string &phrase : {std::string(), std::string(" \t\r\n  "), std::string("\x01\x02\x7f\xff"),
                                      std::string("\xe2\x82\xac"), pasted, std::string("The"),
                                      std::string("caf\xc3\xa9 au lait noir")}) {
        view_.showPhrase(phrase);
        EXPECT_TRUE(historyUnchanged()) << phrase.substr(0, 40);
        EXPECT_TRUE(canvasUnchanged()) << phrase.substr(0, 40);
    }
    // Steps past either end redraw nothing.
    view_.stepBack();
    remember();
    view_.stepBack();
    EXPECT_TRUE(historyUnchanged() && canvasUnchanged());
}

TEST_F(ViewerBadInput, OddPhrasesThatOccurAreShownWithTheirBytes)
{
    prepare();
    struct Case {
        const char *name;
        std::string phrase;
    };
    const std::vector<Case> cases = {
        {"control characters", "\x01the\x1b  dog\x7f"},
        // UTF-8 bytes are separators: only "caf" and "au" are searched.
        {"outside Latin-1", "caf\xc3\xa9 au"},
        {"a question mark for a character Latin-1 lacks", "caf?"},
        {"the whole text", story},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // The entries after the current one go, the new tree comes after it.
        const long kept = index() + 1;
        view_.showPhrase(c.phrase);
        ASSERT_EQ(static_cast<long>(view_.history().size()), kept + 1);
        ASSERT_EQ(index(), kept);
        const PhraseNode &root = **view_.current();
        EXPECT_EQ(root.label().substr(0, c.phrase.size()), c.phrase);
        // The root is drawn first, its bytes as Latin-1 characters.
        const QList<QGraphicsItem *> items = view_.scene()->items(Qt::AscendingOrder);
        ASSERT_FALSE(items.isEmpty());
        ASSERT_EQ(items.front()->type(), QGraphicsTextItem::Type);
        const QByteArray drawn = labelText(*static_cast<QGraphicsTextItem *>(items.front())).toLatin1();
        EXPECT_EQ(std::string(drawn.constData(), static_cast<std::size_t>(drawn.size())), root.label());
    }
}

TEST_F(ViewerBadInput, AMegabyteTextSearchedForAsAWholeIsOneTree)
{
    std::string text;
    while (text.size() < 1'000'000)
        text += story;
    text.resize(1'000'000);
    view_.setCorpus(corpusOf(text));
    const HangGuard guard("drawing a megabyte label", 60);
    view_.showPhrase(text);
    ASSERT_EQ(view_.history().size(), 1u);
    EXPECT_EQ((*view_.current())->label(), text);
    EXPECT_TRUE((*view_.current())->children().empty());
}

}  // namespace
