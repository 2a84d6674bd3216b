#include "TreeDrawing.h"

#include <QBrush>
#include <QFont>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <memory>
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

    TreeLayout::Size operator()(const std::string &text, std::uint32_t pixelSize, double room)
    {
        // The font ignores a size of 0 (or one beyond int) and keeps the size
        // it had; skipping the call does the same without the toolkit's warning.
        const auto size = static_cast<int>(pixelSize);
        if (size > 0)
            font_.setPixelSize(size);

        // Laying out a label costs time in its length, and a label can be as
        // long as the text. Where a prefix already reaches past the edge, the
        // rest can never be seen: the item holds a prefix, twice as long each
        // try. Only plain ASCII labels are cut, whose line height and plain
        // text do not depend on what follows.
        std::size_t length = text.size();
        if (cutLongLabels_ && length > shortLabel && room < TreeLayout::unbounded && plainAscii(text))
            length = shortLabel;
        for (;;) {
            auto item = std::make_unique<QGraphicsTextItem>(
                QString::fromLatin1(text.data(), static_cast<qsizetype>(length)));
            item->setFont(font_);
            const QRectF box = item->boundingRect();
            // Past the edge by a margin, so that whatever the next character
            // would change at the cut stays out of sight.
            if (length == text.size() || box.width() >= room + box.height()) {
                if (length < text.size())
                    item->setData(labelTextKey, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
                made_.push_back(std::move(item));
                return {box.width(), box.height()};
            }
            length = std::min(text.size(), 2 * length);
        }
    }

    // Hands over the item made by the index-th call.
    QGraphicsTextItem *take(std::size_t index) { return made_[index].release(); }

private:
    static constexpr std::size_t shortLabel = 64;

    static bool plainAscii(const std::string &text)
    {
        return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
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
        TreeLayout::BoundedMeasure([&maker](const std::string &text, std::uint32_t pixelSize, double room) {
            return maker(text, pixelSize, room);
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
    return whole.isValid() ? whole.toString() : item.toPlainText();
}
