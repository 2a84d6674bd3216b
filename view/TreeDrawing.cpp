#include "TreeDrawing.h"

#include "LabelItem.h"

#include <QBrush>
#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QPainterPath>
#include <QPen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <climits>
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
    ItemMaker(bool cutLongLabels, LabelEncoding encoding = LabelEncoding::Latin1, LabelItemPool *pool = nullptr,
              bool lightItems = false)
        : cutLongLabels_(cutLongLabels), lightItems_(lightItems), encoding_(encoding), pool_(pool)
    {
        font_.setItalic(false);
        font_.setFamily(QStringLiteral("Helvetica"));
    }

    // Makes the item of `label` and gives its size.
    TreeLayout::Size operator()(const LabelMeasure &label)
    {
        const PhraseNode &node = *label.node;
        const double room = label.room;
        mirrored_ = label.mirrored;
        // The font ignores a size of 0 (or one beyond int) and keeps the size
        // it had; skipping the call does the same without the toolkit's warning.
        const auto size = static_cast<int>(label.pixelSize);
        if (size > 0)
            font_.setPixelSize(size);
        const LabelItemPool::Key key{&node, font_.pixelSize(), mirrored_};
        madeFor_.push_back({key, {nullptr, room, -1, label.text ? *label.text : std::string()}});
        if (pool_) {
            if (const LabelItemPool::Made made = pool_->take(key, room, label.text); made.item) {
                madeFor_.back().made.wholeReach = made.wholeReach;
                return keep(std::unique_ptr<QGraphicsItem>(made.item));
            }
        }

        // A text the layouter chose is drawn as it is: it fits.
        if (label.text)
            return keep(makeItem(QString::fromStdString(*label.text)));
        if (!cutLongLabels_ || !(room < TreeLayout::unbounded)) {
            const std::string whole = node.label();
            return keep(makeItem(labelString(whole, encoding_)));
        }
        return keep(makeBounded(node, room));
    }

    // How many items were asked for so far.
    std::size_t count() const { return made_.size(); }

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
    bool mirrored_ = false;  // the label being made's
    QFont font_;
    std::map<int, double> plainHeights_;
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

// How wide a label item of a text would be, without making one: for a
// layouter choosing where to cut a long label.
class TextWidths {
public:
    double operator()(const QString &text, std::uint32_t pixelSize)
    {
        auto found = metrics_.find(pixelSize);
        if (found == metrics_.end()) {
            QFont font;
            font.setItalic(false);
            font.setFamily(QStringLiteral("Helvetica"));
            if (pixelSize > 0 && pixelSize <= INT_MAX)
                font.setPixelSize(static_cast<int>(pixelSize));
            found = metrics_.emplace(pixelSize, QFontMetricsF(font)).first;
        }
        // A label item keeps a margin of 4 on either side.
        return found->second.horizontalAdvance(text) + 8.0;
    }

private:
    std::map<std::uint32_t, QFontMetricsF> metrics_;
};

// The label makers of one drawing. A lone tree's labels come from one maker,
// whose font carries its last size from label to label as the viewer's
// does; in a double tree the middle label has a maker of its own, and each
// side one. The measurer's calls are numbered across them, as the layout
// numbers its labels.
class SceneLabels {
public:
    SceneLabels(bool cutLongLabels, LabelEncoding encoding, LabelItemPool *pool, bool lightItems, bool twoSides)
        : forward_(cutLongLabels, encoding, pool, lightItems), backward_(cutLongLabels, encoding, pool, lightItems),
          centre_(cutLongLabels, encoding, nullptr, lightItems), twoSides_(twoSides)
    {
    }

    TreeLayout::Size operator()(const LabelMeasure &label)
    {
        ItemMaker &maker = twoSides_ && label.side == TreeLayout::Side::Root ? centre_
                           : label.mirrored                                  ? backward_
                                                                             : forward_;
        calls_.push_back({&maker, maker.count()});
        return maker(label);
    }

    // Hands over the item the measurer's call `index` made.
    QGraphicsItem *take(std::size_t index)
    {
        const Call call = calls_[index];
        return call.maker->take(call.index);
    }

private:
    struct Call {
        ItemMaker *maker;
        std::size_t index;
    };
    ItemMaker forward_;
    ItemMaker backward_;
    ItemMaker centre_;
    const bool twoSides_;
    std::vector<Call> calls_;
};

// Adds the items of `layout` to `scene` in drawing order, the labels being
// those `labels` made.
void addItems(QGraphicsScene &scene, const TreeLayout &layout, SceneLabels &labels)
{
    static const CurveStyle style;
    for (const TreeLayout::Item &entry : layout.items()) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&entry)) {
            QGraphicsItem *item = labels.take(label->measureIndex);
            if (item == nullptr)
                continue;
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
    // Items measured for curves whose labels lie beyond the edge die with their maker.
}

} // namespace

TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width,
                           bool cutLongLabels)
{
    SceneLabels labels(cutLongLabels, LabelEncoding::Latin1, nullptr, false, false);
    LayoutRequest request;
    request.sides.forward = &root;
    request.height = height;
    request.width = width;
    request.measure = [&labels](const LabelMeasure &label) { return labels(label); };
    const TreeLayout layout = layouterFor(LabelScale::Corpus).layOut(request);
    addItems(scene, layout, labels);
    return layout;
}

TreeDrawingRequest drawingRequest(const TreeSides &sides, QSize canvas, LabelEncoding encoding,
                                  const TreePruning &pruning, LabelScale scale)
{
    TreeDrawingRequest request;
    request.layout.sides = sides;
    request.layout.height = canvas.height();
    request.layout.width = canvas.width();
    request.layout.pruning = pruning;
    request.scale = scale;
    request.encoding = encoding;
    return request;
}

TreeLayout drawTreesInScene(QGraphicsScene &scene, const TreeDrawingRequest &drawing)
{
    // Whichever way this returns, what it drew is what the next drawing may reuse.
    struct Finish {
        LabelItemPool *pool;
        ~Finish()
        {
            if (pool)
                pool->finish();
        }
    } finish{drawing.reuse};
    LayoutRequest request = drawing.layout;
    const bool twoSides = request.sides.forward && request.sides.backward;
    SceneLabels labels(true, drawing.encoding, drawing.reuse, true, twoSides);
    request.measure = [&labels](const LabelMeasure &label) { return labels(label); };
    TextWidths widths;
    request.textWidth = [&widths](std::string_view text, std::uint32_t pixelSize) {
        return widths(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), pixelSize);
    };
    request.encoding = drawing.encoding;
    TreeLayout layout = layouterFor(drawing.scale).layOut(request);
    addItems(scene, layout, labels);
    return layout;
}

QString labelText(const QGraphicsItem &item)
{
    const QVariant whole = item.data(labelTextKey);
    if (whole.isValid()) {
        const QByteArray bytes = whole.toByteArray();
        return labelString(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                           LabelEncoding::Latin1);
    }
    const QVariant node = item.data(labelNodeKey);
    if (!node.isValid())
        return plainTextOf(item);
    const std::string label = node.value<const PhraseNode *>()->label();
    return labelString(label, LabelEncoding::Latin1);
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
