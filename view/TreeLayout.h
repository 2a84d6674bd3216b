// TreeLayout: where the labels and curves of a drawn phrase tree go on the canvas, as plain geometry.
#pragma once

#include "PhraseNode.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// What a layouter (see TreeLayouter) made of a tree for a canvas: labels with
// their pixel sizes and boxes, and the curves that join them, in drawing
// order. Computed without a scene or a toolkit: a layouter is handed a
// function that measures a label. Scene code only turns the items into
// graphics items.
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
    // Where a label stands: the phrase (a lone tree's root, or the double
    // tree's middle label), or a continuation after or before it.
    enum class Side : std::uint8_t { Root, After, Before };
    // One label, placed with its top-left corner at (x, y).
    struct Label {
        // The node it stands for; for a left-out entry, the node whose
        // continuations it stands for.
        const PhraseNode *node = nullptr;
        std::uint32_t pixelSize = 0;  // as handed to the font (0 leaves the font's size as it was)
        double x = 0;
        double y = 0;
        Size size;                     // as the measurer gave it
        std::size_t measureIndex = 0;  // which call of the measurer sized this label
        Side side = Side::Root;
        std::uint32_t level = 0;  // 0 for the root, 1, 2, ... below it on either side
        // What the label reads (UTF-8), when the layouter chose it (a long
        // label cut after a word, a left-out entry's line); empty: the node's
        // label(), which the layout never makes (it can be as long as the text).
        std::string text;
        // A left-out entry: how many continuations of `node` it stands for
        // (0 for a label of a node), and, like every label, their occurrences.
        std::uint32_t more = 0;
        std::uint64_t count = 0;
    };
    // One cubic curve from a parent label to a child label.
    struct Curve {
        Point start;
        Point control1;
        Point control2;
        Point end;
    };
    using Item = std::variant<Label, Curve>;

    static constexpr double unbounded = std::numeric_limits<double>::infinity();

    // A part of the canvas. Bands nest (a child's band lies inside its
    // parent's, and a label's box overflows its slot by less than its pixel
    // size and a margin) and every column starts right of its parent's label,
    // so a layouter leaves out, unmeasured, a subtree whose band lies above or
    // below the part seen, or whose label starts right of it; what lies
    // inside the part is laid out exactly as without it.
    struct Visible {
        double left = -unbounded;
        double top = -unbounded;
        double right = unbounded;
        double bottom = unbounded;
    };

    // Mirrors every item about the vertical line x = axis: a label's right
    // edge goes where its left edge was, columns grow leftwards.
    void mirror(double axis);
    // Moves every item `dx` to the right.
    void shift(double dx);
    // Appends the items of `other` (after this layout's own), but for its
    // first label (its root's) when `withoutRoot`.
    void append(const TreeLayout &other, bool withoutRoot);

    const std::vector<Item> &items() const { return items_; }
    std::vector<Item> &items() { return items_; }
    // How many times the measurer was called.
    std::size_t measureCount() const { return measureCount_; }
    void setMeasureCount(std::size_t count) { measureCount_ = count; }
    // The middle label of a double tree, which the layout owns and its first
    // label refers to; null otherwise.
    const PhraseNode *middle() const { return middle_.get(); }
    const std::shared_ptr<const PhraseNode> &middleOwner() const { return middle_; }
    void setMiddle(std::shared_ptr<const PhraseNode> middle) { middle_ = std::move(middle); }

private:
    std::vector<Item> items_;
    std::size_t measureCount_ = 0;
    std::shared_ptr<const PhraseNode> middle_;
};
