// Fuzzes the tree layout with a fake measurer, on trees of fuzzed texts and
// canvases of any height (0 included) and width, in every search mode and
// pruned or not: every label stays inside the
// band its parent was given, columns move right, every drawn label has its
// curve, and cutting at the right edge only leaves out what lies beyond it.
#include "Corpus.h"
#include "FuzzInput.h"
#include "PhraseNode.h"
#include "PhraseScaleLayouter.h"
#include "PhraseSearch.h"
#include "TreeLayout.h"
#include "TreeLayouter.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace {

// A label at pixel size 0 keeps the font's default size.
constexpr std::uint32_t defaultPixelSize = 13;

// Widths grow with the label's length and size, as glyphs do: between a
// sixteenth of the pixel size and the whole of it per byte.
struct FakeMeasurer {
    std::uint32_t widthSixteenths;  // 1 to 16
    std::uint32_t heightEighths;    // 8 to 23

    TreeLayout::Size operator()(const PhraseNode &node, std::uint32_t pixelSize) const
    {
        const double size = pixelSize == 0 ? defaultPixelSize : pixelSize;
        return {static_cast<double>(node.label().size()) * size * widthSixteenths / 16.0, size * heightEighths / 8.0};
    }
};

struct Band {
    double top;
    double bottom;
};

struct Drawn {
    const TreeLayout::Label *label;
    std::size_t index;  // in items()
};

// Checks one uncut layout of `root` on a canvas `height` high.
void checkLayout(const TreeLayout &layout, const PhraseNode &root, int height, const FakeMeasurer &measure,
                 const TreePruning &pruning)
{
    const auto &items = layout.items();
    FUZZ_CHECK(!items.empty());
    const auto *rootLabel = std::get_if<TreeLayout::Label>(&items.front());
    FUZZ_CHECK(rootLabel && rootLabel->node == &root && rootLabel->x == 0.0);

    std::map<const PhraseNode *, Drawn> drawn;
    std::vector<const TreeLayout::Curve *> curveAfter(items.size(), nullptr);
    std::size_t labels = 0;
    std::size_t curves = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&items[i])) {
            ++labels;
            FUZZ_CHECK(label->node != nullptr && drawn.emplace(label->node, Drawn{label, i}).second);
            FUZZ_CHECK(label->measureIndex < layout.measureCount());
            const TreeLayout::Size size = measure(*label->node, label->pixelSize);
            FUZZ_CHECK(label->size.width == size.width && label->size.height == size.height);
            FUZZ_CHECK(std::isfinite(label->x) && std::isfinite(label->y));
        } else {
            ++curves;
            // A child's label comes first, then the curve that leads to it.
            FUZZ_CHECK(i > 0 && std::holds_alternative<TreeLayout::Label>(items[i - 1]));
            curveAfter[i - 1] = &std::get<TreeLayout::Curve>(items[i]);
        }
    }
    FUZZ_CHECK(curves + 1 == labels);
    FUZZ_CHECK(layout.measureCount() == labels);

    // Walk the drawn tree from the root with the band each node's children share.
    struct Pending {
        const PhraseNode *node;
        Band band;
        std::uint32_t depth;
    };
    std::vector<Pending> pending{{&root, {0.0, static_cast<double>(height)}, 0}};
    while (!pending.empty()) {
        const auto [node, band, depth] = pending.back();
        pending.pop_back();
        const TreeLayout::Label &parent = *drawn.at(node).label;
        const bool isRoot = node == &root;
        const TreeLayout::Point anchor{parent.x + parent.size.width,
                                       isRoot ? static_cast<double>(height / 2) : parent.y + parent.size.height / 2};

        // The children that pruning keeps, in their order.
        std::vector<const PhraseNode *> kept;
        for (const auto &child : node->children()) {
            if (pruning.keepsBelow(depth) && pruning.keeps(*child, depth + 1))
                kept.push_back(child.get());
            else
                FUZZ_CHECK(!drawn.count(child.get()));
        }
        // The drawn children are the heaviest ones: a prefix of those kept.
        std::vector<const TreeLayout::Label *> shown;
        for (const PhraseNode *child : kept) {
            const auto found = drawn.find(child);
            if (found == drawn.end())
                break;
            shown.push_back(found->second.label);
        }
        for (std::size_t i = shown.size(); i < kept.size(); ++i)
            FUZZ_CHECK(!drawn.count(kept[i]));
        // A node with children kept always draws at least one of them.
        FUZZ_CHECK(kept.empty() || !shown.empty());

        for (std::size_t i = 0; i < shown.size(); ++i) {
            const TreeLayout::Label &label = *shown[i];
            // Between the previous sibling's label and the next one's, inside the parent's band.
            const double top = i == 0 ? band.top : shown[i - 1]->y + shown[i - 1]->pixelSize;
            const double bottom = i + 1 == shown.size() ? band.bottom : shown[i + 1]->y;
            FUZZ_CHECK(label.y >= top && label.y + label.pixelSize <= bottom);
            // Columns go right: a child never starts left of its parent label's end.
            FUZZ_CHECK(label.x + 1.0 >= parent.x + parent.size.width);

            const TreeLayout::Curve *curve = curveAfter[drawn.at(label.node).index];
            FUZZ_CHECK(curve != nullptr);
            FUZZ_CHECK(curve->start.x == anchor.x && curve->start.y == anchor.y);
            FUZZ_CHECK(curve->end.x == label.x && curve->end.y == label.y + label.size.height / 2);
            FUZZ_CHECK(curve->control1.y == anchor.y && curve->control2.y == curve->end.y);
            FUZZ_CHECK(curve->control1.x == curve->control2.x);
            FUZZ_CHECK(curve->control1.x >= anchor.x - 1.0 && curve->control1.x <= curve->end.x + 1.0);
            pending.push_back({label.node, {top, bottom}, depth + 1});
        }
    }
}

// The layout cut at `width` holds the root and exactly the uncut labels whose
// own column and whose ancestors' columns start left of `width`.
void checkCut(const TreeLayout &cut, const TreeLayout &uncut, const PhraseNode &root, double width)
{
    std::map<const PhraseNode *, const PhraseNode *> parentOf;
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty()) {
        const PhraseNode *node = pending.back();
        pending.pop_back();
        for (const auto &child : node->children()) {
            parentOf[child.get()] = node;
            pending.push_back(child.get());
        }
    }
    std::map<const PhraseNode *, double> columnOf;
    std::vector<const TreeLayout::Label *> expected;
    for (const auto &item : uncut.items()) {
        const auto *label = std::get_if<TreeLayout::Label>(&item);
        if (!label)
            continue;
        columnOf[label->node] = label->x;
        bool inside = true;
        for (const PhraseNode *node = label->node; node != &root; node = parentOf.at(node))
            inside = inside && columnOf.at(node) < width;
        if (inside)
            expected.push_back(label);
    }
    std::size_t next = 0;
    for (const auto &item : cut.items()) {
        const auto *label = std::get_if<TreeLayout::Label>(&item);
        if (!label)
            continue;
        FUZZ_CHECK(next < expected.size());
        const TreeLayout::Label &want = *expected[next++];
        FUZZ_CHECK(label->node == want.node && label->x == want.x && label->y == want.y
              && label->pixelSize == want.pixelSize);
    }
    FUZZ_CHECK(next == expected.size());
    FUZZ_CHECK(cut.measureCount() <= uncut.measureCount());
}

// The phrase scale's promises on one layout: every label inside the canvas,
// none overlapping another, none below the least size.
void checkPhraseScale(const TreeLayout &layout, const LayoutRequest &request)
{
    std::vector<const TreeLayout::Label *> labels;
    for (const TreeLayout::Item &item : layout.items()) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&item))
            labels.push_back(label);
    }
    FUZZ_CHECK(!labels.empty());
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const TreeLayout::Label &a = *labels[i];
        FUZZ_CHECK(a.pixelSize >= PhraseScaleLayouter::leastPixels);
        // The root alone may be taller than a canvas too small for it.
        if (i > 0 || a.size.height <= request.height) {
            FUZZ_CHECK(a.x >= -1e-6 && a.y >= -1e-6);
            FUZZ_CHECK(a.x + a.size.width <= request.width + 1e-6);
            FUZZ_CHECK(a.y + a.size.height <= request.height + 1e-6);
        }
        for (std::size_t j = i + 1; j < labels.size(); ++j) {
            const TreeLayout::Label &b = *labels[j];
            FUZZ_CHECK(a.x + a.size.width <= b.x + 1e-6 || b.x + b.size.width <= a.x + 1e-6
                       || a.y + a.size.height <= b.y + 1e-6 || b.y + b.size.height <= a.y + 1e-6);
        }
    }
}

}  // namespace

// Input: canvas height (2 bytes), canvas width (2 bytes), the measurer (2
// bytes), then the phrase and the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    // The mode byte: bit 0 a backward tree, bit 1 case folded, bit 2 Unicode
    // words (segmented with bit 7), bits 3 to 5 a depth to prune to (0:
    // none), bit 6 a least count of 2.
    const std::uint8_t mode = reader.byte();
    const int height = static_cast<int>(reader.u16());
    const double width = reader.u16();
    const FakeMeasurer measure{1 + reader.byte() % 16u, 8 + reader.byte() % 16u};
    const auto [phrase, text] = fuzzinput::splitPhraseAndText(reader);

    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()),
                        CorpusOptions{(mode & 4) == 0      ? WordRules::Bytes
                                      : (mode & 0x80) != 0 ? WordRules::Segmented
                                                           : WordRules::Unicode,
                                      (mode & 2) != 0});
    const std::unique_ptr<PhraseNode> root =
        searchPhrase(corpus, phrase, mode & 1 ? TreeDirection::Backward : TreeDirection::Forward).root;
    if (!root)
        return 0;
    TreePruning pruning;
    if (const std::uint32_t depth = (mode >> 3) & 7)
        pruning.maxDepth = depth;
    if (mode & 64)
        pruning.minCount = 2;
    LayoutRequest request;
    request.sides.forward = root.get();
    request.height = height;
    request.width = TreeLayout::unbounded;
    request.measure = [&measure](const LabelMeasure &label) { return measure(*label.node, label.pixelSize); };
    request.pruning = pruning;
    const TreeLayouter &columns = layouterFor(LabelScale::Corpus);
    const TreeLayout uncut = columns.layOut(request);
    checkLayout(uncut, *root, height, measure, pruning);
    request.width = width;
    const TreeLayout cut = columns.layOut(request);
    checkCut(cut, uncut, *root, width);

    // The phrase scale on the same tree, forward or mirrored, on a canvas
    // large enough for its root (a label as wide as the measurer makes it).
    if (height < 40 || width < 40)
        return 0;
    request.measure = [&measure](const LabelMeasure &label) {
        const double size = label.pixelSize;
        const std::size_t bytes = label.text ? label.text->size() : label.node->label().size();
        return TreeLayout::Size{static_cast<double>(bytes) * size * measure.widthSixteenths / 16.0,
                                size * measure.heightEighths / 8.0};
    };
    request.textWidth = [&measure](std::string_view text, std::uint32_t pixelSize) {
        return static_cast<double>(text.size()) * pixelSize * measure.widthSixteenths / 16.0;
    };
    request.zoom = 1.0 + (mode & 0x30) / 16.0;
    if (mode & 1)
        std::swap(request.sides.forward, request.sides.backward);
    checkPhraseScale(layouterFor(LabelScale::Phrase).layOut(request), request);
    return 0;
}
