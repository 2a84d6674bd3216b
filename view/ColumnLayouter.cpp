#include "ColumnLayouter.h"

#include <algorithm>

namespace {

// Truncates toward zero and keeps the low 32 bits, like the unsigned band
// arithmetic the result goes into. NaN and values beyond 64 bits, which a
// plain conversion would make undefined, give 0.
std::int64_t truncToInteger(double value)
{
    if (!(value > -9.0e18 && value < 9.0e18))
        return 0;
    return static_cast<std::int64_t>(value);
}

std::uint32_t truncToUnsigned(double value)
{
    return static_cast<std::uint32_t>(truncToInteger(value));
}

std::uint32_t pixelSizeFor(int height, float weight)
{
    return ColumnLayouter::pixelSizeFor(height, weight);
}

struct ChildSlot {
    const PhraseNode *child;
    std::uint32_t size;
};

// One node whose children are being placed. Its slots are the range
// [slotBegin, slotEnd) of the shared slot buffer; a child's slots are pushed
// after its parent's and popped before the parent moves on.
struct Frame {
    std::uint32_t depth;  // of the children being placed, below the root
    std::size_t slotBegin;
    std::size_t slotEnd;
    std::size_t next;
    TreeLayout::Point anchor;
    std::uint32_t x;
    std::uint32_t gap;
    std::uint32_t y;
    bool labelsVisible;
    bool curvesVisible;
};

class Builder {
public:
    Builder(int height, const TreeLayouter::Side &side, TreeLayouter::Measurer &measure, const TreePruning &pruning,
            std::vector<TreeLayout::Item> &items)
        : height_(height), width_(std::min(side.width, side.visible.right)), visible_(side.visible), side_(side),
          measure_(measure), pruning_(pruning), items_(items)
    {
    }

    void run()
    {
        const PhraseNode &rootLabel = *side_.label;
        const std::uint32_t rootSize = pixelSizeFor(height_, rootLabel.weight());
        const float h = static_cast<float>(height_);
        const float rootY = (h - rootLabel.weight() * h) / 2.0f;
        TreeLayout::Size box;
        std::size_t index = side_.rootMeasureIndex;
        if (side_.rootBox) {
            box = *side_.rootBox;
        } else {
            box = measureLabel(rootLabel, rootSize, 0.0, TreeLayout::Side::Root);
            index = measure_.last();
        }
        TreeLayout::Label label;
        label.node = &rootLabel;
        label.pixelSize = rootSize;
        label.y = rootY;
        label.size = box;
        label.measureIndex = index;
        label.count = rootLabel.count();
        items_.push_back(std::move(label));
        const PhraseNode &root = *side_.root;

        // The root's curves all leave from the middle of the canvas height,
        // wherever the root label itself stands.
        const TreeLayout::Point anchor{box.width, static_cast<double>(height_ / 2)};
        layoutChildren(root, 1, anchor, static_cast<std::uint32_t>(height_), 0,
                       truncToUnsigned(box.width + box.height));
        while (!frames_.empty())
            placeNextChild();
    }

private:
    TreeLayout::Size measureLabel(const PhraseNode &node, std::uint32_t pixelSize, double x, TreeLayout::Side side)
    {
        LabelMeasure label;
        label.node = &node;
        label.pixelSize = pixelSize;
        label.room = width_ - x;
        label.side = side;
        label.mirrored = side_.mirrored;
        return measure_(label);
    }

    // Shares the band [top, bottom) among the children of `node` and pushes
    // the frame whose children placeNextChild() then places one by one.
    void layoutChildren(const PhraseNode &node, std::uint32_t depth, TreeLayout::Point anchor, std::uint32_t bottom,
                        std::uint32_t top, std::uint32_t x)
    {
        if (!pruning_.keepsBelow(depth - 1) || node.children().empty())
            return;
        // Nothing at or beyond the right edge can be seen: a column there
        // shows no label, and curves leaving from there show nothing either.
        const bool labelsVisible = static_cast<double>(x) < width_;
        const bool curvesVisible = labelsVisible || anchor.x < width_;
        if (!curvesVisible)
            return;

        const std::size_t begin = slots_.size();
        std::uint32_t sum = 0;
        const PhraseNode *heaviest = nullptr;
        for (const auto &child : node.children()) {
            if (!pruning_.keeps(*child, depth))
                continue;
            if (!heaviest)
                heaviest = child.get();
            const std::uint32_t size = pixelSizeFor(height_, child->weight());
            if (size <= 3)
                continue;
            slots_.push_back({child.get(), size});
            sum += size;
        }
        const std::uint32_t avail = bottom - top;
        // The lightest children, which come last, give way first.
        while (sum > avail) {
            sum -= slots_.back().size;
            slots_.pop_back();
        }
        if (!heaviest)
            return;  // every child is pruned
        if (slots_.size() == begin) {
            // Nothing fits: the heaviest child takes the whole band.
            slots_.push_back({heaviest, avail});
            sum = avail;
        }
        const auto count = static_cast<std::uint32_t>(slots_.size() - begin);
        const std::uint32_t gap = (avail - sum) / count;
        frames_.push_back(Frame{depth, begin, slots_.size(), begin, anchor, x, gap, top + gap / 2, labelsVisible,
                                curvesVisible});
    }

    // Places the next child of the innermost frame, or finishes that frame.
    void placeNextChild()
    {
        Frame &frame = frames_.back();
        if (frame.next == frame.slotEnd) {
            slots_.resize(frame.slotBegin);
            frames_.pop_back();
            return;
        }
        const ChildSlot slot = slots_[frame.next++];
        const std::uint32_t depth = frame.depth;
        const std::uint32_t x = frame.x;
        const std::uint32_t y = frame.y;
        const std::uint32_t gap = frame.gap;
        const TreeLayout::Point anchor = frame.anchor;
        bool labelVisible = frame.labelsVisible;
        bool curveVisible = frame.curvesVisible;
        frame.y = y + slot.size + gap;
        const std::uint32_t nextY = frame.y;
        // `frame` may dangle from here on: layoutChildren() can grow frames_.

        // The subtree lies within its band, and no label in it is larger
        // than the band is high: a box overflows the band's foot by less
        // than half the band and the text margins. The curve runs between
        // the anchor and the label.
        const double band = static_cast<double>(slot.size + gap);
        const double bandTop = static_cast<double>(y) - gap / 2 - 16.0;
        const double bandBottom = static_cast<double>(nextY) - gap / 2 + band / 2 + 16.0;
        if (bandBottom < visible_.top || bandTop > visible_.bottom)
            labelVisible = false;
        if (std::max(bandBottom, anchor.y) < visible_.top || std::min(bandTop, anchor.y) > visible_.bottom
            || static_cast<double>(x) < visible_.left || anchor.x > visible_.right)
            curveVisible = false;
        if (!labelVisible && !curveVisible)
            return;

        const TreeLayout::Size box = measureLabel(*slot.child, slot.size, static_cast<double>(x), side_.side);
        if (labelVisible) {
            TreeLayout::Label label;
            label.node = slot.child;
            label.pixelSize = slot.size;
            label.x = static_cast<double>(x);
            label.y = static_cast<double>(y);
            label.size = box;
            label.measureIndex = measure_.last();
            label.side = side_.side;
            label.level = depth;
            label.count = slot.child->count();
            items_.push_back(std::move(label));
        }
        const double midY = static_cast<double>(y) + box.height / 2;
        if (curveVisible) {
            // Horizontal tangents at both ends make the S-shaped join.
            const std::int64_t dx = truncToInteger(static_cast<double>(x) - anchor.x);
            const double half = static_cast<double>(dx / 2);
            items_.emplace_back(TreeLayout::Curve{anchor,
                                                  {anchor.x + half, anchor.y},
                                                  {anchor.x + half, midY},
                                                  {static_cast<double>(x), midY}});
        }
        if (!labelVisible)
            return;
        layoutChildren(*slot.child, depth + 1, {static_cast<double>(x) + box.width, midY}, nextY - gap / 2, y - gap / 2,
              truncToUnsigned(static_cast<double>(x) + box.width + box.height));
    }

    const int height_;
    const double width_;  // the edge beyond which nothing is laid out
    const TreeLayout::Visible visible_;
    const TreeLayouter::Side &side_;
    TreeLayouter::Measurer &measure_;
    const TreePruning &pruning_;
    std::vector<TreeLayout::Item> &items_;
    std::vector<ChildSlot> slots_;
    std::vector<Frame> frames_;
};

}  // namespace

std::uint32_t ColumnLayouter::pixelSizeFor(int height, float weight)
{
    const float product = static_cast<float>(height) * weight;
    return truncToUnsigned(product);
}

TreeLayout ColumnLayouter::layOutSide(const LayoutRequest &request, const Side &side, Measurer &measure) const
{
    TreeLayout layout;
    Builder builder(request.height, side, measure, request.pruning, layout.items());
    builder.run();
    return layout;
}

std::uint32_t ColumnLayouter::rootPixelSize(const LayoutRequest &request, const PhraseNode &root) const
{
    return pixelSizeFor(request.height, root.weight());
}
