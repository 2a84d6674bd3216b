// TreeDrawing: turns the layout of a phrase tree into the text and path items of a graphics scene.
#pragma once

#include "PhraseNode.h"
#include "TreeLayout.h"

#include <QString>

class QGraphicsScene;
class QGraphicsTextItem;

// Adds the labels (QGraphicsTextItem) and curves (QGraphicsPathItem) of
// `root`, laid out for a canvas `height` pixels high and `width` wide (see
// TreeLayout), to `scene` in drawing order, so that a later item stacks above
// an earlier one. Labels use the default font in family "Helvetica", not
// italic, at each label's pixel size; curves are orange and unfilled. The
// scene is not cleared first. Returns the layout that was drawn.
//
// With `cutLongLabels`, a long label that runs past the right edge holds only
// as much of its text as reaches beyond the edge (the picture is the same),
// so that drawing costs what can be seen rather than the label's length,
// which can be the text's. Such an item's plain text is then a prefix of its
// label; it keeps its whole label under the data key labelTextKey: read
// labels with labelText(). Without it, every item holds its whole label.
TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width,
                           bool cutLongLabels = false);

inline constexpr int labelTextKey = 1;

// The whole label of a text item made by drawTreeInScene.
QString labelText(const QGraphicsTextItem &item);
