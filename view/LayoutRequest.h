// LayoutRequest: what a layouter is asked for: the trees, the canvas, how a label is measured, what is pruned and what is seen.
#pragma once

#include "LabelText.h"
#include "PhraseNode.h"
#include "TreeLayout.h"
#include "TreePruning.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The trees of a phrase: of what follows it, of what precedes it, or both.
struct TreeSides {
    const PhraseNode *forward = nullptr;
    const PhraseNode *backward = nullptr;
};

// One label to measure: a node's label, or a text the layouter chose for it.
struct LabelMeasure {
    const PhraseNode *node = nullptr;
    // The text drawn (UTF-8), when the layouter chose it; null for the node's label().
    const std::string *text = nullptr;
    std::uint32_t pixelSize = 0;
    // Between the label's left edge (its right edge when mirrored) and the
    // canvas's edge; 0 or less for a label beyond the edge, measured for its
    // height only. The height must be the one the label is drawn with, which
    // may depend on the room (see TreeDrawing.h); the width must be exact
    // when it is less than the room, and may otherwise be any value not less
    // than the room: what lies further is never drawn. So a measurer may
    // read only a prefix of a long label (labelPrefix).
    double room = TreeLayout::unbounded;
    TreeLayout::Side side = TreeLayout::Side::Root;
    // Read from its end and placed by its right edge (a tree of what precedes).
    bool mirrored = false;
};

struct LayoutRequest {
    TreeSides sides;
    // The canvas in pixels.
    int height = 0;
    double width = 0;
    // The size of a label as it is drawn. Called once per label considered,
    // in drawing order; a label beyond the edge is still measured when the
    // curve leading to it is drawn, because the curve ends at its mid height.
    std::function<TreeLayout::Size(const LabelMeasure &)> measure;
    // How wide the label of a UTF-8 text would be at a pixel size, for
    // layouters that cut long labels to fit (cheaper than measure():
    // nothing is made).
    std::function<double(std::string_view text, std::uint32_t pixelSize)> textWidth;
    // How the trees' label bytes become characters.
    LabelEncoding encoding = LabelEncoding::Latin1;
    TreePruning pruning;
    // The part of the canvas that is seen; what lies elsewhere need not be laid out.
    std::optional<TreeLayout::Visible> visible;
    // How much the canvas is magnified (the height and width are the
    // magnified canvas's): layouters that size labels by the phrase grow
    // them with it.
    double zoom = 1.0;
};
