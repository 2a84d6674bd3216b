// TreeDrawing: turns the layout of a phrase tree into the text and path items of a graphics scene.
#pragma once

#include "LabelEncoding.h"
#include "PhraseNode.h"
#include "TreeLayout.h"
#include "TreePruning.h"

#include <QString>

#include <memory>

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

// What the command-line tool draws: the tree of what follows a phrase, of
// what precedes it, or both.
struct TreeSides {
    const PhraseNode *forward = nullptr;
    const PhraseNode *backward = nullptr;
};

// Draws as drawTreeInScene does, long labels cut, `pruning` applied. A
// forward tree alone stands as the canvas shows it. A backward tree alone is
// mirrored: laid out by the same rules, then its columns grow leftwards from
// the phrase at the right edge, a label cut at the left edge keeping its end.
// Both together: one middle label (the backward root's label followed by what
// the forward root absorbed, at the forward root's size) centred on the
// canvas (at its left edge if wider), the backward tree to its left, the
// forward tree to its right. The layout lists the middle (or root) label,
// then the backward tree's labels and curves, then the forward tree's; it
// refers to `middle` for the middle label, which must outlive it.
TreeLayout drawTreesInScene(QGraphicsScene &scene, const TreeSides &sides, int height, double width,
                            LabelEncoding encoding, const TreePruning &pruning, std::unique_ptr<PhraseNode> &middle);

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
