#include "LabelItem.h"

#include <QPainter>
#include <QPalette>
#include <QTextOption>

namespace {

// The margin a text document keeps on every side of its text.
constexpr qreal documentMargin = 4;

}  // namespace

bool LabelItem::canHold(const QString &text)
{
    // A text document starts a block at each of these; a line separator
    // breaks the line within one, with spacing of its own.
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\n':
        case u'\r':
        case 0x2028:  // line separator
        case 0x2029:  // paragraph separator
        case 0xFDD0:  // a text document's beginning and end of frame
        case 0xFDD1:
            return false;
        default:
            break;
        }
    }
    return true;
}

LabelItem::LabelItem(const QString &text, const QFont &font) : layout_(text, font)
{
    // As a document without a text width lays out a block: no wrapping, tab
    // stops every 80 pixels, and the block's direction that of its first
    // strong character, to whose side it is aligned.
    const bool rightToLeft = text.isRightToLeft();
    QTextOption option;
    option.setWrapMode(QTextOption::ManualWrap);
    option.setTabStopDistance(80);
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(Qt::Alignment(rightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute);
    layout_.setTextOption(option);
    layout_.setCacheEnabled(true);
    layout_.beginLayout();
    QTextLine line = layout_.createLine();
    qreal width = 0;
    qreal height = 0;
    if (line.isValid()) {
        line.setLineWidth(1e9);
        line.setPosition(QPointF(0, 0));
        width = line.naturalTextWidth();
        height = line.height();
        // The document then aligns the line within its widest line: this one.
        line.setLineWidth(width);
    }
    layout_.endLayout();
    layout_.setPosition(QPointF(documentMargin, documentMargin));
    bounds_ = QRectF(0, 0, width + 2 * documentMargin, height + 2 * documentMargin);
}

void LabelItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    // A text item's colour: the palette's text colour.
    painter->setPen(QPalette().color(QPalette::Text));
    layout_.draw(painter, QPointF(0, 0));
}
