#include "DrawManager.h"

#include "PhraseSearch.h"
#include "TreeDrawing.h"

#include <QGraphicsItem>
#include <QGraphicsTextItem>
#include <QMouseEvent>
#include <QResizeEvent>

#include <iterator>

DrawManager::DrawManager(QWidget *parent) : QGraphicsView(parent), current_(history_.end())
{
    setScene(&scene_);
}

DrawManager::~DrawManager()
{
    // The scene's cut labels refer to nodes of the shown tree, but nothing
    // reads them any more: the scene goes with this view.
    discardTrees(history_.begin(), history_.end());
    // The trees' labels refer to the corpus, so it goes after them.
    corpus_.reset();
    // The member scene detaches itself from this view when it is destroyed.
}

void DrawManager::showPhrase(std::string text)
{
    if (!corpus_)
        return;
    // The tree is built before anything is discarded, so a search that finds
    // nothing never shortens the history.
    std::unique_ptr<PhraseNode> root = buildPhraseTree(*corpus_, text);
    if (!root)
        return;
    if (!history_.empty() && std::next(current_) != history_.end()) {
        ++current_;
        discardTrees(current_, history_.end());
        history_.erase(current_, history_.end());
    }
    history_.push_back(std::move(root));
    current_ = std::prev(history_.end());
    drawTree(**current_);
}

void DrawManager::stepBack()
{
    if (current_ == history_.begin())
        return;
    --current_;
    drawTree(**current_);
}

void DrawManager::stepForward()
{
    if (history_.empty())
        return;
    ++current_;
    if (current_ == history_.end()) {
        --current_;
        return;
    }
    drawTree(**current_);
}

void DrawManager::setCorpus(std::unique_ptr<Corpus> corpus)
{
    // The last drawing stays and its labels search the new corpus when
    // clicked, so the labels cut at the edge take their whole text from their
    // nodes before the trees go.
    detachLabels(scene_);
    discardTrees(history_.begin(), history_.end());
    history_.clear();
    current_ = history_.begin();
    corpus_ = std::move(corpus);
}

void DrawManager::discardTrees(History::iterator first, History::iterator last)
{
    // The drawing on the canvas is always the current tree's (or one already
    // detached from its tree); only setCorpus and the destructor discard the
    // current tree.
    for (auto entry = first; entry != last; ++entry)
        entry->reset();
}

void DrawManager::drawTree(const PhraseNode &root)
{
    scene_.clear();
    // Labels at or beyond the right edge of the canvas can never be seen
    // (there is nothing to scroll), so they are not drawn, and a label that
    // runs past the edge holds only the text that reaches it: a label can be
    // as long as the whole text. A cut item refers to its node, from which a
    // click makes the whole label to search. Until the view has been sized
    // there is no canvas to cut against.
    const double width = canvasSized_ ? sceneRect().width() : TreeLayout::unbounded;
    drawTreeInScene(scene_, root, height(), width, /*cutLongLabels=*/true);
}

void DrawManager::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    const QSize size = event->size();
    setSceneRect(0.0, 0.0, static_cast<qreal>(size.width()), static_cast<qreal>(size.height()));
    canvasSized_ = true;
}

void DrawManager::mouseReleaseEvent(QMouseEvent *event)
{
    // Any button will do, and the base class never sees the release.
    QGraphicsItem *item = itemAt(event->position().toPoint());
    if (item == nullptr || item->type() != QGraphicsTextItem::Type)
        return;
    // Copied out first: a successful search clears the scene and the item with it.
    showPhrase(latin1Bytes(labelText(*static_cast<QGraphicsTextItem *>(item))));
}
