#include "TreeLayouter.h"

#include "ColumnLayouter.h"
#include "PhraseScaleLayouter.h"

#include <algorithm>
#include <cmath>
#include <string_view>

TreeLayout TreeLayouter::layOut(const LayoutRequest &request) const
{
    Measurer measure(request);
    const TreeSides &sides = request.sides;
    const double width = request.width;
    // The part in view, in the coordinates of a side laid out from x = 0
    // that is then moved right by `dx` (mirrored about `axis` first when one is given).
    const auto seen = [&request](double dx, const double *axis) {
        TreeLayout::Visible part;
        if (!request.visible)
            return part;
        const TreeLayout::Visible &visible = *request.visible;
        part.top = visible.top;
        part.bottom = visible.bottom;
        part.left = axis ? *axis - visible.right : visible.left - dx;
        part.right = axis ? *axis - visible.left : visible.right - dx;
        return part;
    };

    TreeLayout layout;
    if (!sides.backward) {
        if (sides.forward) {
            Side side;
            side.root = side.label = sides.forward;
            side.side = TreeLayout::Side::After;
            side.width = width;
            side.visible = seen(0.0, nullptr);
            layout = layOutSide(request, side, measure);
        }
    } else if (!sides.forward) {
        Side side;
        side.root = side.label = sides.backward;
        side.side = TreeLayout::Side::Before;
        side.mirrored = true;
        side.width = width;
        side.visible = seen(0.0, &width);
        layout = layOutSide(request, side, measure);
        layout.mirror(width);
    } else {
        // The phrase once, with what either root absorbed on its side of it:
        // the forward root's label goes on from its search text.
        const PhraseNode &after = *sides.forward;
        std::string label = labelOf(*sides.backward);
        const std::string forwardLabel = labelOf(after);
        label += std::string_view(forwardLabel).substr(std::min(forwardLabel.size(), after.searchTextLength()));
        auto middle = std::make_shared<PhraseNode>(std::move(label));
        middle->setWeight(after.weight());
        middle->setCount(after.count());
        // Measured once, with the whole canvas as its room, and read from its
        // start like a forward label; both sides take its size.
        LabelMeasure centre;
        centre.node = middle.get();
        centre.pixelSize = rootPixelSize(request, *middle);
        centre.room = width;
        const std::optional<std::string> text = middleText(request, *middle, centre.pixelSize);
        if (text)
            centre.text = &*text;
        const TreeLayout::Size box = measure(centre);
        const std::size_t index = measure.last();
        const double left = std::trunc(std::max(0.0, (width - box.width) / 2));

        // Each side is laid out from the middle label as a tree from its
        // root, then put in place: the forward one moved right, the backward
        // one mirrored about the middle label's right edge, which lands it on
        // the label's left edge.
        const double axis = left + box.width;
        Side before;
        before.middleText = text ? &*text : nullptr;
        before.root = sides.backward;
        before.label = middle.get();
        before.rootBox = &box;
        before.rootMeasureIndex = index;
        before.side = TreeLayout::Side::Before;
        before.mirrored = true;
        before.width = axis;
        before.visible = seen(0.0, &axis);
        layout = layOutSide(request, before, measure);
        layout.mirror(axis);
        Side afterSide = before;
        afterSide.root = sides.forward;
        afterSide.side = TreeLayout::Side::After;
        afterSide.mirrored = false;
        afterSide.width = width - left;
        afterSide.visible = seen(left, nullptr);
        TreeLayout right = layOutSide(request, afterSide, measure);
        right.shift(left);
        layout.append(right, true);
        layout.setMiddle(std::move(middle));
    }
    layout.setMeasureCount(measure.calls());
    return layout;
}

const TreeLayouter &layouterFor(LabelScale scale)
{
    static const ColumnLayouter corpus;
    static const PhraseScaleLayouter phrase;
    return scale == LabelScale::Phrase ? static_cast<const TreeLayouter &>(phrase) : corpus;
}

std::string TreeLayouter::labelOf(const PhraseNode &node) const
{
    return node.label();
}
