#include "TreeDrawing.h"

#include <QBrush>
#include <QFont>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <utility>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Measures labels with the very text items that will be drawn, so that the
// layout sees exactly the items' bounding rectangles. One font serves every
// label; only its pixel size changes.
class ItemMaker {
public:
    // A mirrored label that runs past the canvas's left edge shows its end:
    // a cut item then holds a suffix of the label.
    ItemMaker(bool cutLongLabels, LabelEncoding encoding = LabelEncoding::Latin1, bool mirrored = false)
        : cutLongLabels_(cutLongLabels), encoding_(encoding), mirrored_(mirrored)
    {
        font_.setItalic(false);
        font_.setFamily(QStringLiteral("Helvetica"));
    }

    TreeLayout::Size operator()(const PhraseNode &node, std::uint32_t pixelSize, double room)
    {
        // The font ignores a size of 0 (or one beyond int) and keeps the size
        // it had; skipping the call does the same without the toolkit's warning.
        const auto size = static_cast<int>(pixelSize);
        if (size > 0)
            font_.setPixelSize(size);

        if (!cutLongLabels_ || !(room < TreeLayout::unbounded) || !plainLabel(node)) {
            const std::string label = node.label();
            return keep(makeItem(label.data(), label.size()));
        }
        // Laying out a label costs time in its length, and a label can be as
        // long as the text. Where a prefix already reaches past the edge, the
        // rest can never be seen: the item holds a prefix, twice as long each
        // try, and only that much of the label is ever made. Only plain ASCII
        // labels are cut, whose line height and plain text do not depend on
        // what follows.
        for (std::size_t length = shortLabel;; length *= 2) {
            // One byte more than is shown tells whether the label goes on.
            const std::string part = mirrored_ ? node.labelSuffix(length + 1) : node.labelPrefix(length + 1);
            const bool cut = part.size() > length;
            auto item = makeItem(part.data() + (cut && mirrored_ ? 1 : 0), cut ? length : part.size());
            if (cut) {
                // Past the edge by a margin, so that whatever the next
                // character would change at the cut stays out of sight.
                const QRectF box = item->boundingRect();
                if (box.width() < room + box.height())
                    continue;
                item->setData(labelNodeKey, QVariant::fromValue(&node));
            }
            return keep(std::move(item));
        }
    }

    // Hands over the item made by the index-th call.
    QGraphicsTextItem *take(std::size_t index) { return made_[index].release(); }

private:
    static constexpr std::size_t shortLabel = 64;

    static bool plainAscii(std::string_view text)
    {
        return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
    }

    // Whether the label is plain ASCII, without making it: the literal text
    // (a search text) is read, the span is asked of the corpus.
    static bool plainLabel(const PhraseNode &node)
    {
        return plainAscii(node.text())
               && (node.spanLength() == 0 || node.corpus()->plainSpan(node.spanStart(), node.spanLength()));
    }

    std::unique_ptr<QGraphicsTextItem> makeItem(const char *bytes, std::size_t length) const
    {
        auto item = std::make_unique<QGraphicsTextItem>(labelString(std::string_view(bytes, length), encoding_));
        item->setFont(font_);
        return item;
    }

    TreeLayout::Size keep(std::unique_ptr<QGraphicsTextItem> item)
    {
        const QRectF box = item->boundingRect();
        made_.push_back(std::move(item));
        return {box.width(), box.height()};
    }

    const bool cutLongLabels_;
    const LabelEncoding encoding_;
    const bool mirrored_;
    QFont font_;
    std::vector<std::unique_ptr<QGraphicsTextItem>> made_;
};


// The pen and brush of the curves: orange, never filled.
struct CurveStyle {
    CurveStyle()
    {
        pen.setColor(QColor(255, 153, 0, 255));
        pen.setStyle(Qt::SolidLine);
        pen.setWidth(1);
        brush.setStyle(Qt::NoBrush);
    }
    QPen pen;
    QBrush brush{QColor(0, 0, 0, 255), Qt::SolidPattern};
};

// Lays out `root` with `maker` measuring, then moves it as `place` says.
template <typename Place>
TreeLayout layOut(ItemMaker &maker, const PhraseNode &root, const PhraseNode *rootLabel, int height, double width,
                  const TreePruning &pruning, Place &&place)
{
    TreeLayout layout = TreeLayout::compute(
        root, height, width,
        TreeLayout::BoundedMeasure([&maker](const PhraseNode &node, std::uint32_t pixelSize, double room) {
            return maker(node, pixelSize, room);
        }),
        rootLabel, pruning);
    place(layout);
    return layout;
}

// Adds the items of `layout` to `scene` in drawing order, the labels being
// those `maker` made; the first label is left out with `withoutRoot`.
void addItems(QGraphicsScene &scene, const TreeLayout &layout, ItemMaker &maker, bool withoutRoot = false)
{
    static const CurveStyle style;
    bool first = true;
    for (const TreeLayout::Item &entry : layout.items()) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&entry)) {
            if (std::exchange(first, false) && withoutRoot)
                continue;
            QGraphicsTextItem *item = maker.take(label->measureIndex);
            scene.addItem(item);
            item->setPos(label->x, label->y);
        } else {
            const auto &curve = std::get<TreeLayout::Curve>(entry);
            QPainterPath path(QPointF(curve.start.x, curve.start.y));
            path.cubicTo(QPointF(curve.control1.x, curve.control1.y), QPointF(curve.control2.x, curve.control2.y),
                         QPointF(curve.end.x, curve.end.y));
            scene.addPath(path, style.pen, style.brush);
        }
    }
    // Items measured for curves whose labels lie beyond the edge die with the maker.
}

} // namespace

TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width,
                           bool cutLongLabels)
{
    ItemMaker maker(cutLongLabels);
    const TreeLayout layout = layOut(maker, root, nullptr, height, width, TreePruning{}, [](TreeLayout &) {});
    addItems(scene, layout, maker);
    return layout;
}

TreeLayout drawTreesInScene(QGraphicsScene &scene, const TreeSides &sides, int height, double width,
                            LabelEncoding encoding, const TreePruning &pruning, std::unique_ptr<PhraseNode> &middle)
{
    ItemMaker forward(true, encoding, false);
    ItemMaker backward(true, encoding, true);
    if (!sides.backward) {
        const TreeLayout layout = layOut(forward, *sides.forward, nullptr, height, width, pruning, [](TreeLayout &) {});
        addItems(scene, layout, forward);
        return layout;
    }
    if (!sides.forward) {
        const TreeLayout layout = layOut(backward, *sides.backward, nullptr, height, width, pruning,
                                         [width](TreeLayout &laid) { laid.mirror(width); });
        addItems(scene, layout, backward);
        return layout;
    }

    // The phrase once, with what either root absorbed on its side of it.
    const PhraseNode &after = *sides.forward;
    std::string label = sides.backward->label();
    const std::string forwardLabel = after.label();
    label += std::string_view(forwardLabel).substr(std::min(forwardLabel.size(), after.text().size()));
    middle = std::make_unique<PhraseNode>(std::move(label));
    middle->setWeight(after.weight());
    middle->setCount(after.count());
    // Measured apart: a maker hands items over by the order of its calls.
    const TreeLayout::Size box = ItemMaker(true, encoding)(
        *middle, static_cast<std::uint32_t>(static_cast<float>(height) * middle->weight()), width);
    const double left = std::trunc(std::max(0.0, (width - box.width) / 2));

    // Each side is laid out from the middle label as a tree from its root,
    // then put in place: the forward one moved right, the backward one
    // mirrored about the middle label's right edge, which lands it on the
    // label's left edge.
    TreeLayout layout = layOut(backward, *sides.backward, middle.get(), height, left + box.width, pruning,
                               [&](TreeLayout &laid) { laid.mirror(left + box.width); });
    addItems(scene, layout, backward);
    const TreeLayout right = layOut(forward, after, middle.get(), height, width - left, pruning,
                                    [left](TreeLayout &laid) { laid.shift(left); });
    addItems(scene, right, forward, true);
    layout.append(right, true);
    return layout;
}

QString labelText(const QGraphicsTextItem &item)
{
    const QVariant whole = item.data(labelTextKey);
    if (whole.isValid())
        return QString::fromLatin1(whole.toByteArray());
    const QVariant node = item.data(labelNodeKey);
    if (!node.isValid())
        return item.toPlainText();
    const std::string label = node.value<const PhraseNode *>()->label();
    return QString::fromLatin1(label.data(), static_cast<qsizetype>(label.size()));
}

void detachLabels(QGraphicsScene &scene)
{
    for (QGraphicsItem *item : scene.items()) {
        const QVariant node = item->data(labelNodeKey);
        if (!node.isValid())
            continue;
        // Kept as bytes, half the size of a QString: such labels can be long.
        const std::string label = node.value<const PhraseNode *>()->label();
        item->setData(labelTextKey, QByteArray(label.data(), static_cast<qsizetype>(label.size())));
        item->setData(labelNodeKey, QVariant());
    }
}
