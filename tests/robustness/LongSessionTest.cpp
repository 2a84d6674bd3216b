// A long session on the draw view: a thousand searches, clicks on labels and
// steps, and a hundred loads. The history always holds what the user's actions
// put in it, and the memory in use follows it: trees that leave the history
// and corpora that are replaced are gone.
#include "Corpus.h"
#include "DrawManager.h"
#include "PhraseSearch.h"
#include "ViewerTextFile.h"
#include "TreeDrawing.h"

#include <QApplication>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define MORVANET_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVANET_ASAN 1
#endif
#endif
#ifdef MORVANET_ASAN
// From the sanitizer runtime (gcc does not ship the header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes the program holds on the heap right now.
std::size_t heapInUse()
{
#ifdef MORVANET_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

std::string readGenesis()
{
    QFile file(QStringLiteral(MORVANET_SOURCE_DIR "/samples/genesis.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// What the history must be after the user's actions: the search texts of its
// entries and the current index (-1 while empty).
struct HistoryModel {
    std::vector<std::string> texts;
    long current = -1;

    void found(const std::string &text)
    {
        texts.resize(static_cast<std::size_t>(current + 1));
        texts.push_back(text);
        current = static_cast<long>(texts.size()) - 1;
    }
    void back()
    {
        if (current > 0)
            --current;
    }
    void forward()
    {
        if (current + 1 < static_cast<long>(texts.size()))
            ++current;
    }
    void load()
    {
        texts.clear();
        current = -1;
    }
};

class LongSession : public testing::Test {
protected:
    LongSession() : view_(nullptr)
    {
        view_.resize(900, 600);
        view_.show();
        QApplication::processEvents();
    }

    bool matchesModel() const
    {
        std::vector<std::string> texts;
        for (const auto &root : view_.history())
            texts.push_back(root->text());
        const long current = view_.history().empty()
                                 ? -1
                                 : static_cast<long>(std::distance(view_.history().begin(), view_.current()));
        return texts == model_.texts && current == model_.current;
    }

    std::size_t liveNodes() const
    {
        std::size_t count = 0;
        for (const auto &root : view_.history())
            count += root->nodeCount();
        return count;
    }

    void search(const std::string &text)
    {
        const bool occurs = buildPhraseTree(*view_.corpus(), text) != nullptr;
        view_.showPhrase(text);
        if (occurs)
            model_.found(text);
    }

    // Releases a mouse button over a random label on the canvas.
    void clickALabel(std::mt19937 &random)
    {
        std::vector<QGraphicsTextItem *> labels;
        for (QGraphicsItem *item : view_.scene()->items())
            if (item->type() == QGraphicsTextItem::Type && view_.sceneRect().contains(item->sceneBoundingRect().center()))
                labels.push_back(static_cast<QGraphicsTextItem *>(item));
        if (labels.empty())
            return;
        QGraphicsTextItem *label = labels[random() % labels.size()];
        const QPointF at = view_.mapFromScene(label->sceneBoundingRect().center());
        if (view_.itemAt(at.toPoint()) != label)
            return;  // covered by another label
        const QByteArray text = labelText(*label).toLatin1();
        const std::string bytes(text.constData(), static_cast<std::size_t>(text.size()));
        const bool occurs = buildPhraseTree(*view_.corpus(), bytes) != nullptr;
        const Qt::MouseButton button = random() % 2 ? Qt::LeftButton : Qt::RightButton;
        QMouseEvent event(QEvent::MouseButtonRelease, at, view_.viewport()->mapToGlobal(at), button, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(view_.viewport(), &event);
        if (occurs)
            model_.found(bytes);
    }

    void load(const std::string &bytes)
    {
        view_.setCorpus(std::make_unique<Corpus>(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        model_.load();
    }

    DrawManager view_;
    HistoryModel model_;
};

TEST_F(LongSession, AThousandActionsAndAHundredLoadsKeepTheHistoryAndMemoryInStep)
{
    const std::string genesis = readGenesis();
    ASSERT_GT(genesis.size(), 100'000u);
    // Five texts of about 40 kB, each a different part of Genesis; half of the
    // loads go through a file as Open File reads it.
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < 5; ++i)
        texts.push_back(genesis.substr(i * 40'000, 40'000));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<QString> paths;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        paths.push_back(dir.filePath(QStringLiteral("part%1.txt").arg(i)));
        QFile file(paths.back());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(texts[i].data(), static_cast<qint64>(texts[i].size()));
    }
    const std::vector<std::string> phrases = {"And", "the", "God", "and the", "said", ".", "unto him", "Abram",
                                              "zebra", "", "And he said", "of the", "Let there be", "land of"};

    std::mt19937 random(1789);
    const std::string tiny = "a b";
    std::size_t largestNodes = 0;
    std::size_t largestHeap = 0;
    // One session step: a load, then ten actions, each checked against the model.
    auto session = [&](int loads) {
        for (int loadIndex = 0; loadIndex < loads; ++loadIndex) {
            const std::size_t which = random() % texts.size();
            if (loadIndex % 2 == 0) {
                const std::optional<std::string> bytes = loadTextFile(paths[which]);
                ASSERT_TRUE(bytes.has_value());
                load(*bytes);
            } else {
                load(texts[which]);
            }
            ASSERT_TRUE(matchesModel());
            for (int action = 0; action < 10; ++action) {
                switch (random() % 4) {
                case 0:
                    search(phrases[random() % phrases.size()]);
                    break;
                case 1:
                    clickALabel(random);
                    break;
                case 2:
                    view_.stepBack();
                    model_.back();
                    break;
                default:
                    view_.stepForward();
                    model_.forward();
                    break;
                }
                ASSERT_TRUE(matchesModel()) << "load " << loadIndex << ", action " << action;
            }
            largestNodes = std::max(largestNodes, liveNodes());
            largestHeap = std::max(largestHeap, heapInUse());
        }
        // The tiny corpus and its drawing leave next to nothing on the heap.
        load(tiny);
        search("a");
    };

    // A short session first fills the toolkit's caches (fonts of many sizes).
    session(20);
    const std::size_t baseline = heapInUse();
    largestHeap = 0;
    session(100);
    const std::size_t after = heapInUse();
    EXPECT_GT(largestNodes, 1000u);
    EXPECT_GT(largestHeap, baseline + 3'000'000) << "the session should have held trees and corpora";
    // Everything the session built is gone: a hundred corpora and hundreds of
    // trees would take tens of megabytes. What stays is the toolkit's font
    // caches, which grow a little with every new label size they meet.
    EXPECT_LT(after, baseline + 2'500'000) << "baseline " << baseline << ", after " << after << ", largest "
                                           << largestHeap;
}

TEST_F(LongSession, DiscardedTreesGiveTheirMemoryBack)
{
    const std::string genesis = readGenesis();
    load(genesis);
    search("a");
    const std::size_t empty = heapInUse();
    // Many copies of a large tree, then a search from the first entry drops them all.
    for (int i = 0; i < 50; ++i)
        search("the");
    ASSERT_TRUE(matchesModel());
    const std::size_t nodes = liveNodes();
    const std::size_t full = heapInUse();
    ASSERT_GT(full, empty + nodes * 20) << "the trees should take room";
    for (int i = 0; i < 50; ++i) {
        view_.stepBack();
        model_.back();
    }
    search("a");
    ASSERT_TRUE(matchesModel());
    ASSERT_EQ(view_.history().size(), 2u);
    EXPECT_LT(heapInUse(), empty + (full - empty) / 10);
}

}  // namespace
