// TreePicture: a phrase tree drawn as the canvas would show it, without a window: an image, an SVG file, a label listing.
#pragma once

#include "PhraseNode.h"
#include "TreeDrawing.h"
#include "TreeLayout.h"

#include <QGraphicsScene>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <string>
#include <vector>

// Needs a QApplication (any platform, offscreen included) while it lives.
class QIODevice;

class TreePicture {
public:
    // Draws `root` for a canvas of `canvas` pixels, exactly as the draw view
    // of that viewport size and height would. `root` must outlive the
    // picture: long labels are read from their nodes.
    TreePicture(const PhraseNode &root, QSize canvas);
    // Draws one tree or both trees of a phrase as drawTreesInScene does, for
    // a canvas of the request's height and width (the label items are made
    // anew: `reuse` is not read).
    explicit TreePicture(const TreeDrawingRequest &request);

    // The canvas on a white background.
    QImage image() const;
    // Writes the canvas on a white background to an SVG file; false if it cannot be written.
    bool writeSvg(const QString &path) const;
    // The same SVG into an open device; false if a write fails.
    bool writeSvg(QIODevice &device) const;
    // One line per drawn label, in drawing order: the pixel size handed to
    // the font, the x and y of the label's top-left corner, a TAB, the label
    // bytes. A label cut at the canvas edge is listed as it is drawn: the
    // bytes its item holds, and for a mirrored one, cut at the left edge, the
    // x where that part starts. Costs what is drawn, not the labels' length.
    std::string listing() const;
    // The same labels as one JSON object: {"canvas": {"width", "height"},
    // "labels": [...]}, each label in drawing order an object with "text" (as
    // drawn, in `encoding` as --json writes labels; a text the layouter chose
    // as UTF-8), "count", "more" (a left-out entry's continuations, only
    // there), "level", "side" ("root", "after" or "before"), "size" (pixels),
    // and its box: "x", "y", "width", "height".
    std::string listingJson(LabelEncoding encoding) const;

    const TreeLayout &layout() const { return layout_; }
    const QGraphicsScene &scene() const { return scene_; }

private:
    // A drawn label and what it shows: its text the layouter chose (UTF-8),
    // or the bytes of its label that its item holds.
    struct Drawn {
        const TreeLayout::Label *label;
        std::string text;
        bool utf8;
    };
    std::vector<Drawn> drawn() const;

    void render(QPainter &painter) const;

    QSize canvas_;
    QGraphicsScene scene_;
    TreeLayout layout_;
};
