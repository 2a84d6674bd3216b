// DrawManager: the canvas; owns the corpus, the history of shown trees and the scene they are drawn in.
#pragma once

#include "Corpus.h"
#include "PhraseNode.h"

#include <QGraphicsScene>
#include <QGraphicsView>

#include <list>
#include <memory>
#include <string>

class DrawManager : public QGraphicsView {
public:
    using History = std::list<std::unique_ptr<PhraseNode>>;

    explicit DrawManager(QWidget *parent);
    ~DrawManager() override;

    // Searches `text` in the loaded corpus. If it occurs, drops the entries
    // after the current one, appends the new tree, makes it current and draws
    // it. Without a corpus, or when the text has no tokens or does not occur,
    // nothing changes.
    void showPhrase(std::string text);
    // Moves to the previous entry and draws it; nothing on the first entry.
    void stepBack();
    // Moves to the next entry and draws it; nothing on the last entry.
    void stepForward();
    // Takes ownership of `corpus`, destroying the old corpus and every tree of
    // the history. The drawing on the canvas stays until the next search, and
    // a click on one of its labels searches the label's whole text in the new
    // corpus (labels cut at the edge are made whole first).
    void setCorpus(std::unique_ptr<Corpus> corpus);

    // Read access for the window and for tests.
    const History &history() const { return history_; }
    // The current entry: history().end() while the history is empty.
    History::const_iterator current() const { return current_; }
    const Corpus *corpus() const { return corpus_.get(); }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Clears the scene and draws `root` for the view's current height.
    void drawTree(const PhraseNode &root);
    // Destroys the trees of the entries [first, last); the caller removes the entries.
    void discardTrees(History::iterator first, History::iterator last);

    History history_;
    History::iterator current_;
    std::unique_ptr<Corpus> corpus_;
    QGraphicsScene scene_;
    bool canvasSized_ = false;  // set by the first resize event
};
