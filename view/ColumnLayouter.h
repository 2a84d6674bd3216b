// ColumnLayouter: the viewer's layout, labels sized by their share of the whole corpus and bands shared by size.
#pragma once

#include "TreeLayouter.h"

#include <cstdint>

// The root label stands at the left edge, centred on the canvas height; each
// level of continuations is a column further right. A label's pixel size is
// the canvas height times its node's weight (its share of the corpus's
// tokens, raised to a power). A node's vertical band is shared among its
// children in proportion to their pixel sizes; children of 3 pixels or less
// are left out, and the lightest are dropped while the rest do not fit; when
// none is left, the heaviest takes the whole band. Orange S-curves join each
// label to its children. Labels whose left edge is at or beyond the canvas's
// right edge are left out with their subtrees (the curves leading to them
// from a label inside the canvas stay); with width = unbounded every label is
// laid out. Labels are measured with the room up to the edge of the part
// seen. The items come in drawing order: the root label, then for each child
// in turn its label, its curve and its own subtree.
class ColumnLayouter : public TreeLayouter {
public:
    // A label's pixel size for a canvas `height` pixels high: the height
    // times the weight, the product taken in single precision as the sizes
    // have always been computed, truncated.
    static std::uint32_t pixelSizeFor(int height, float weight);

protected:
    TreeLayout layOutSide(const LayoutRequest &request, const Side &side, Measurer &measure) const override;
    std::uint32_t rootPixelSize(const LayoutRequest &request, const PhraseNode &root) const override;
};
