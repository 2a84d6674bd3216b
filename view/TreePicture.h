// TreePicture: a phrase tree drawn as the canvas would show it, without a window: an image, an SVG file, a label listing.
#pragma once

#include "PhraseNode.h"
#include "TreeLayout.h"

#include <QGraphicsScene>
#include <QImage>
#include <QSize>
#include <QString>

#include <string>

// Needs a QApplication (any platform, offscreen included) while it lives.
class TreePicture {
public:
    // Draws `root` for a canvas of `canvas` pixels, exactly as the draw view
    // of that viewport size and height would. `root` must outlive the
    // picture: long labels are read from their nodes.
    TreePicture(const PhraseNode &root, QSize canvas);

    // The canvas on a white background.
    QImage image() const;
    // Writes the canvas on a white background to an SVG file; false if it cannot be written.
    bool writeSvg(const QString &path) const;
    // One line per drawn label, in drawing order: the pixel size handed to
    // the font, the x and y of the label's position, a TAB, the label bytes.
    std::string listing() const;

    const TreeLayout &layout() const { return layout_; }
    const QGraphicsScene &scene() const { return scene_; }

private:
    void render(QPainter &painter) const;

    QSize canvas_;
    QGraphicsScene scene_;
    TreeLayout layout_;
};
