// The tree layout's arithmetic, with a fake measurer and trees built by hand.
#include "TreeLayout.h"
#include "TreeLayouter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using Label = TreeLayout::Label;
using Curve = TreeLayout::Curve;

// Half the pixel size per byte plus a margin wide, a little more than the
// pixel size high: simple to compute by hand, and it moves the columns.
TreeLayout::Size fakeSize(const std::string &text, std::uint32_t pixelSize)
{
    return {static_cast<double>(text.size()) * pixelSize / 2.0 + 8.0, pixelSize + 6.5};
}

TreeLayout::Size fakeMeasure(const PhraseNode &node, std::uint32_t pixelSize)
{
    return fakeSize(node.label(), pixelSize);
}

// The corpus scale's layout of `root` alone, measured by `measure`.
template <typename Measure>
TreeLayout layOutWith(const PhraseNode &root, int height, double width, Measure &&measure)
{
    LayoutRequest request;
    request.sides.forward = &root;
    request.height = height;
    request.width = width;
    request.measure = [&measure](const LabelMeasure &label) { return measure(*label.node, label.pixelSize); };
    return layouterFor(LabelScale::Corpus).layOut(request);
}

TreeLayout layOut(const PhraseNode &root, int height, double width = TreeLayout::unbounded)
{
    return layOutWith(root, height, width, fakeMeasure);
}

PhraseNode *addChild(PhraseNode &parent, std::string label, float weight)
{
    auto child = std::make_unique<PhraseNode>(std::move(label));
    child->setWeight(weight);
    PhraseNode *raw = child.get();
    parent.appendChild(std::move(child));
    return raw;
}

std::unique_ptr<PhraseNode> makeRoot(std::string label, float weight = 1.0f)
{
    auto root = std::make_unique<PhraseNode>(std::move(label));
    root->setWeight(weight);
    return root;
}

// The layout's items of one kind, in drawing order.
template <typename Kind>
std::vector<Kind> itemsOf(const TreeLayout &layout)
{
    std::vector<Kind> out;
    for (const auto &item : layout.items())
        if (const auto *kind = std::get_if<Kind>(&item))
            out.push_back(*kind);
    return out;
}

std::vector<Label> labelsOf(const TreeLayout &layout) { return itemsOf<Label>(layout); }
std::vector<Curve> curvesOf(const TreeLayout &layout) { return itemsOf<Curve>(layout); }

// The display weight of a continuation counted `count` times in a text of `tokens` tokens.
float weightOf(int count, int tokens)
{
    return std::pow(static_cast<float>(count) / static_cast<float>(tokens), 0.55f);
}

TEST(TreeLayout, SizesFollowWeightsAndSmallLabelsAreDropped)
{
    auto root = makeRoot("the");
    addChild(*root, "hundred", weightOf(100, 1000));
    PhraseNode *ten = addChild(*root, "ten", weightOf(10, 1000));
    addChild(*root, "once", weightOf(1, 1000));
    PhraseNode *tiny = addChild(*root, "tiny", 3.99f / 711.0f);
    addChild(*tiny, "under tiny", 1.0f);
    addChild(*ten, "under ten", weightOf(10, 1000));

    const auto labels = labelsOf(layOut(*root, 711));
    ASSERT_EQ(labels.size(), 5u);
    EXPECT_EQ(labels[0].pixelSize, 711u);
    EXPECT_EQ(labels[1].node->label(), "hundred");
    EXPECT_EQ(labels[1].pixelSize, 200u);
    EXPECT_EQ(labels[2].node->label(), "ten");
    EXPECT_EQ(labels[2].pixelSize, 56u);
    EXPECT_EQ(labels[3].node->label(), "under ten");
    EXPECT_EQ(labels[4].node->label(), "once");
    EXPECT_EQ(labels[4].pixelSize, 15u);
    EXPECT_EQ(labels[4].node, root->children()[2].get());
}

TEST(TreeLayout, BandIsSharedWithEqualGapsAndHalfAGapAbove)
{
    auto root = makeRoot("r", 0.5f);
    addChild(*root, "a", 0.2f);  // 142 of 711
    addChild(*root, "b", 0.1f);  // 71
    const auto layout = layOut(*root, 711);
    const auto labels = labelsOf(layout);
    ASSERT_EQ(labels.size(), 3u);

    // The root: pixel size 355, centred as (H - wH) / 2 in single precision.
    EXPECT_EQ(labels[0].pixelSize, 355u);
    EXPECT_EQ(labels[0].x, 0.0);
    EXPECT_EQ(labels[0].y, 177.75);

    const TreeLayout::Size rootBox = fakeSize("r", 355);
    const auto column = static_cast<std::uint32_t>(rootBox.width + rootBox.height);
    const std::uint32_t gap = (711 - 142 - 71) / 2;
    EXPECT_EQ(labels[1].x, column);
    EXPECT_EQ(labels[1].y, gap / 2);
    EXPECT_EQ(labels[2].x, column);
    EXPECT_EQ(labels[2].y, gap / 2 + 142 + gap);
}

TEST(TreeLayout, OverflowingChildrenLoseTheLightestFirst)
{
    auto root = makeRoot("r");
    addChild(*root, "a", 0.5f);
    addChild(*root, "b", 0.4f);
    addChild(*root, "c", 0.3f);
    const auto labels = labelsOf(layOut(*root, 100));
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[1].node->label(), "a");
    EXPECT_EQ(labels[2].node->label(), "b");
    // 50 + 40 leave 10 for two gaps of 5: half a gap above the first label.
    EXPECT_EQ(labels[1].y, 2.0);
    EXPECT_EQ(labels[2].y, 2.0 + 50 + 5);
}

TEST(TreeLayout, FallbackSlotTakesTheWholeBandAtItsTop)
{
    auto root = makeRoot("r", 0.4f);
    PhraseNode *first = addChild(*root, "first", 0.004f);
    addChild(*root, "second", 0.003f);
    addChild(*first, "grandchild", 0.5f);
    const auto layout = layOut(*root, 711);
    const auto labels = labelsOf(layout);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[1].node->label(), "first");
    EXPECT_EQ(labels[1].pixelSize, 711u);
    EXPECT_EQ(labels[1].y, 0.0);
    // Its own children share the band from 0 to H.
    EXPECT_EQ(labels[2].pixelSize, 355u);
    EXPECT_EQ(labels[2].y, (711u - 355u) / 2);
}

TEST(TreeLayout, CurvesLeaveFromTheLabelEndAndJoinWithHorizontalTangents)
{
    auto root = makeRoot("root", 0.3f);
    PhraseNode *a = addChild(*root, "aa", 0.25f);
    addChild(*root, "b", 0.1f);
    addChild(*a, "x", 0.1f);
    const auto layout = layOut(*root, 711);
    const auto labels = labelsOf(layout);
    const auto curves = curvesOf(layout);
    ASSERT_EQ(labels.size(), 4u);
    ASSERT_EQ(curves.size(), 3u);

    // Every curve from the root starts at (root width, H / 2), although the
    // root label's middle is elsewhere.
    const double rootWidth = labels[0].size.width;
    for (const Curve *curve : {&curves[0], &curves[2]}) {
        EXPECT_EQ(curve->start.x, rootWidth);
        EXPECT_EQ(curve->start.y, 355.0);
    }
    EXPECT_NE(labels[0].y + labels[0].size.height / 2, 355.0);

    for (const auto &[curve, child] :
         {std::pair{curves[0], labels[1]}, {curves[1], labels[2]}, {curves[2], labels[3]}}) {
        const double midY = child.y + child.size.height / 2;
        const double half = static_cast<double>(static_cast<std::int64_t>(child.x - curve.start.x) / 2);
        EXPECT_EQ(curve.control1.x, curve.start.x + half);
        EXPECT_EQ(curve.control1.y, curve.start.y);
        EXPECT_EQ(curve.control2.x, curve.start.x + half);
        EXPECT_EQ(curve.control2.y, midY);
        EXPECT_EQ(curve.end.x, child.x);
        EXPECT_EQ(curve.end.y, midY);
    }
    // Below the root, curves leave from the parent label's right end at its mid height.
    EXPECT_EQ(curves[1].start.x, labels[1].x + labels[1].size.width);
    EXPECT_EQ(curves[1].start.y, labels[1].y + labels[1].size.height / 2);
    EXPECT_EQ(labels[2].x, std::trunc(labels[1].x + labels[1].size.width + labels[1].size.height));
}

TEST(TreeLayout, DrawingOrderIsLabelCurveSubtree)
{
    auto root = makeRoot("r");
    PhraseNode *a = addChild(*root, "a", 0.4f);
    addChild(*root, "b", 0.3f);
    addChild(*a, "a1", 0.2f);
    addChild(*a, "a2", 0.1f);
    std::string order;
    const auto layout = layOut(*root, 711);
    for (const auto &item : layout.items())
        order += std::holds_alternative<Label>(item) ? std::get<Label>(item).node->label() + " " : std::string("~ ");
    EXPECT_EQ(order, "r a ~ a1 ~ a2 ~ b ~ ");
}

TEST(TreeLayout, LoneRootAndZeroSizedRoot)
{
    // A phrase met once in a long text truncates to pixel size 0; it is still
    // drawn, and a node without children makes no curve.
    auto root = makeRoot("rare", 0.001f);
    std::vector<std::uint32_t> asked;
    const auto layout = layOutWith(*root, 711, TreeLayout::unbounded, [&](const PhraseNode &node, std::uint32_t size) {
        asked.push_back(size);
        return fakeMeasure(node, size);
    });
    ASSERT_EQ(layout.items().size(), 1u);
    EXPECT_EQ(asked, std::vector<std::uint32_t>{0});
    EXPECT_EQ(std::get<Label>(layout.items()[0]).node->label(), "rare");
}

TEST(TreeLayout, UnsignedWrapAroundIsReproducedAndEnds)
{
    // Three children of 2e9 pixels sum past 2^32 to 1,705,032,704, which
    // fits the band: none is dropped, and the positions wrap as 32-bit values.
    const int height = 2000000000;
    auto root = makeRoot("r");
    for (const char *name : {"a", "b", "c"})
        addChild(*root, name, 1.0f);
    const auto labels = labelsOf(layOut(*root, height));
    ASSERT_EQ(labels.size(), 4u);
    const auto size = static_cast<std::uint32_t>(static_cast<float>(height));
    const std::uint32_t sum = size * 3u;
    const std::uint32_t gap = (static_cast<std::uint32_t>(height) - sum) / 3u;
    std::uint32_t y = gap / 2;
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(labels[i].y, y);
        y += size + gap;
    }

    // A canvas 0 pixels high: every band is empty and every label is a fallback of size 0.
    auto chain = makeRoot("c0");
    PhraseNode *node = chain.get();
    for (int i = 1; i < 5; ++i)
        node = addChild(*node, "c" + std::to_string(i), 0.5f);
    const auto flat = labelsOf(layOut(*chain, 0));
    ASSERT_EQ(flat.size(), 5u);
    for (const auto &label : flat) {
        EXPECT_EQ(label.pixelSize, 0u);
        EXPECT_EQ(label.y, 0.0);
    }
}

TEST(TreeLayout, DeepTreesNeedNoRecursion)
{
    // Each level branches, so no chain collapse would have shortened it.
    const int depth = 200000;
    auto root = makeRoot("r");
    PhraseNode *node = root.get();
    for (int i = 0; i < depth; ++i) {
        addChild(*node, "side", 0.1f);
        PhraseNode *next = addChild(*node, "d", 0.5f);
        std::swap(node->children()[0], node->children()[1]);
        node = next;
    }
    const auto layout = layOut(*root, 711);
    EXPECT_GT(layout.items().size(), static_cast<std::size_t>(depth));
}

// A random tree with weights sorted heaviest first, as shaping leaves them.
void growRandom(PhraseNode &root, std::mt19937 &random, int nodes)
{
    std::vector<PhraseNode *> open{&root};
    std::uniform_real_distribution<float> weight(0.002f, 0.15f);
    for (int made = 0; made < nodes && !open.empty();) {
        std::uniform_int_distribution<std::size_t> pick(0, open.size() - 1);
        PhraseNode *parent = open[pick(random)];
        const int count = 1 + static_cast<int>(random() % 4);
        std::vector<float> weights;
        for (int i = 0; i < count; ++i)
            weights.push_back(weight(random));
        std::sort(weights.rbegin(), weights.rend());
        for (float w : weights) {
            open.push_back(addChild(*parent, "w" + std::to_string(made), w));
            ++made;
        }
        open.erase(std::find(open.begin(), open.end(), parent));
    }
}

bool sameLabel(const Label &a, const Label &b)
{
    return a.node == b.node && a.pixelSize == b.pixelSize && a.x == b.x && a.y == b.y;
}

bool sameCurve(const Curve &a, const Curve &b)
{
    auto same = [](TreeLayout::Point p, TreeLayout::Point q) { return p.x == q.x && p.y == q.y; };
    return same(a.start, b.start) && same(a.control1, b.control1) && same(a.control2, b.control2)
           && same(a.end, b.end);
}

TEST(TreeLayout, RightEdgeCutKeepsEverythingVisibleAsItWas)
{
    std::mt19937 random(7);
    std::size_t drawn = 0;
    for (int round = 0; round < 40; ++round) {
        auto root = makeRoot("root", 0.1f);
        growRandom(*root, random, 400);
        const auto whole = layOut(*root, 711);
        // The edge falls exactly on some label's left side: that label is cut.
        const auto placed = labelsOf(whole);
        ASSERT_GT(placed.size(), 1u);
        const double width = placed[1 + random() % (placed.size() - 1)].x;
        const auto cut = layOut(*root, 711, width);

        // The whole layout, without what cannot be seen: labels at or beyond
        // the edge, and curves that both start and end there.
        std::vector<TreeLayout::Item> visible;
        for (const auto &item : whole.items()) {
            if (const auto *label = std::get_if<Label>(&item)) {
                if (label->x < width)
                    visible.push_back(item);
            } else {
                const auto &curve = std::get<Curve>(item);
                if (curve.start.x < width || curve.end.x < width)
                    visible.push_back(item);
            }
        }
        ASSERT_EQ(cut.items().size(), visible.size()) << "round " << round;
        bool reachesEdge = false;
        for (std::size_t i = 0; i < visible.size(); ++i) {
            const auto &a = visible[i];
            const auto &b = cut.items()[i];
            ASSERT_EQ(a.index(), b.index()) << "round " << round << " item " << i;
            if (const auto *label = std::get_if<Label>(&a)) {
                EXPECT_TRUE(sameLabel(*label, std::get<Label>(b))) << "round " << round << " item " << i;
            } else {
                EXPECT_TRUE(sameCurve(std::get<Curve>(a), std::get<Curve>(b))) << "round " << round << " item " << i;
                reachesEdge = reachesEdge || std::get<Curve>(a).end.x >= width;
            }
        }
        EXPECT_LE(cut.measureCount(), whole.measureCount());
        drawn += placed.size();
        EXPECT_TRUE(reachesEdge) << "round " << round;  // curves to hidden labels are kept
    }
    EXPECT_GT(drawn, 40u * 20u);  // the trees are big enough to mean something
}

} // namespace
