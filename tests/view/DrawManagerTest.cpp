// The draw view: its history of trees, its clicks on labels and its size.
#include "DrawManager.h"
#include "TreeDrawing.h"

#include <QApplication>
#include <QGraphicsPathItem>
#include <QGraphicsTextItem>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string text = "the cat sat . the cat ran . a dog sat . the dog ran home . a cat sat down . "
                         "caf\xe9 au lait . the end .";

std::unique_ptr<Corpus> makeCorpus(const std::string &bytes = text)
{
    return std::make_unique<Corpus>(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::string bytesOf(const QString &s)
{
    const QByteArray bytes = s.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

class DrawManagerTest : public testing::Test {
protected:
    DrawManagerTest() : view(nullptr)
    {
        view.resize(700, 500);
        view.show();
        QApplication::processEvents();
    }

    QList<QGraphicsItem *> items() const { return view.scene()->items(Qt::AscendingOrder); }

    // The text of the label drawn first: the root of the tree on the canvas.
    std::string shownRoot() const
    {
        const auto list = items();
        if (list.isEmpty() || list.front()->type() != 8)
            return {};
        return bytesOf(labelText(*static_cast<QGraphicsTextItem *>(list.front())));
    }

    std::vector<std::string> historyLabels() const
    {
        std::vector<std::string> out;
        for (const auto &root : view.history())
            out.push_back(root->label());
        return out;
    }

    std::size_t currentIndex() const
    {
        return static_cast<std::size_t>(std::distance(view.history().begin(), view.current()));
    }

    // Tags the items on the canvas; untouched() tells whether they are still exactly those.
    void tagDrawing()
    {
        tagged = items().size();
        for (QGraphicsItem *item : items())
            item->setData(0, QStringLiteral("tagged"));
    }
    bool untouched() const
    {
        const auto list = items();
        if (list.size() != tagged)
            return false;
        for (const QGraphicsItem *item : list)
            if (item->data(0).toString() != QStringLiteral("tagged"))
                return false;
        return true;
    }

    void release(QPointF scenePoint, Qt::MouseButton button)
    {
        const QPointF at = view.mapFromScene(scenePoint);
        QMouseEvent event(QEvent::MouseButtonRelease, at, view.viewport()->mapToGlobal(at), button, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    }

    QGraphicsItem *itemOfType(int type, std::size_t nth = 0) const
    {
        for (QGraphicsItem *item : items())
            if (item->type() == type && nth-- == 0)
                return item;
        return nullptr;
    }

    DrawManager view;
    qsizetype tagged = 0;
};

TEST_F(DrawManagerTest, WithoutCorpusNothingHappens)
{
    view.showPhrase("the cat");
    view.stepBack();
    view.stepForward();
    EXPECT_TRUE(view.history().empty());
    EXPECT_TRUE(view.current() == view.history().end());
    EXPECT_TRUE(items().isEmpty());
}

TEST_F(DrawManagerTest, HistoryWalksBackAndForthAndForgetsTheFutureOnANewSearch)
{
    view.setCorpus(makeCorpus());
    // Empty: stepping and failed searches change nothing.
    view.stepBack();
    view.stepForward();
    view.showPhrase("zebra");
    view.showPhrase(" , ");
    view.showPhrase("  ");
    EXPECT_TRUE(view.history().empty());
    EXPECT_TRUE(items().isEmpty());

    view.showPhrase("the");
    EXPECT_EQ(shownRoot(), "the");
    EXPECT_EQ(currentIndex(), 0u);
    tagDrawing();
    view.stepBack();  // on the first entry
    view.stepForward();  // on the last entry
    EXPECT_TRUE(untouched());

    view.showPhrase("the cat");
    view.showPhrase("a");
    EXPECT_EQ(historyLabels(), (std::vector<std::string>{"the", "the cat", "a"}));
    EXPECT_EQ(currentIndex(), 2u);
    EXPECT_EQ(shownRoot(), "a");

    view.stepBack();
    EXPECT_EQ(shownRoot(), "the cat");
    EXPECT_EQ(currentIndex(), 1u);
    view.stepForward();
    EXPECT_EQ(shownRoot(), "a");
    tagDrawing();
    view.stepForward();
    EXPECT_TRUE(untouched());
    EXPECT_EQ(currentIndex(), 2u);

    // A phrase that does not occur keeps the entries after the current one.
    view.stepBack();
    tagDrawing();
    view.showPhrase("the zebra");
    EXPECT_TRUE(untouched());
    EXPECT_EQ(historyLabels(), (std::vector<std::string>{"the", "the cat", "a"}));
    EXPECT_EQ(currentIndex(), 1u);

    // P, Q, R, Previous, Previous, S gives P, S.
    const PhraseNode *first = view.history().front().get();
    view.stepBack();
    EXPECT_EQ(shownRoot(), "the");
    tagDrawing();
    view.stepBack();
    EXPECT_TRUE(untouched());
    view.showPhrase("dog");
    EXPECT_EQ(historyLabels(), (std::vector<std::string>{"the", "dog"}));
    EXPECT_EQ(view.history().front().get(), first);
    EXPECT_EQ(currentIndex(), 1u);
    EXPECT_EQ(shownRoot(), "dog");
    tagDrawing();
    view.stepForward();
    EXPECT_TRUE(untouched());
    view.stepBack();
    EXPECT_EQ(shownRoot(), "the");
}

TEST_F(DrawManagerTest, SamePhraseTwiceMakesTwoTreesDrawnAlike)
{
    view.setCorpus(makeCorpus());
    view.showPhrase("the cat");
    std::vector<QPointF> before;
    for (const QGraphicsItem *item : items())
        before.push_back(item->pos());
    view.showPhrase("the cat");
    ASSERT_EQ(view.history().size(), 2u);
    EXPECT_NE(view.history().front().get(), view.history().back().get());
    view.stepBack();
    std::vector<QPointF> after;
    for (const QGraphicsItem *item : items())
        after.push_back(item->pos());
    EXPECT_EQ(before, after);
}

TEST_F(DrawManagerTest, NewCorpusDropsEveryTreeAndKeepsTheDrawing)
{
    view.setCorpus(makeCorpus());
    view.showPhrase("the");
    view.showPhrase("cat");
    tagDrawing();
    view.setCorpus(makeCorpus("one cat . two cats . the cat sat ."));
    EXPECT_TRUE(view.history().empty());
    EXPECT_TRUE(view.current() == view.history().end());
    EXPECT_TRUE(untouched());
    view.stepBack();
    view.stepForward();
    EXPECT_TRUE(untouched());

    // A label left from the old text searches the new one.
    QGraphicsItem *root = itemOfType(8);
    ASSERT_NE(root, nullptr);
    release(root->sceneBoundingRect().center(), Qt::LeftButton);
    ASSERT_EQ(view.history().size(), 1u);
    const auto &children = view.history().front()->children();
    ASSERT_FALSE(children.empty());
    EXPECT_EQ(children.front()->label(), ".");  // "cat ." of the new text, not "cat sat"
}

// Two runs of long words after "x", each far wider than the canvas.
std::string longRuns(const std::string &before)
{
    std::string out = before;
    for (const char *branch : {"alpha", "beta"}) {
        out += " x";
        for (int i = 0; i < 300; ++i)
            out += ' ' + std::string(branch) + "abcdefghijklmnopqrstuvwxyz" + std::to_string(i);
        out += " .";
    }
    return out;
}

TEST_F(DrawManagerTest, ALabelCutAtTheEdgeSearchesItsWholeTextBeforeAndAfterANewCorpus)
{
    view.setCorpus(makeCorpus(longRuns("")));
    // The label item that holds less than its label, and where to click it:
    // near its left end, which is on the canvas, past where its curve ends.
    const auto cutLabel = [this]() -> QGraphicsTextItem * {
        for (QGraphicsItem *item : items()) {
            auto *text = qgraphicsitem_cast<QGraphicsTextItem *>(item);
            if (text != nullptr && text->toPlainText() != labelText(*text))
                return text;
        }
        return nullptr;
    };
    const auto clickPoint = [](const QGraphicsItem *item) {
        return item->scenePos() + QPointF(4, item->boundingRect().height() / 2);
    };

    view.showPhrase("x");
    QGraphicsTextItem *cut = cutLabel();
    ASSERT_NE(cut, nullptr);
    const std::string whole = bytesOf(labelText(*cut));
    EXPECT_GT(whole.size(), 5000u);
    EXPECT_LT(cut->toPlainText().size(), 2000);
    release(clickPoint(cut), Qt::LeftButton);
    ASSERT_EQ(view.history().size(), 2u);
    EXPECT_EQ(view.history().back()->text(), whole);

    // Back on "x", then a new text: the shown labels outlive the trees they
    // were cut from, and still search their whole text, now in the new corpus.
    view.stepBack();
    cut = cutLabel();
    ASSERT_NE(cut, nullptr);
    const std::string shown = bytesOf(labelText(*cut));
    view.setCorpus(makeCorpus(longRuns("a new text before the same runs .")));
    ASSERT_TRUE(view.history().empty());
    EXPECT_FALSE(cut->data(labelNodeKey).isValid());
    EXPECT_EQ(bytesOf(labelText(*cut)), shown);
    release(clickPoint(cut), Qt::LeftButton);
    ASSERT_EQ(view.history().size(), 1u);
    EXPECT_EQ(view.history().front()->text(), shown);
    EXPECT_EQ(view.history().front()->corpus(), view.corpus());
}

TEST_F(DrawManagerTest, ReleasingAnyButtonOnALabelSearchesIt)
{
    view.setCorpus(makeCorpus());
    view.showPhrase("the");
    QGraphicsItem *label = itemOfType(8, 1);  // the first continuation
    ASSERT_NE(label, nullptr);
    const std::string clicked = bytesOf(labelText(*static_cast<QGraphicsTextItem *>(label)));
    release(label->sceneBoundingRect().center(), Qt::LeftButton);
    EXPECT_EQ(historyLabels(), (std::vector<std::string>{"the", clicked}));
    EXPECT_EQ(shownRoot(), clicked);

    // The root label, with the right button: a new entry and a new tree of the same text.
    QGraphicsItem *root = itemOfType(8);
    release(root->sceneBoundingRect().center(), Qt::RightButton);
    EXPECT_EQ(historyLabels(), (std::vector<std::string>{"the", clicked, clicked}));
    EXPECT_EQ(currentIndex(), 2u);
}

TEST_F(DrawManagerTest, ClickedTextTravelsAsLatin1)
{
    // The root takes in the one way the phrase goes on: "caf\xe9 au lait .".
    view.setCorpus(makeCorpus());
    view.showPhrase("caf\xe9 au");
    const std::string shown = shownRoot();
    EXPECT_EQ(shown.rfind("caf\xe9 au lait", 0), 0u) << shown;
    release(itemOfType(8)->sceneBoundingRect().center(), Qt::MiddleButton);
    ASSERT_EQ(view.history().size(), 2u);
    // The search text is the label's bytes, as the new root's label begins with them.
    EXPECT_EQ(view.history().back()->label().rfind(shown, 0), 0u) << view.history().back()->label();
}

TEST_F(DrawManagerTest, ReleasingOnEmptyCanvasOrACurveDoesNothing)
{
    view.setCorpus(makeCorpus());
    view.showPhrase("the");
    tagDrawing();
    release(QPointF(view.viewport()->width() - 2, view.viewport()->height() - 2), Qt::LeftButton);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(view.history().size(), 1u);

    // The middle of a curve where no label covers it.
    std::optional<QPointF> onCurve;
    for (const QGraphicsItem *item : items()) {
        if (item->type() != QGraphicsPathItem::Type)
            continue;
        const QPointF middle = static_cast<const QGraphicsPathItem *>(item)->path().pointAtPercent(0.5);
        if (view.itemAt(view.mapFromScene(middle)) == item) {
            onCurve = middle;
            break;
        }
    }
    ASSERT_TRUE(onCurve.has_value());
    release(*onCurve, Qt::LeftButton);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(view.history().size(), 1u);
}

TEST_F(DrawManagerTest, SceneFollowsTheViewportAndTreesTheHeightAtDrawing)
{
    view.setCorpus(makeCorpus());
    view.showPhrase("the");
    tagDrawing();
    const int frame = 2 * view.frameWidth();
    view.resize(800 + frame, 600 + frame);
    QApplication::processEvents();
    ASSERT_EQ(view.viewport()->size(), QSize(800, 600));
    EXPECT_EQ(view.sceneRect(), QRectF(0, 0, 800, 600));
    EXPECT_TRUE(untouched());

    // The next drawing, and a tree revisited, use the view's height at that moment.
    const auto sizeOfRoot = [this] {
        return static_cast<QGraphicsTextItem *>(itemOfType(8))->font().pixelSize();
    };
    view.showPhrase("the");
    const int tall = sizeOfRoot();
    EXPECT_EQ(tall, static_cast<int>(static_cast<float>(view.height()) * view.history().back()->weight()));
    view.resize(400 + frame, 300 + frame);
    QApplication::processEvents();
    view.stepBack();
    EXPECT_EQ(sizeOfRoot(), static_cast<int>(static_cast<float>(view.height()) * view.history().front()->weight()));
    EXPECT_LT(sizeOfRoot(), tall);
}

} // namespace
