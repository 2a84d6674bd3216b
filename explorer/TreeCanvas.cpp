#include "TreeCanvas.h"

#include "LabelText.h"
#include "LayerTip.h"
#include "TreePicture.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGraphicsRectItem>
#include <QHelpEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QScrollBar>
#include <QThread>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// How much of a label a tooltip shows: a label can be as long as the text.
constexpr std::size_t toolTipBytes = 400;

}  // namespace

TreeCanvas::TreeCanvas(QWidget *parent) : QGraphicsView(parent), scene_(std::make_unique<QGraphicsScene>())
{
    // The scene is laid out anew as the view moves; an index would only cost.
    scene_->setItemIndexMethod(QGraphicsScene::NoIndex);
    setScene(scene_.get());
    retireTimer_.setSingleShot(true);
    retireTimer_.setInterval(0);
    connect(&retireTimer_, &QTimer::timeout, this, [this] { dropRetired(); });
    // The scene's origin at the viewport's top-left corner, as the picture's.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackgroundBrush(Qt::white);
    setRenderHints(QPainter::TextAntialiasing);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setResizeAnchor(QGraphicsView::NoAnchor);
    setMouseTracking(true);
    notice_ = new QLabel(viewport());
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setTextFormat(Qt::RichText);
    notice_->setWordWrap(true);
    notice_->setAlignment(Qt::AlignCenter);
    notice_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    notice_->setContentsMargins(24, 24, 24, 24);
    notice_->hide();
    connect(notice_, &QLabel::linkActivated, this, &TreeCanvas::noticeLinkActivated);
}

void TreeCanvas::setNotice(const QString &html)
{
    notice_->setText(html);
    notice_->setGeometry(viewport()->rect());
    notice_->setVisible(!html.isEmpty());
}

QString TreeCanvas::notice() const
{
    return notice_->isHidden() ? QString() : notice_->text();
}

TreeCanvas::~TreeCanvas()
{
    // Leaving the scene scrolls the view: nothing is to be drawn any more.
    inRedraw_ = true;
    setScene(nullptr);
    // The items refer to the trees: they go first.
    pool_.clear();
    retired_.clear();
    scene_->clear();
}

void TreeCanvas::dropRetired()
{
    for (const Retired &retired : retired_) {
        if (retired.scene.get() == poolScene_)
            pool_.clear();
    }
    retired_.clear();
}

void TreeCanvas::freshScene()
{
    // One scene waits at most: items left alive slow the making of new ones.
    dropRetired();
    auto scene = std::make_unique<QGraphicsScene>();
    scene->setItemIndexMethod(QGraphicsScene::NoIndex);
    scene->setSceneRect(scene_->sceneRect());
    // Another scene moves the view to its start: it stays where it was.
    const int across = horizontalScrollBar()->value();
    const int down = verticalScrollBar()->value();
    const bool drawing = inRedraw_;
    inRedraw_ = true;
    setScene(scene.get());
    horizontalScrollBar()->setValue(across);
    verticalScrollBar()->setValue(down);
    inRedraw_ = drawing;
    retired_.push_back(Retired{corpus_, answer_, layout_.middleOwner(), std::move(scene_)});
    scene_ = std::move(scene);
    mark_ = nullptr;
    retireTimer_.start();
}

TreeSides TreeCanvas::sides() const
{
    if (!answer_)
        return {};
    return TreeSides{answer_->forward.get(), answer_->backward.get()};
}

void TreeCanvas::showAnswer(std::shared_ptr<const QueryAnswer> answer, std::shared_ptr<const OpenedCorpus> corpus,
                            const TreePruning &pruning)
{
    const bool same = answer == answer_;
    // The old items go with the old trees; the same trees' items may serve again.
    if (!same) {
        pool_.clear();
        freshScene();
        selected_ = {};
    }
    layout_ = {};
    answer_ = std::move(answer);
    corpus_ = std::move(corpus);
    pruning_ = pruning;
    encoding_ = corpus_ ? labelEncoding(corpus_->corpus().options()) : LabelEncoding::Latin1;
    // A new question starts at the whole canvas again; a pruning change keeps the view.
    if (!same && zoom_ != 1.0)
        resetZoom();
    redraw(true);
}

void TreeCanvas::setLabelScale(LabelScale scale)
{
    if (scale == scale_)
        return;
    scale_ = scale;
    pool_.clear();
    selected_ = {};
    redraw(true);
}

QSize TreeCanvas::canvasSize() const
{
    return maximumViewportSize();
}

void TreeCanvas::updateSceneRect()
{
    const QSize canvas = canvasSize();
    scene_->setSceneRect(0.0, 0.0, std::round(canvas.width() * zoom_), std::round(canvas.height() * zoom_));
}

void TreeCanvas::setZoom(double zoom, QPoint anchor)
{
    zoom = std::clamp(zoom, 1.0, scale_ == LabelScale::Phrase ? maxPhraseZoom : maxZoom);
    if (zoom == zoom_)
        return;
    if (anchor.x() < 0)
        anchor = viewport()->rect().center();
    // The point of the tree under the anchor stays there: the same point of
    // the label nearest to it, when the labels are laid out anew for the
    // zoom (at the phrase scale, where they do not simply grow); else the
    // same point of the picture.
    const QPointF unit = mapToScene(anchor) / zoom_;
    const QPointF anchorInScene = mapToScene(anchor);
    const TreeLayout::Label *near = nullptr;
    double nearest = 0;
    for (const TreeLayout::Item &item : layout_.items()) {
        const auto *label = std::get_if<TreeLayout::Label>(&item);
        if (!label)
            continue;
        const QRectF box(label->x, label->y, label->size.width, label->size.height);
        const double dx = std::max({box.left() - anchorInScene.x(), 0.0, anchorInScene.x() - box.right()});
        const double dy = std::max({box.top() - anchorInScene.y(), 0.0, anchorInScene.y() - box.bottom()});
        const double distance = dx * dx + dy * dy;
        if (!near || distance < nearest) {
            near = label;
            nearest = distance;
        }
    }
    struct Anchor {
        const PhraseNode *node = nullptr;
        bool middle = false;
        std::uint32_t more = 0;
        TreeLayout::Side side = TreeLayout::Side::Root;
        QPointF within;  // the anchor's place in the label's box, in fractions
    } kept;
    if (near && scale_ == LabelScale::Phrase) {
        kept = {near->node, near->node == layout_.middle(), near->more, near->side,
                QPointF((anchorInScene.x() - near->x) / std::max(near->size.width, 1.0),
                        (anchorInScene.y() - near->y) / std::max(near->size.height, 1.0))};
    }
    zoom_ = zoom;
    pool_.clear();  // every label has another size
    inRedraw_ = true;
    const Qt::ScrollBarPolicy policy = zoom_ == 1.0 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    updateSceneRect();
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(unit.x() * zoom_ - anchor.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(unit.y() * zoom_ - anchor.y())));
    inRedraw_ = false;
    redraw(true);
    if (kept.node) {
        for (const TreeLayout::Item &item : layout_.items()) {
            const auto *label = std::get_if<TreeLayout::Label>(&item);
            if (!label || label->side != kept.side || label->more != kept.more
                || (kept.middle ? label->node != layout_.middle() : label->node != kept.node))
                continue;
            const QPointF point(label->x + kept.within.x() * label->size.width,
                                label->y + kept.within.y() * label->size.height);
            horizontalScrollBar()->setValue(static_cast<int>(std::lround(point.x() - anchor.x())));
            verticalScrollBar()->setValue(static_cast<int>(std::lround(point.y() - anchor.y())));
            break;
        }
    }
    emit zoomChanged(zoom_);
}

void TreeCanvas::zoomIn()
{
    setZoom(zoom_ * 1.25);
}

void TreeCanvas::zoomOut()
{
    setZoom(zoom_ / 1.25);
}

void TreeCanvas::resetZoom()
{
    setZoom(1.0);
}

void TreeCanvas::redraw(bool force)
{
    if (inRedraw_)
        return;
    inRedraw_ = true;
    const QRectF visible = mapToScene(viewport()->rect()).boundingRect();
    if (force || !drawn_.contains(visible.intersected(sceneRect()))) {
        freshScene();
        layout_ = {};
        drawn_ = {};
        if (answer_) {
            const QRectF all = sceneRect();
            // Zoomed, what is in view and half a view around it, so that a
            // pan of less than that costs no layout at all. The phrase scale
            // measures every label it chooses, seen or not: it draws the
            // whole canvas at once, and a pan then costs nothing.
            const QRectF around = zoom_ == 1.0 || scale_ == LabelScale::Phrase ? all
                                               : visible.adjusted(-visible.width() / 2, -visible.height() / 2,
                                                                  visible.width() / 2, visible.height() / 2)
                                                     .intersected(all);
            // The labels drawn before, for the same trees at the same size,
            // are in the retired scene, which lives until this is painted.
            TreeDrawingRequest request;
            request.layout.sides = sides();
            request.layout.height = static_cast<int>(all.height());
            request.layout.width = all.width();
            request.layout.pruning = pruning_;
            if (around != all)
                request.layout.visible = TreeLayout::Visible{around.left(), around.top(), around.right(), around.bottom()};
            request.layout.zoom = zoom_;
            request.scale = scale_;
            request.encoding = encoding_;
            request.reuse = &pool_;
            layout_ = drawTreesInScene(*scene_, request);
            poolScene_ = scene_.get();
            drawn_ = around;
            ++redraws_;
            markSelection();
        }
    }
    inRedraw_ = false;
}

template <typename Use>
void TreeCanvas::withPicture(Use &&use) const
{
    // Drawn on a thread of its own, whose font cache is as new as the
    // command's: glyphs this thread's engines measured before can be placed
    // a fraction of a pixel apart. The trees are read there while this
    // thread waits, never by both at once.
    const TreeSides trees = sides();
    const QSize canvas = canvasSize();
    std::unique_ptr<QThread> painter(QThread::create([&] {
        const TreePicture picture(drawingRequest(trees, canvas, encoding_, pruning_, scale_));
        use(picture);
    }));
    painter->start();
    painter->wait();
}

QImage TreeCanvas::picture() const
{
    QImage image;
    if (answer_)
        withPicture([&image](const TreePicture &picture) { image = picture.image(); });
    return image;
}

bool TreeCanvas::writePicture(const QString &path) const
{
    if (!answer_)
        return false;
    const bool svg = QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
    // Replaced whole or not at all: an export that fails leaves the old file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool written = false;
    withPicture([&](const TreePicture &picture) {
        written = svg ? picture.writeSvg(file) : picture.image().save(&file, "PNG");
    });
    return written && file.commit();
}

TreeCanvas::Hit TreeCanvas::labelAt(QPoint point) const
{
    const QPointF at = mapToScene(point);
    const auto &items = layout_.items();
    // Later labels are drawn above earlier ones.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const auto *label = std::get_if<TreeLayout::Label>(&*it);
        if (label && QRectF(label->x, label->y, label->size.width, label->size.height).contains(at))
            return Hit{label->node, label->node == layout_.middle(), label->more, label->count};
    }
    return {};
}

void TreeCanvas::select(Hit hit)
{
    if (hit.middle)
        hit.node = layout_.middle();
    selected_ = hit;
    markSelection();
}

void TreeCanvas::markSelection()
{
    delete mark_;
    mark_ = nullptr;
    if (!selected_)
        return;
    for (const TreeLayout::Item &item : layout_.items()) {
        const auto *label = std::get_if<TreeLayout::Label>(&item);
        if (!label || !(selected_.middle ? label->node == layout_.middle() : label->node == selected_.node))
            continue;
        auto *mark = scene_->addRect(QRectF(label->x, label->y, label->size.width, label->size.height), Qt::NoPen,
                                    QColor(255, 214, 102, 150));
        // Behind the label's text.
        mark->setZValue(-1.0);
        mark_ = mark;
        return;
    }
}

QString TreeCanvas::toolTipFor(const Hit &hit) const
{
    if (hit.more > 0) {
        const QLocale locale;
        return tr("<p>%1 more continuations, %2 occurrences, too many to draw here.</p><p>Click to list them.</p>")
            .arg(locale.toString(hit.more), locale.toString(static_cast<qulonglong>(hit.count)));
    }
    // The tokens parted by blanks, whatever the drawing shows: where the
    // text writes words together (Chinese, Japanese), this tells them apart.
    const std::string part = hit.node->labelPrefix(toolTipBytes + 1);
    const bool cut = part.size() > toolTipBytes;
    const std::string_view bytes =
        cut ? wholeCharacters(std::string_view(part).substr(0, toolTipBytes), false, encoding_) : part;
    QString text = labelString(bytes, encoding_).toHtmlEscaped();
    if (cut)
        text += QStringLiteral("…");
    const QueryAnswer &answer = *answer_;
    const PhraseNode &counted = hit.middle && answer.forward ? *answer.forward : *hit.node;
    const std::uint32_t count = counted.count();
    const PhraseNode *root = answer.forward ? answer.forward.get() : answer.backward.get();
    const QLocale locale;
    QString numbers = count == 1 ? tr("1 occurrence") : tr("%1 occurrences").arg(locale.toString(count));
    if (root && root->count() > 0 && &counted != root) {
        numbers += tr(", %1% of the phrase's")
                       .arg(locale.toString(100.0 * count / root->count(), 'g', 3));
    }
    if (corpus_ && corpus_->corpus().tokenCount() > 0) {
        numbers += tr(", %1% of the tokens")
                       .arg(locale.toString(100.0 * count / static_cast<double>(corpus_->corpus().tokenCount()),
                                            'g', 3));
    }
    QString html = QStringLiteral("<p style='white-space:pre-wrap'>%1</p><p>%2</p>").arg(text, numbers);
    // An annotated corpus's layers at the label's first token: the span's,
    // unless the label opens with the phrase as typed (a root's).
    const PhraseNode &node = *hit.node;
    const bool opensWithPhrase = node.searchTextLength() > 0
                                 && (node.textPlace() == PhraseNode::TextPlace::BeforeSpan
                                     || node.textPlace() == PhraseNode::TextPlace::WholeLabel);
    if (corpus_ && corpus_->corpus().annotated() && !hit.middle && !opensWithPhrase && node.tokenCount() > 0) {
        const QString layers = layerTip(corpus_->corpus(), node.spanStart());
        if (!layers.isEmpty())
            html += QStringLiteral("<p>%1</p>").arg(layers.toHtmlEscaped());
    }
    return html;
}

void TreeCanvas::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    notice_->setGeometry(viewport()->rect());
    pool_.clear();
    inRedraw_ = true;
    updateSceneRect();
    inRedraw_ = false;
    redraw(true);
}

void TreeCanvas::scrollContentsBy(int dx, int dy)
{
    QGraphicsView::scrollContentsBy(dx, dy);
    redraw(false);
}

void TreeCanvas::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        setZoom(zoom_ * std::pow(1.0015, event->angleDelta().y()), event->position().toPoint());
        event->accept();
        return;
    }
    QGraphicsView::wheelEvent(event);
}

void TreeCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QGraphicsView::mousePressEvent(event);
        return;
    }
    pressed_ = event->position().toPoint();
    pressing_ = true;
    dragging_ = false;
    event->accept();
}

void TreeCanvas::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (pressing_) {
        if (!dragging_ && zoom_ > 1.0 && (at - pressed_).manhattanLength() >= QApplication::startDragDistance()) {
            dragging_ = true;
            viewport()->setCursor(Qt::ClosedHandCursor);
        }
        if (dragging_) {
            const QPoint delta = at - pressed_;
            pressed_ = at;
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
            verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
        }
        event->accept();
        return;
    }
    viewport()->setCursor(labelAt(at) ? Qt::PointingHandCursor : zoom_ > 1.0 ? Qt::OpenHandCursor : Qt::ArrowCursor);
    event->accept();
}

void TreeCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !pressing_) {
        QGraphicsView::mouseReleaseEvent(event);
        return;
    }
    const bool click = !dragging_;
    pressing_ = false;
    dragging_ = false;
    viewport()->unsetCursor();
    event->accept();
    if (click) {
        const Hit hit = labelAt(event->position().toPoint());
        if (hit && hit.more > 0) {
            emit moreRequested(hit.node, hit.more, event->globalPosition().toPoint());
        } else if (hit && (event->modifiers() & Qt::ControlModifier)) {
            select(hit);
            emit linesRequested(hit.node, hit.middle);
        } else if (hit) {
            emit searchRequested(hit.node, hit.middle, (event->modifiers() & Qt::ShiftModifier) != 0);
        } else if (selected_) {
            select({});
            emit linesRequested(nullptr, false);
        }
    }
}

void TreeCanvas::contextMenuEvent(QContextMenuEvent *event)
{
    Hit hit = labelAt(event->pos());
    if (!hit)
        return;
    if (hit.more > 0) {
        emit moreRequested(hit.node, hit.more, event->globalPos());
        return;
    }
    const QueryAnswer *shown = answer_.get();
    QMenu menu(this);
    QAction *search = menu.addAction(tr("&Follow This Branch"));
    QAction *alone = menu.addAction(tr("Search This Label &Alone"));
    QAction *lines = menu.addAction(tr("Show Its &Lines"));
    QAction *copy = menu.addAction(tr("&Copy"));
    QAction *chosen = menu.exec(event->globalPos());
    // The menu waits in an event loop of its own, in which the canvas may
    // have been drawn again, making the middle label anew.
    if (hit.middle)
        hit.node = layout_.middle();
    // Another answer may have come meanwhile: the label is gone with its tree.
    if (!hit || answer_.get() != shown)
        return;
    if (chosen == search || chosen == alone) {
        emit searchRequested(hit.node, hit.middle, chosen == alone);
    } else if (chosen == lines) {
        select(hit);
        emit linesRequested(hit.node, hit.middle);
    } else if (chosen == copy) {
        QGuiApplication::clipboard()->setText(labelString(hit.node->label(), encoding_));
    }
}

bool TreeCanvas::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (const Hit hit = labelAt(help->pos()))
            QToolTip::showText(help->globalPos(), toolTipFor(hit), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QGraphicsView::viewportEvent(event);
}

void TreeCanvas::drawForeground(QPainter *painter, const QRectF &rect)
{
    // The picture ends at the canvas's edge; a label cut there may reach a
    // little past it, where a view scrolled to its end would show it.
    const QRectF canvas = sceneRect();
    if (canvas.contains(rect))
        return;
    QPainterPath outside;
    outside.addRect(rect);
    QPainterPath inside;
    inside.addRect(canvas);
    painter->fillPath(outside.subtracted(inside), backgroundBrush());
}
