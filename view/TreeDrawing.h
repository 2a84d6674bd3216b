// TreeDrawing: turns the layout of a phrase tree into the text and path items of a graphics scene.
#pragma once

#include "LabelEncoding.h"
#include "LabelItemPool.h"
#include "LayoutRequest.h"
#include "PhraseNode.h"
#include "TreeLayout.h"
#include "TreeLayouter.h"
#include "TreePruning.h"

#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>

class QGraphicsScene;
class QGraphicsItem;

// Adds the labels (QGraphicsTextItem) and curves (QGraphicsPathItem) of
// `root`, laid out for a canvas `height` pixels high and `width` wide (see
// TreeLayout), to `scene` in drawing order, so that a later item stacks above
// an earlier one. Labels use the default font in family "Helvetica", not
// italic, at each label's pixel size; curves are orange and unfilled. The
// scene is not cleared first. Returns the layout that was drawn.
//
// With `cutLongLabels`, a label that runs past the right edge is made only
// as far as the canvas shows it, so that drawing costs what can be seen
// rather than the label's length, which can be the text's: neither the
// layout nor the items make such a label whole, whatever its characters.
// The rule, the same for the canvas and every picture made from it:
//   - The visible part of a label is the character clusters (user-perceived
//     characters) that begin before the edge, counted from the side the
//     label is read from (its start; its end for a mirrored label).
//   - The item holds the visible part and the clusters that begin within one
//     height of the visible part past the edge, so that the visible glyphs
//     are shaped as in the whole label; where those further clusters would
//     change its height (a fallback font for their script has a taller
//     line), it holds the visible part alone.
//   - So a cut label's height is always that of its visible part: characters
//     out of sight never move its line or the curves that end at it. A label
//     that starts at or beyond the edge (measured only for the curve that
//     ends at it) has the height of its first cluster.
// Text that runs right to left inside a label is cut in reading order like
// the rest. In a font that has all of a label's characters (the viewer's
// Latin-1 labels in Helvetica) the cut item draws exactly what the whole
// label would. A cut item's plain text is then a prefix of its label, and
// the item refers to its node (data key labelNodeKey): read labels with
// labelText(). Without it, every item holds its whole label.
TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width,
                           bool cutLongLabels = false);

// What to draw: the layout's request (the drawing measures the labels
// itself: its `measure` and `textWidth` are not read), the way labels are
// sized and placed, how their bytes become characters, and the label items
// of an earlier drawing to reuse.
struct TreeDrawingRequest {
    LayoutRequest layout;
    LabelScale scale = LabelScale::Corpus;
    LabelEncoding encoding = LabelEncoding::Latin1;
    // Label items that an earlier drawing of the same trees at the same size
    // and encoding left here are moved into the scene rather than made again
    // (those left over stay where they were), and this drawing's label items
    // are left here for the next; the middle label is always made anew. The
    // scene drawn before must still exist.
    LabelItemPool *reuse = nullptr;
};

// The request to draw `sides` on a canvas of `canvas` pixels, the rest as given.
TreeDrawingRequest drawingRequest(const TreeSides &sides, QSize canvas, LabelEncoding encoding = LabelEncoding::Latin1,
                                  const TreePruning &pruning = {}, LabelScale scale = LabelScale::Corpus);

// Draws the request's trees as its scale's layouter lays them out (see
// TreeLayouter), long labels cut as drawTreeInScene does, except that a label
// of one line is a LabelItem, which measures and paints as a text item would
// at a fraction of its cost (a label holding a line break is still a text
// item). With a visible part, only what may show there is laid out and
// drawn: what it shows is what the whole canvas shows there, at a cost of
// what is in it. The layout it returns owns the middle label of a double
// tree, to which its first label refers.
TreeLayout drawTreesInScene(QGraphicsScene &scene, const TreeDrawingRequest &request);

// Item data keys of the label items: a cut item's node (const PhraseNode *),
// how many bytes of its label it holds (qulonglong) and whether they are the
// label's end (bool); once detached, its whole label (QByteArray, Latin-1).
inline constexpr int labelNodeKey = 1;
inline constexpr int labelTextKey = 2;
inline constexpr int labelBytesKey = 3;
inline constexpr int labelEndKey = 4;

// The whole label of a label item made by drawTreeInScene or drawTreesInScene
// (a text item or a LabelItem): its plain text, or
// for a cut item, the label made from the node it refers to, which must still
// live. Costs the label's length. Before a tree whose cut items are shown is
// destroyed, detachLabels() must be run on their scene.
QString labelText(const QGraphicsItem &item);

// Makes every cut label item in `scene` hold its whole label (labelTextKey)
// instead of referring to its node, so that the tree may be destroyed while
// the items stay shown and clickable. Costs the length of those labels.
void detachLabels(QGraphicsScene &scene);
