// TreeCanvas: the explorer's zoomable, pannable view of a phrase's trees, drawn by the code that draws the command's pictures.
#pragma once

#include "LabelEncoding.h"
#include "LabelItemPool.h"
#include "OpenedCorpus.h"
#include "QueryAnswer.h"
#include "TreeDrawing.h"
#include "TreeLayout.h"
#include "TreePruning.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QImage>
#include <QPoint>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

// At zoom 1 the canvas shows exactly what `morvanet-tree --png --size WxH`
// draws for its viewport of W x H pixels. At zoom z it shows a part of the
// picture the command would draw for a canvas z times as wide and high,
// panned by dragging or by the scroll bars; only what is visible is laid
// out and drawn, as it comes into view. A click on a label asks for it to
// be searched; hovering shows its whole text, count and share, and for an
// annotated corpus every layer of the label's first token.
class TreeCanvas : public QGraphicsView {
    Q_OBJECT
public:
    // A label under the pointer: its node, and whether it is the double
    // tree's middle label (which stands for both roots).
    struct Hit {
        const PhraseNode *node = nullptr;
        bool middle = false;
        // A left-out entry: how many continuations of `node` it stands for (else 0).
        std::uint32_t more = 0;
        std::uint64_t count = 0;  // the occurrences it stands for
        explicit operator bool() const { return node != nullptr; }
    };

    static constexpr double maxZoom = 64.0;
    // At the phrase scale the whole magnified canvas is laid out at once, and
    // labels grow by the square root of the zoom: 16 shows four times the lines.
    static constexpr double maxPhraseZoom = 16.0;

    explicit TreeCanvas(QWidget *parent = nullptr);
    ~TreeCanvas() override;

    // Shows the trees of `answer` (null: nothing), which refer to `corpus`;
    // both are kept alive while shown.
    void showAnswer(std::shared_ptr<const QueryAnswer> answer, std::shared_ptr<const OpenedCorpus> corpus,
                    const TreePruning &pruning);
    // How labels are sized: by the phrase (the default) or as the viewer does.
    void setLabelScale(LabelScale scale);
    LabelScale labelScale() const { return scale_; }
    const QueryAnswer *answer() const { return answer_.get(); }

    // The canvas the trees are drawn for at zoom 1: the viewport's size
    // without scroll bars.
    QSize canvasSize() const;
    double zoom() const { return zoom_; }
    // Zooms about `anchor` (viewport coordinates; the centre when null),
    // between 1 and maxZoom.
    void setZoom(double zoom, QPoint anchor = QPoint(-1, -1));
    void zoomIn();
    void zoomOut();
    void resetZoom();

    // The picture the command draws for canvasSize(), or a null image when
    // nothing is shown; and the same written to a file, as SVG if its name
    // ends in ".svg", else PNG (false if it cannot be written or nothing is shown).
    QImage picture() const;
    bool writePicture(const QString &path) const;
    // The label at a point of the viewport.
    Hit labelAt(QPoint point) const;
    // The label whose lines are shown, marked on the canvas (none: a null
    // node). Kept until another answer is shown.
    void select(Hit hit);
    Hit selected() const { return selected_; }
    // A note shown over the canvas (rich text with links, centred; empty
    // for none), such as why a phrase has no tree. Its links come back as
    // noticeLinkActivated().
    void setNotice(const QString &html);
    QString notice() const;
    // What the last redraw laid out (scene coordinates).
    const TreeLayout &layout() const { return layout_; }
    // How many times the trees were laid out and drawn.
    std::size_t redrawCount() const { return redraws_; }

signals:
    // A label was clicked (with Shift, `alone`), or its context menu's
    // Follow This Branch (Search This Label Alone) was chosen.
    void searchRequested(const PhraseNode *node, bool middle, bool alone);
    // A left-out entry was clicked: the continuations of `node` beyond the
    // first drawn ones, `more` of them, are to be listed at `where` (global).
    void moreRequested(const PhraseNode *node, std::uint32_t more, QPoint where);
    // Show Its Lines was chosen for a label, or it was clicked with Ctrl
    // (it is then selected); or a click on no label asked for all the
    // lines again (a null node).
    void linesRequested(const PhraseNode *node, bool middle);
    // The zoom changed.
    void zoomChanged(double zoom);
    // A link of the notice was clicked.
    void noticeLinkActivated(const QString &link);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    TreeSides sides() const;
    template <typename Use>
    void withPicture(Use &&use) const;
    // Lays out and draws what the viewport shows, unless what was drawn covers it.
    void redraw(bool force);
    // Shows a new, empty scene. The old one, with the trees its items refer
    // to, is destroyed once the event loop comes round again: deleting a
    // thousand text items costs as much as drawing them, and need not come
    // before the new drawing is painted.
    void freshScene();
    // Destroys the scenes shown before (and forgets the labels the pool
    // holds, if they were drawn there).
    void dropRetired();
    void updateSceneRect();
    QString toolTipFor(const Hit &hit) const;
    // Marks the selected label, if it is laid out.
    void markSelection();

    std::shared_ptr<const QueryAnswer> answer_;
    std::shared_ptr<const OpenedCorpus> corpus_;
    TreePruning pruning_;
    LabelScale scale_ = LabelScale::Phrase;
    LabelEncoding encoding_ = LabelEncoding::Latin1;
    std::unique_ptr<QGraphicsScene> scene_;
    QLabel *notice_ = nullptr;
    // Scenes shown before, kept until retireTimer_ fires; members are
    // destroyed last to first, the items before what they refer to.
    struct Retired {
        std::shared_ptr<const OpenedCorpus> corpus;
        std::shared_ptr<const QueryAnswer> answer;
        std::shared_ptr<const PhraseNode> middle;
        std::unique_ptr<QGraphicsScene> scene;
    };
    std::vector<Retired> retired_;
    QTimer retireTimer_;
    TreeLayout layout_;
    QRectF drawn_;  // the part of the scene the items cover
    // The labels of the last drawing, which a pan or a pruning change of
    // the same trees reuses, and the scene they are in.
    LabelItemPool pool_;
    const QGraphicsScene *poolScene_ = nullptr;
    // The selected label (for the middle label only `middle`: it is made
    // anew with every drawing) and its mark, an item of the scene.
    Hit selected_;
    QGraphicsItem *mark_ = nullptr;
    double zoom_ = 1.0;
    std::size_t redraws_ = 0;
    bool inRedraw_ = false;
    // Pointer state: a press that becomes a drag pans, one that does not is a click.
    QPoint pressed_;
    bool pressing_ = false;
    bool dragging_ = false;
};
