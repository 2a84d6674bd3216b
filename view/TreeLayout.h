// TreeLayout: where the labels and curves of a drawn phrase tree go on the canvas, as plain geometry.
#pragma once

#include "PhraseNode.h"
#include "TreePruning.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <variant>
#include <vector>

// The root label stands at the left edge, centred on the canvas height; each
// level of continuations is a column further right. A node's vertical band is
// shared among its children in proportion to their pixel sizes (canvas height
// times weight); children of 3 pixels or less are left out, and the lightest
// are dropped while the rest do not fit. Orange S-curves join each label to
// its children. The layout is computed without a scene: a measurer gives the
// size of a label at a pixel size, so tests can use a fake one.
class TreeLayout {
public:
    struct Point {
        double x = 0;
        double y = 0;
    };
    struct Size {
        double width = 0;
        double height = 0;
    };
    // One label, placed with its top-left corner at (x, y). Its text is the
    // node's label(), which the layout never makes (it can be as long as the
    // text): ask the node.
    struct Label {
        const PhraseNode *node = nullptr;
        std::uint32_t pixelSize = 0;  // as handed to the font (0 leaves the font's size as it was)
        double x = 0;
        double y = 0;
        Size size;                    // as the measurer gave it
        std::size_t measureIndex = 0; // which call of the measurer sized this label
    };
    // One cubic curve from a parent label to a child label.
    struct Curve {
        Point start;
        Point control1;
        Point control2;
        Point end;
    };
    using Item = std::variant<Label, Curve>;

    // Gives the width and height of the label of `node` drawn at `pixelSize`.
    // Called once per label considered, in drawing order (the root first); a
    // label beyond the right edge is still measured when the curve leading to
    // it is drawn, because the curve ends at its mid height.
    using Measure = std::function<Size(const PhraseNode &node, std::uint32_t pixelSize)>;
    // The same, told the `room` between the label's left edge and the
    // canvas's right edge (0 or less for a label beyond the edge, measured
    // for its height only). The height must be the one the label is drawn
    // with, which may depend on the room (a cut label has its visible
    // part's; see TreeDrawing.h); the width must be exact when it is less
    // than the room, and may otherwise be any value not less than the room:
    // all that lies further right is never drawn. So the measurer may read
    // only a prefix of a long label (labelPrefix), whatever the canvas's
    // size or the part of a larger one that is in view.
    using BoundedMeasure = std::function<Size(const PhraseNode &node, std::uint32_t pixelSize, double room)>;

    static constexpr double unbounded = std::numeric_limits<double>::infinity();

    // The part of the canvas that is seen, in the layout's own coordinates
    // (before mirror() or shift()). Bands nest (a child's band lies inside
    // its parent's, and a label's box overflows its slot by less than its
    // pixel size and a margin) and every column starts right of its
    // parent's label, so a subtree whose band lies above or below the part,
    // or whose label starts right of it, is left out unmeasured; a child
    // whose curve may cross the part is measured for the curve's end.
    // Labels are measured with the room up to the part's right edge. What
    // lies inside the part is laid out exactly as without it.
    struct Visible {
        double left = -unbounded;
        double top = -unbounded;
        double right = unbounded;
        double bottom = unbounded;
    };

    // Lays out `root` for a canvas `height` pixels high. Labels whose left
    // edge is at or beyond `width` are left out with their subtrees (nothing
    // of them could be seen); the curves leading to them from a label inside
    // the canvas stay. With width = unbounded every label is laid out. The
    // items come in drawing order: the root label, then for each child in
    // turn its label, its curve and its own subtree. Uses no recursion.
    static TreeLayout compute(const PhraseNode &root, int height, double width, const Measure &measure);
    // The same with a measurer that may stop measuring at the edge.
    static TreeLayout compute(const PhraseNode &root, int height, double width, const BoundedMeasure &measure);
    // The same with the root's label and weight taken from `rootLabel` (if
    // not null: the middle label of a double tree) and nodes left out as
    // `pruning` says.
    static TreeLayout compute(const PhraseNode &root, int height, double width, const BoundedMeasure &measure,
                              const PhraseNode *rootLabel, const TreePruning &pruning);
    // The same, laying out only what `visible` may show (the root label always).
    static TreeLayout compute(const PhraseNode &root, int height, double width, const BoundedMeasure &measure,
                              const PhraseNode *rootLabel, const TreePruning &pruning, const Visible &visible);

    // Mirrors every item about the vertical line x = axis: a label's right
    // edge goes where its left edge was, columns grow leftwards.
    void mirror(double axis);
    // Moves every item `dx` to the right.
    void shift(double dx);
    // Appends the items of `other` (after this layout's own), but for its
    // first label (its root's) when `withoutRoot`.
    void append(const TreeLayout &other, bool withoutRoot);

    const std::vector<Item> &items() const { return items_; }
    // How many times the measurer was called.
    std::size_t measureCount() const { return measureCount_; }

private:
    std::vector<Item> items_;
    std::size_t measureCount_ = 0;
};
