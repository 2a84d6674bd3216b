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
// With `cutLongLabels`, a plain ASCII label that runs past the right edge
// holds only as much of its text as reaches beyond the edge (the picture is
// the same), so that drawing costs what can be seen rather than the label's
// length, which can be the text's: neither the layout nor the items make such
// a label whole. Such a cut item's plain text is then a prefix of its label,
// and the item refers to its node (data key labelNodeKey): read labels with
// labelText(). Without it, every item holds its whole label.
TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width,
                           bool cutLongLabels = false);

// Item data keys of the label items: a cut item's node (const PhraseNode *),
// and, once detached, its whole label (QByteArray, Latin-1).
inline constexpr int labelNodeKey = 1;
inline constexpr int labelTextKey = 2;

// The whole label of a text item made by drawTreeInScene: its plain text, or
// for a cut item, the label made from the node it refers to, which must still
// live. Costs the label's length. Before a tree whose cut items are shown is
// destroyed, detachLabels() must be run on their scene.
QString labelText(const QGraphicsTextItem &item);

// Makes every cut label item in `scene` hold its whole label (labelTextKey)
// instead of referring to its node, so that the tree may be destroyed while
// the items stay shown and clickable. Costs the length of those labels.
void detachLabels(QGraphicsScene &scene);
