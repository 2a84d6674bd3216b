#include "TreeDrawing.h"

#include <QBrush>
#include <QFont>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
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
    explicit ItemMaker(bool cutLongLabels) : cutLongLabels_(cutLongLabels)
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
            const std::string prefix = node.labelPrefix(length + 1);
            const bool cut = prefix.size() > length;
            auto item = makeItem(prefix.data(), cut ? length : prefix.size());
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
        auto item = std::make_unique<QGraphicsTextItem>(QString::fromLatin1(bytes, static_cast<qsizetype>(length)));
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
    QFont font_;
    std::vector<std::unique_ptr<QGraphicsTextItem>> made_;
};

} // namespace

TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width,
                           bool cutLongLabels)
{
    QPen pen;
    pen.setColor(QColor(255, 153, 0, 255));
    pen.setStyle(Qt::SolidLine);
    pen.setWidth(1);
    QBrush brush(QColor(0, 0, 0, 255), Qt::SolidPattern);
    brush.setStyle(Qt::NoBrush);

    ItemMaker maker(cutLongLabels);
    TreeLayout layout = TreeLayout::compute(
        root, height, width,
        TreeLayout::BoundedMeasure([&maker](const PhraseNode &node, std::uint32_t pixelSize, double room) {
            return maker(node, pixelSize, room);
        }));

    for (const TreeLayout::Item &entry : layout.items()) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&entry)) {
            QGraphicsTextItem *item = maker.take(label->measureIndex);
            scene.addItem(item);
            item->setPos(label->x, label->y);
        } else {
            const auto &curve = std::get<TreeLayout::Curve>(entry);
            QPainterPath path(QPointF(curve.start.x, curve.start.y));
            path.cubicTo(QPointF(curve.control1.x, curve.control1.y), QPointF(curve.control2.x, curve.control2.y),
                         QPointF(curve.end.x, curve.end.y));
            scene.addPath(path, pen, brush);
        }
    }
    // Items measured for curves whose labels lie beyond the edge die with the maker.
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
