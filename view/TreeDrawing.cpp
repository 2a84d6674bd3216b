#include "TreeDrawing.h"

#include "LabelItem.h"

#include <QBrush>
#include <QFont>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPainterPath>
#include <QPen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The text an item of a label holds.
QString plainTextOf(const QGraphicsItem &item)
{
    if (item.type() == LabelItem::Type)
        return static_cast<const LabelItem &>(item).text();
    return static_cast<const QGraphicsTextItem &>(item).toPlainText();
}

// Measures labels with the very text items that will be drawn, so that the
// layout sees exactly the items' bounding rectangles. One font serves every
// label; only its pixel size changes. Items are text items, or with
// `lightItems` label items wherever a label item can hold the text (they
// measure and draw the same).
class ItemMaker {
public:
    // A mirrored label that runs past the canvas's left edge shows its end:
    // a cut item then holds a suffix of the label.
    // With `pool`, an item the last drawing made for the same label is
    // taken from it instead of being made, and every item handed over is
    // recorded in it.
    ItemMaker(bool cutLongLabels, LabelEncoding encoding = LabelEncoding::Latin1, bool mirrored = false,
              LabelItemPool *pool = nullptr, bool lightItems = false)
        : cutLongLabels_(cutLongLabels), lightItems_(lightItems), encoding_(encoding), mirrored_(mirrored),
          pool_(pool)
    {
        font_.setItalic(false);
        font_.setFamily(QStringLiteral("Helvetica"));
    }

    TreeLayout::Size operator()(const PhraseNode &node, std::uint32_t pixelSize, double room)
    {
        if (&node == known_) {
            made_.emplace_back();  // its item is made and drawn elsewhere
            madeFor_.emplace_back();
            return knownSize_;
        }
        // The font ignores a size of 0 (or one beyond int) and keeps the size
        // it had; skipping the call does the same without the toolkit's warning.
        const auto size = static_cast<int>(pixelSize);
        if (size > 0)
            font_.setPixelSize(size);
        const LabelItemPool::Key key{&node, font_.pixelSize(), mirrored_};
        madeFor_.push_back({key, {nullptr, room, -1}});
        if (pool_) {
            if (const LabelItemPool::Made made = pool_->take(key, room); made.item) {
                madeFor_.back().made.wholeReach = made.wholeReach;
                return keep(std::unique_ptr<QGraphicsItem>(made.item));
            }
        }

        if (!cutLongLabels_ || !(room < TreeLayout::unbounded)) {
            const std::string label = node.label();
            return keep(makeItem(labelString(label, encoding_)));
        }
        return keep(makeBounded(node, room));
    }

    // Answers for `node` with `size` and makes no item for it.
    void setKnown(const PhraseNode *node, TreeLayout::Size size)
    {
        known_ = node;
        knownSize_ = size;
    }

    // Hands over the item made by the index-th call.
    QGraphicsItem *take(std::size_t index)
    {
        QGraphicsItem *item = made_[index].release();
        if (pool_ && item) {
            MadeFor &made = madeFor_[index];
            made.made.item = item;
            pool_->keep(made.key, made.made);
        }
        return item;
    }

private:
    static constexpr std::size_t shortLabel = 64;

    // How many bytes the first try takes: about enough to reach one height
    // past the room at an average byte's width (a third of the pixel size:
    // a Latin letter is about half of it, a CJK character's three bytes one
    // whole), so that one try mostly does. A label beyond the edge is
    // measured for the height of its first characters only.
    std::size_t firstLength(double room) const
    {
        if (!(room > 0))
            return 16;
        const int pixels = font_.pixelSize();  // -1 while the font keeps a size in points
        const double size = pixels > 0 ? pixels : 16;
        const double bytes = (room + 1.5 * size) / (size / 3);
        return static_cast<std::size_t>(std::clamp(bytes, static_cast<double>(shortLabel), 65536.0));
    }

    // Laying out a label costs time in its length, and a label can be as
    // long as the text. Only a part that reaches past the edge is ever made:
    // a prefix (a suffix when mirrored), twice as long each try, and then
    // cut down to what the rule in TreeDrawing.h keeps.
    std::unique_ptr<QGraphicsItem> makeBounded(const PhraseNode &node, double room)
    {
        // Characters narrower than 1/32 pixel cannot fill the room: a label
        // of thousands of zero-width characters is not made to its end.
        const double most = 4096.0 + 32.0 * std::max(room, 0.0);
        for (std::size_t length = firstLength(room);; length *= 2) {
            // One byte more than is shown tells whether the label goes on.
            const std::string part = mirrored_ ? node.labelSuffix(length + 1) : node.labelPrefix(length + 1);
            const bool goesOn = part.size() > length;
            std::string_view bytes = part;
            if (goesOn) {
                bytes = mirrored_ ? bytes.substr(1) : bytes.substr(0, length);
                bytes = wholeCharacters(bytes, mirrored_, encoding_);
            }
            const QString text = labelString(bytes, encoding_);
            auto item = makeItem(text);
            const Edge edge = edgeOf(*item);
            const double height = item->boundingRect().height();
            if (!goesOn && edge.reach <= room) {
                madeFor_.back().made.wholeReach = edge.reach;
                return item;  // whole, and all of it is seen
            }
            if (goesOn && edge.reach < room + height && static_cast<double>(length) < most)
                continue;
            return cut(std::move(item), text, bytes, room, node, goesOn);
        }
    }

    // The line of an item that the canvas edge cuts: the last one of a label
    // read from its start, the first of one read from its end (a typed
    // phrase can hold line breaks), and how far its text reaches from the
    // side the label is read from.
    struct Edge {
        const QTextLayout *layout;
        QTextLine line;
        int blockStart;  // the position of the line's block in the item's text
        double origin;   // the item's x of the line's x = 0
        double reach;
    };

    Edge edgeOf(QGraphicsItem &item) const
    {
        if (item.type() == LabelItem::Type) {
            const QTextLayout &layout = static_cast<LabelItem &>(item).layout();
            // Its one line, read the same from either side.
            const QTextLine line = layout.lineAt(0);
            if (!line.isValid())
                return {&layout, line, 0, 0.0, 0.0};
            const double origin = layout.position().x();
            const double reach = mirrored_ ? item.boundingRect().width() - origin - line.x()
                                           : origin + line.x() + line.naturalTextWidth();
            return {&layout, line, 0, origin, reach};
        }
        QTextDocument *document = static_cast<QGraphicsTextItem &>(item).document();
        // A text of many lines is laid out in steps: finish it first.
        document->size();
        const QTextBlock block = mirrored_ ? document->firstBlock() : document->lastBlock();
        QTextLayout *layout = block.layout();
        const QTextLine line = mirrored_ || layout->lineCount() == 0 ? layout->lineAt(0)
                                                                     : layout->lineAt(layout->lineCount() - 1);
        if (!line.isValid())
            return {layout, line, block.position(), 0.0, 0.0};
        const double origin = layout->position().x();
        const double reach = mirrored_ ? item.boundingRect().width() - origin - line.x()
                                       : origin + line.x() + line.naturalTextWidth();
        return {layout, line, block.position(), origin, reach};
    }

    // Where the text of `edge` is cut `distance` from the side the label is
    // read from: after the character cluster under that point (before it,
    // read from the end), so that a cluster the point falls in is kept whole.
    int cutAt(const Edge &edge, double itemWidth, double distance) const
    {
        const double x = mirrored_ ? itemWidth - distance : distance;
        int at = edge.line.xToCursor(x - edge.origin, QTextLine::CursorOnCharacter);
        const int after = edge.layout->nextCursorPosition(at);
        at = mirrored_ ? edge.layout->previousCursorPosition(after) : after;
        return edge.blockStart + at;
    }

    // The item of a label that reaches past the room, from `probe`, an item
    // of its first (or last) characters `text`, made of `bytes`, which reach
    // past it (or are the whole label, when it does not go on).
    std::unique_ptr<QGraphicsItem> cut(std::unique_ptr<QGraphicsItem> probe, const QString &text,
                                           std::string_view bytes, double room, const PhraseNode &node, bool goesOn)
    {
        const Edge edge = edgeOf(*probe);
        if (!edge.line.isValid())
            return probe;  // nothing laid out to cut (not seen with the toolkit's layout)
        const double width = probe->boundingRect().width();
        const double height = probe->boundingRect().height();
        const auto part = [&](int at) { return mirrored_ ? text.mid(at) : text.left(at); };
        const auto partLength = [&](int at) { return mirrored_ ? text.size() - at : static_cast<qsizetype>(at); };

        // The visible part: the clusters that begin before the edge. Its
        // height is the probe's when the probe is no taller than any text
        // in this font (no fallback font raised its line).
        const int visibleCut = cutAt(edge, width, room);
        std::unique_ptr<QGraphicsItem> visible;
        double visibleHeight = height;
        if (height != plainHeight()) {
            visible = makeItem(part(visibleCut));
            visibleHeight = visible->boundingRect().height();
        }
        // And the clusters that begin within one height past the edge,
        // unless they would change that height.
        const int heldCut = cutAt(edge, width, room + visibleHeight);
        std::unique_ptr<QGraphicsItem> held;
        if (partLength(heldCut) == text.size() && height == visibleHeight) {
            held = std::move(probe);
        } else {
            held = makeItem(part(heldCut));
            if (held->boundingRect().height() != visibleHeight)
                held = visible ? std::move(visible) : makeItem(part(visibleCut));
        }
        // Text that runs right to left is cut in reading order too; where
        // that leaves less than the room, the probe is drawn as it is.
        if (held->boundingRect().width() < room && probe)
            held = std::move(probe);

        const qsizetype units = plainTextOf(*held).size();
        if (!goesOn && units == text.size())
            return held;  // the whole label
        const std::size_t shown = mirrored_ ? bytes.size() - labelBytes(bytes, text.size() - units, encoding_)
                                            : labelBytes(bytes, units, encoding_);
        held->setData(labelNodeKey, QVariant::fromValue(&node));
        held->setData(labelBytesKey, QVariant::fromValue(static_cast<qulonglong>(shown)));
        held->setData(labelEndKey, mirrored_);
        return held;
    }

    // The height of an item in this font whatever its text, unless a
    // fallback font for some of its characters makes its line taller.
    double plainHeight()
    {
        const int size = font_.pixelSize();
        const auto found = plainHeights_.find(size);
        if (found != plainHeights_.end())
            return found->second;
        const double height = makeItem(QString())->boundingRect().height();
        plainHeights_.emplace(size, height);
        return height;
    }

    std::unique_ptr<QGraphicsItem> makeItem(const QString &text) const
    {
        if (lightItems_ && LabelItem::canHold(text))
            return std::make_unique<LabelItem>(text, font_);
        // The font first: the text is then laid out once, in it.
        auto item = std::make_unique<QGraphicsTextItem>();
        item->setFont(font_);
        item->setPlainText(text);
        return item;
    }

    TreeLayout::Size keep(std::unique_ptr<QGraphicsItem> item)
    {
        const QRectF box = item->boundingRect();
        made_.push_back(std::move(item));
        return {box.width(), box.height()};
    }

    const bool cutLongLabels_;
    const bool lightItems_;
    const LabelEncoding encoding_;
    const bool mirrored_;
    QFont font_;
    std::map<int, double> plainHeights_;
    const PhraseNode *known_ = nullptr;
    TreeLayout::Size knownSize_;
    LabelItemPool *const pool_;
    // An item taken from the pool but not drawn is destroyed with the maker,
    // which takes it out of the scene it was drawn in before.
    std::vector<std::unique_ptr<QGraphicsItem>> made_;
    // What each of made_ was made for (the item itself is filled in when it is handed over).
    struct MadeFor {
        LabelItemPool::Key key;
        LabelItemPool::Made made;
    };
    std::vector<MadeFor> madeFor_;
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
                  const TreePruning &pruning, Place &&place, const TreeLayout::Visible &visible = {})
{
    TreeLayout layout = TreeLayout::compute(
        root, height, width,
        TreeLayout::BoundedMeasure([&maker](const PhraseNode &node, std::uint32_t pixelSize, double room) {
            return maker(node, pixelSize, room);
        }),
        rootLabel, pruning, visible);
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
            QGraphicsItem *item = maker.take(label->measureIndex);
            if (item == nullptr)
                continue;  // made and placed by the caller
            // An item of an earlier drawing moves here from its scene.
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
                            LabelEncoding encoding, const TreePruning &pruning, std::unique_ptr<PhraseNode> &middle,
                            const QRectF *visible, LabelItemPool *reuse)
{
    // Whichever way this returns, what it drew is what the next drawing may reuse.
    struct Finish {
        LabelItemPool *pool;
        ~Finish()
        {
            if (pool)
                pool->finish();
        }
    } finish{reuse};
    // The part in view, in the coordinates of a side laid out from x = 0
    // that is then moved right by `dx` (mirrored about `axis` first when one is given).
    const auto seen = [visible](double dx, const double *axis) {
        TreeLayout::Visible part;
        if (!visible)
            return part;
        part.top = visible->top();
        part.bottom = visible->bottom();
        part.left = axis ? *axis - visible->right() : visible->left() - dx;
        part.right = axis ? *axis - visible->left() : visible->right() - dx;
        return part;
    };
    ItemMaker forward(true, encoding, false, reuse, true);
    ItemMaker backward(true, encoding, true, reuse, true);
    if (!sides.backward) {
        const TreeLayout layout = layOut(forward, *sides.forward, nullptr, height, width, pruning,
                                         [](TreeLayout &) {}, seen(0.0, nullptr));
        addItems(scene, layout, forward);
        return layout;
    }
    if (!sides.forward) {
        const TreeLayout layout = layOut(backward, *sides.backward, nullptr, height, width, pruning,
                                         [width](TreeLayout &laid) { laid.mirror(width); }, seen(0.0, &width));
        addItems(scene, layout, backward);
        return layout;
    }

    // The phrase once, with what either root absorbed on its side of it:
    // the forward root's label goes on from its search text.
    const PhraseNode &after = *sides.forward;
    std::string label = sides.backward->label();
    const std::string forwardLabel = after.label();
    label += std::string_view(forwardLabel).substr(std::min(forwardLabel.size(), after.searchTextLength()));
    middle = std::make_unique<PhraseNode>(std::move(label));
    middle->setWeight(after.weight());
    middle->setCount(after.count());
    // Made and measured once, with the whole canvas as its room, and read
    // from its start like a forward label; both sides take its size.
    ItemMaker centre(true, encoding, false, nullptr, true);
    const TreeLayout::Size box = centre(
        *middle, static_cast<std::uint32_t>(static_cast<float>(height) * middle->weight()), width);
    const double left = std::trunc(std::max(0.0, (width - box.width) / 2));
    forward.setKnown(middle.get(), box);
    backward.setKnown(middle.get(), box);

    // Each side is laid out from the middle label as a tree from its root,
    // then put in place: the forward one moved right, the backward one
    // mirrored about the middle label's right edge, which lands it on the
    // label's left edge.
    const double axis = left + box.width;
    TreeLayout layout = layOut(backward, *sides.backward, middle.get(), height, axis, pruning,
                               [&](TreeLayout &laid) { laid.mirror(axis); }, seen(0.0, &axis));
    const auto &place = std::get<TreeLayout::Label>(layout.items().front());
    QGraphicsItem *item = centre.take(0);
    scene.addItem(item);
    item->setPos(place.x, place.y);
    addItems(scene, layout, backward, true);
    const TreeLayout right = layOut(forward, after, middle.get(), height, width - left, pruning,
                                    [left](TreeLayout &laid) { laid.shift(left); }, seen(left, nullptr));
    addItems(scene, right, forward, true);
    layout.append(right, true);
    return layout;
}

QString labelText(const QGraphicsItem &item)
{
    const QVariant whole = item.data(labelTextKey);
    if (whole.isValid())
        return QString::fromLatin1(whole.toByteArray());
    const QVariant node = item.data(labelNodeKey);
    if (!node.isValid())
        return plainTextOf(item);
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
