#include "TreePicture.h"

#include "LabelItem.h"
#include "TreeDrawing.h"

#include <QFile>
#include <QGraphicsTextItem>
#include <QPainter>
#include <QSvgGenerator>

#include <charconv>

namespace {

void appendNumber(std::string &out, double value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

} // namespace

TreePicture::TreePicture(const PhraseNode &root, QSize canvas)
    : canvas_(canvas),
      // Nobody clicks a picture: long labels may hold only what can be seen.
      layout_(drawTreeInScene(scene_, root, canvas.height(), static_cast<double>(canvas.width()), true))
{
    scene_.setSceneRect(0.0, 0.0, canvas.width(), canvas.height());
}

TreePicture::TreePicture(const TreeDrawingRequest &request)
    : canvas_(static_cast<int>(request.layout.width), request.layout.height),
      layout_(drawTreesInScene(scene_, [&request] {
          TreeDrawingRequest whole = request;
          whole.reuse = nullptr;
          return whole;
      }()))
{
    scene_.setSceneRect(0.0, 0.0, canvas_.width(), canvas_.height());
}

void TreePicture::render(QPainter &painter) const
{
    const QRectF canvas(0.0, 0.0, canvas_.width(), canvas_.height());
    painter.fillRect(canvas, Qt::white);
    // The view's own default: text antialiased, lines not.
    painter.setRenderHint(QPainter::TextAntialiasing);
    // render() is not const in the toolkit, though it leaves the scene as it is.
    const_cast<QGraphicsScene &>(scene_).render(&painter, canvas, canvas);
}

QImage TreePicture::image() const
{
    QImage image(canvas_, QImage::Format_RGB32);
    QPainter painter(&image);
    render(painter);
    return image;
}

bool TreePicture::writeSvg(const QString &path) const
{
    // The file is opened here, so that failing to open it is reported to
    // the caller rather than as a toolkit warning.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return writeSvg(file) && file.flush() && file.error() == QFileDevice::NoError;
}

bool TreePicture::writeSvg(QIODevice &device) const
{
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setSize(canvas_);
    generator.setViewBox(QRect(QPoint(0, 0), canvas_));
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    render(painter);
    return painter.end();
}

std::vector<TreePicture::Drawn> TreePicture::drawn() const
{
    std::vector<Drawn> out;
    // The label items stand in the scene in the layout's order of labels.
    const QList<QGraphicsItem *> items = scene_.items(Qt::AscendingOrder);
    auto next = items.begin();
    for (const TreeLayout::Item &item : layout_.items()) {
        const auto *label = std::get_if<TreeLayout::Label>(&item);
        if (label == nullptr)
            continue;
        while (next != items.end() && (*next)->type() != QGraphicsTextItem::Type && (*next)->type() != LabelItem::Type)
            ++next;
        const QGraphicsItem *drawn = next != items.end() ? *next++ : nullptr;
        Drawn entry{label, {}, !label->text.empty()};
        const QVariant bytes = drawn ? drawn->data(labelBytesKey) : QVariant();
        if (entry.utf8) {
            entry.text = label->text;
        } else if (bytes.isValid()) {
            const auto shown = static_cast<std::size_t>(bytes.toULongLong());
            entry.text = drawn->data(labelEndKey).toBool() ? label->node->labelSuffix(shown)
                                                           : label->node->labelPrefix(shown);
        } else {
            label->node->appendLabel(entry.text);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

std::string TreePicture::listing() const
{
    std::string out;
    for (const Drawn &entry : drawn()) {
        const TreeLayout::Label &label = *entry.label;
        out += std::to_string(label.pixelSize);
        out += ' ';
        appendNumber(out, label.x);
        out += ' ';
        appendNumber(out, label.y);
        out += '\t';
        out += entry.text;
        out += '\n';
    }
    return out;
}

std::string TreePicture::listingJson(LabelEncoding encoding) const
{
    static const char *const sides[] = {"root", "after", "before"};
    std::string out = "{\"canvas\": {\"width\": " + std::to_string(canvas_.width())
                      + ", \"height\": " + std::to_string(canvas_.height()) + "}, \"labels\": [";
    bool first = true;
    for (const Drawn &entry : drawn()) {
        const TreeLayout::Label &label = *entry.label;
        out += first ? "\n{\"text\": " : ",\n{\"text\": ";
        first = false;
        appendJsonString(out, entry.text, entry.utf8 ? LabelEncoding::Utf8 : encoding);
        out += ", \"count\": " + std::to_string(label.count);
        if (label.more > 0)
            out += ", \"more\": " + std::to_string(label.more);
        out += ", \"level\": " + std::to_string(label.level);
        out += ", \"side\": \"";
        out += sides[static_cast<int>(label.side)];
        out += "\", \"size\": " + std::to_string(label.pixelSize);
        for (const auto &[name, value] : {std::pair{"x", label.x}, std::pair{"y", label.y},
                                          std::pair{"width", label.size.width}, std::pair{"height", label.size.height}}) {
            out += ", \"";
            out += name;
            out += "\": ";
            appendNumber(out, value);
        }
        out += '}';
    }
    out += first ? "]}\n" : "\n]}\n";
    return out;
}
