// TreeDrawing: turns the layout of a phrase tree into the text and path items of a graphics scene.
#pragma once

#include "PhraseNode.h"
#include "TreeLayout.h"

class QGraphicsScene;

// Adds the labels (QGraphicsTextItem) and curves (QGraphicsPathItem) of
// `root`, laid out for a canvas `height` pixels high and `width` wide (see
// TreeLayout), to `scene` in drawing order, so that a later item stacks above
// an earlier one. Labels use the default font in family "Helvetica", not
// italic, at each label's pixel size; curves are orange and unfilled. The
// scene is not cleared first. Returns the layout that was drawn.
TreeLayout drawTreeInScene(QGraphicsScene &scene, const PhraseNode &root, int height, double width);
