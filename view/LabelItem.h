// LabelItem: a one-line label drawn exactly as a text item draws it, at a tenth of the cost.
#pragma once

#include <QFont>
#include <QGraphicsItem>
#include <QString>
#include <QTextLayout>

// A QGraphicsTextItem keeps a whole text document (some 22 kB and a few
// objects) for each label; a tree of a thousand labels costs tens of
// milliseconds and megabytes to make and as much to let go. A label of one
// line needs only its text laid out: this item lays it out with the options
// a text document gives a block of plain text and places it where the
// document would, so that its bounding rectangle and every pixel it paints
// are those of a text item with the same font and text.
class LabelItem : public QGraphicsItem {
public:
    enum { Type = UserType + 1 };

    // Whether a label item can hold `text`: it must not hold a line or
    // paragraph break (nor what a text document takes for one).
    static bool canHold(const QString &text);

    // `text` must be one that canHold().
    LabelItem(const QString &text, const QFont &font);

    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    int type() const override { return Type; }

    QString text() const { return layout_.text(); }
    QFont font() const { return layout_.font(); }
    // The laid-out line, positioned in item coordinates (its x is the
    // margin a text document keeps around its text).
    const QTextLayout &layout() const { return layout_; }

private:
    QTextLayout layout_;
    QRectF bounds_;
};
