// Drawing a tree into a scene with the real text items, and the pictures made from it.
#include "LabelItem.h"
#include "TreeDrawing.h"
#include "TreePicture.h"

#include "Corpus.h"
#include "PhraseSearch.h"

#include <QBrush>
#include <QBuffer>
#include <QFont>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QGlyphRun>
#include <QGraphicsTextItem>
#include <QTextLayout>
#include <QPainter>
#include <QPen>
#include <QStyleOptionGraphicsItem>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

std::unique_ptr<Corpus> loadSample()
{
    std::ifstream in(MORVANET_SOURCE_DIR "/samples/genesis.txt", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty());
    return std::make_unique<Corpus>(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

Corpus &sample()
{
    static const std::unique_ptr<Corpus> corpus = loadSample();
    return *corpus;
}

std::string bytesOf(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Everything that makes an item look the way it does, as text, for comparing drawings.
std::string describe(const QGraphicsItem *item)
{
    std::ostringstream out;
    out << item->type() << ' ' << item->pos().x() << ' ' << item->pos().y() << ' ';
    if (const auto *text = qgraphicsitem_cast<const QGraphicsTextItem *>(item)) {
        out << bytesOf(labelText(*text)) << ' ' << text->font().pixelSize() << ' '
            << bytesOf(text->font().family());
    } else if (const auto *path = qgraphicsitem_cast<const QGraphicsPathItem *>(item)) {
        const QPainterPath &p = path->path();
        for (int i = 0; i < p.elementCount(); ++i)
            out << p.elementAt(i).x << ',' << p.elementAt(i).y << ' ';
    }
    return out.str();
}

std::vector<std::string> describeAll(const QGraphicsScene &scene)
{
    std::vector<std::string> out;
    for (const QGraphicsItem *item : scene.items(Qt::AscendingOrder))
        out.push_back(describe(item));
    return out;
}

TEST(TreeDrawing, ItemsFollowTheLayoutInDrawingOrder)
{
    auto root = buildPhraseTree(sample(), "And God said");
    ASSERT_TRUE(root);
    QGraphicsScene scene;
    const TreeLayout layout = drawTreeInScene(scene, *root, 711, 1051.0);

    // Stacking order is insertion order, which is the layout's order.
    const QList<QGraphicsItem *> items = scene.items(Qt::AscendingOrder);
    ASSERT_EQ(static_cast<std::size_t>(items.size()), layout.items().size());
    ASSERT_GT(items.size(), 10);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QGraphicsItem *item = items[i];
        const TreeLayout::Item &entry = layout.items()[static_cast<std::size_t>(i)];
        if (const auto *label = std::get_if<TreeLayout::Label>(&entry)) {
            ASSERT_EQ(item->type(), 8);
            const auto *text = static_cast<const QGraphicsTextItem *>(item);
            EXPECT_EQ(bytesOf(labelText(*text)), label->node->label());
            EXPECT_EQ(text->pos(), QPointF(label->x, label->y));
            EXPECT_EQ(text->font().pixelSize(), static_cast<int>(label->pixelSize));
            EXPECT_EQ(text->font().family(), QStringLiteral("Helvetica"));
            EXPECT_FALSE(text->font().italic());
            // The layout was measured on this very item.
            EXPECT_EQ(text->boundingRect().size(), QSizeF(label->size.width, label->size.height));
        } else {
            ASSERT_EQ(item->type(), QGraphicsPathItem::Type);
            const auto *path = static_cast<const QGraphicsPathItem *>(item);
            const auto &curve = std::get<TreeLayout::Curve>(entry);
            EXPECT_EQ(path->pen().color(), QColor(255, 153, 0, 255));
            EXPECT_EQ(path->pen().width(), 1);
            EXPECT_EQ(path->pen().style(), Qt::SolidLine);
            EXPECT_EQ(path->brush().style(), Qt::NoBrush);
            EXPECT_EQ(path->brush().color(), QColor(0, 0, 0, 255));
            const QPainterPath &p = path->path();
            ASSERT_EQ(p.elementCount(), 4);
            EXPECT_EQ(QPointF(p.elementAt(0)), QPointF(curve.start.x, curve.start.y));
            EXPECT_EQ(QPointF(p.elementAt(1)), QPointF(curve.control1.x, curve.control1.y));
            EXPECT_EQ(QPointF(p.elementAt(2)), QPointF(curve.control2.x, curve.control2.y));
            EXPECT_EQ(QPointF(p.elementAt(3)), QPointF(curve.end.x, curve.end.y));
        }
    }
}

TEST(TreeDrawing, RootOfSizeZeroKeepsTheDefaultFontSizeQuietly)
{
    // A child of size 0 (a fallback slot in an empty band) keeps the size of
    // the label drawn before it, as the font ignores a size of 0.
    PhraseNode root(std::string("rare"));
    root.setWeight(0.0001f);
    auto child = std::make_unique<PhraseNode>(std::string("next"));
    child->setWeight(0.0001f);
    root.appendChild(std::move(child));

    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &message) { warnings.append(message); });
    QGraphicsScene scene;
    drawTreeInScene(scene, root, 711, 1051.0);
    qInstallMessageHandler(previous);

    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
    const QList<QGraphicsItem *> items = scene.items(Qt::AscendingOrder);
    ASSERT_EQ(items.size(), 3);
    QFont expected;
    expected.setFamily(QStringLiteral("Helvetica"));
    const auto *rootItem = static_cast<const QGraphicsTextItem *>(items[0]);
    EXPECT_EQ(rootItem->font().pixelSize(), expected.pixelSize());
    EXPECT_EQ(rootItem->font().pointSizeF(), expected.pointSizeF());
    // The only child takes the whole band: 711 pixels.
    EXPECT_EQ(static_cast<const QGraphicsTextItem *>(items[1])->font().pixelSize(), 711);
}

TEST(TreeDrawing, RightEdgeCutDrawsTheVisibleItemsUnchanged)
{
    int fewer = 0;
    for (const char *phrase : {"And", "the", "God", "And he said"}) {
        auto root = buildPhraseTree(sample(), phrase);
        ASSERT_TRUE(root) << phrase;
        for (double width : {1051.0, 400.0}) {
            QGraphicsScene whole;
            drawTreeInScene(whole, *root, 711, TreeLayout::unbounded);
            QGraphicsScene cut;
            drawTreeInScene(cut, *root, 711, width);

            std::vector<std::string> visible;
            for (const QGraphicsItem *item : whole.items(Qt::AscendingOrder)) {
                bool seen = item->pos().x() < width;
                if (const auto *path = qgraphicsitem_cast<const QGraphicsPathItem *>(item))
                    seen = path->path().elementAt(0).x < width || path->path().elementAt(3).x < width;
                if (seen)
                    visible.push_back(describe(item));
            }
            EXPECT_EQ(describeAll(cut), visible) << phrase << " at width " << width;
            fewer += cut.items().size() < whole.items().size();
        }
    }
    EXPECT_GE(fewer, 4);  // the edge does cut something off
}

QImage renderCanvas(QGraphicsScene &scene, QSize canvas)
{
    QImage image(canvas, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area(QPointF(0, 0), QSizeF(canvas));
    scene.render(&painter, area, area);
    return image;
}

TEST(TreeDrawing, LongLabelsPastTheEdgeHoldOnlyWhatCanBeSeen)
{
    // Two continuations of "x" run on for thousands of words each, and the
    // root of "a0" takes in its whole run.
    std::string text;
    for (const char *branch : {"a", "b"}) {
        text += "x ";
        for (int i = 0; i < 3000; ++i)
            text += branch + std::to_string(i) + ' ';
        text += ". ";
    }
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const QSize canvas(1051, 711);
    for (const char *phrase : {"x", "a0"}) {
        std::unique_ptr<PhraseNode> root = buildPhraseTree(corpus, phrase);
        ASSERT_TRUE(root);
        QGraphicsScene whole;
        drawTreeInScene(whole, *root, canvas.height(), TreeLayout::unbounded);
        QGraphicsScene cut;
        drawTreeInScene(cut, *root, canvas.height(), canvas.width(), true);
        QGraphicsScene uncut;
        drawTreeInScene(uncut, *root, canvas.height(), canvas.width());

        EXPECT_EQ(describeAll(cut), describeAll(whole)) << phrase;
        for (const QGraphicsItem *item : uncut.items()) {
            if (item->type() != 8)
                continue;
            const auto *label = static_cast<const QGraphicsTextItem *>(item);
            EXPECT_EQ(label->toPlainText(), labelText(*label));
        }
        int shortened = 0;
        for (const QGraphicsItem *item : cut.items()) {
            if (item->type() != 8)
                continue;
            const auto *label = static_cast<const QGraphicsTextItem *>(item);
            EXPECT_TRUE(labelText(*label).startsWith(label->toPlainText()));
            if (label->toPlainText().size() < labelText(*label).size()) {
                ++shortened;
                EXPECT_LT(label->toPlainText().size(), 2000);
                EXPECT_GT(labelText(*label).size(), 10000);
            }
        }
        EXPECT_GE(shortened, 1) << phrase;
        EXPECT_EQ(renderCanvas(cut, canvas), renderCanvas(whole, canvas)) << phrase;

        // Detached, the cut items keep their whole labels after the tree is gone.
        const std::vector<std::string> labels = describeAll(cut);
        detachLabels(cut);
        root.reset();
        EXPECT_EQ(describeAll(cut), labels) << phrase;
        for (const QGraphicsItem *item : cut.items())
            EXPECT_FALSE(item->data(labelNodeKey).isValid()) << phrase;
    }
}

TEST(TreeDrawing, LabelsOfAnyBytesAreCutAndDrawnAsWhole)
{
    // The root's label is the search text as typed, then the run it takes
    // in: a Latin-1 letter, a tab or a control byte in it cuts as well.
    std::string text = "x";
    for (int i = 0; i < 3000; ++i)
        text += " a" + std::to_string(i);
    text += " .";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    for (const char *phrase : {"x a0", "x\xe9" "a0", "x\ta0", "x a0\x7f"}) {
        auto root = buildPhraseTree(corpus, phrase);
        ASSERT_TRUE(root) << phrase;
        ASSERT_GT(root->label().size(), 10000u);
        QGraphicsScene scene;
        drawTreeInScene(scene, *root, 711, 1051.0, true);
        const QList<QGraphicsItem *> items = scene.items(Qt::AscendingOrder);
        ASSERT_EQ(items.size(), 1);
        const auto *label = static_cast<const QGraphicsTextItem *>(items.front());
        EXPECT_EQ(bytesOf(labelText(*label)), root->label()) << phrase;
        EXPECT_TRUE(labelText(*label).startsWith(label->toPlainText())) << phrase;
        EXPECT_LT(label->toPlainText().size(), 500) << phrase;
        EXPECT_TRUE(label->data(labelNodeKey).isValid()) << phrase;
        QGraphicsScene whole;
        drawTreeInScene(whole, *root, 711, 1051.0);
        EXPECT_EQ(renderCanvas(scene, QSize(1051, 711)), renderCanvas(whole, QSize(1051, 711))) << phrase;
    }
}

// "x" once after and before long runs of accented words, the runs ending
// (or, before "x", starting) far out of sight with `far`.
std::string runsAround(const char *far)
{
    std::string out;
    for (const char *side : {"a", "b"}) {
        out += std::string(far) + " ";
        for (int i = 0; i < 2000; ++i)
            out += std::string("caf\xc3\xa9") + side + std::to_string(i) + ' ';
        out += std::string("x ") + side + ' ';
        for (int i = 0; i < 2000; ++i)
            out += std::string("na\xc3\xafve") + side + std::to_string(i) + ' ';
        out += std::string(far) + " . ";
    }
    return out;
}

TEST(TreePicture, LongUnicodeLabelsHoldWhatIsSeenInEveryDirection)
{
    // A character out of sight, whether the canvas's font has it or a
    // taller fallback font draws it (Chinese, Thai), changes nothing drawn.
    const QSize canvas(1051, 711);
    const CorpusOptions unicode{.words = WordRules::Unicode, .foldCase = false};
    std::vector<std::string> pictures[3];
    for (const char *far : {"z", "\xe4\xb8\xad", "\xe0\xb8\x81"}) {
        const std::string text = runsAround(far);
        const std::string_view documents[] = {text};
        const Corpus corpus(documents, unicode, true);
        const auto after = searchPhrase(corpus, "x", TreeDirection::Forward).root;
        const auto before = searchPhrase(corpus, "x", TreeDirection::Backward).root;
        ASSERT_TRUE(after && before);
        const TreeSides sides[] = {{after.get(), nullptr}, {nullptr, before.get()}, {after.get(), before.get()}};
        for (int i = 0; i < 3; ++i) {
            const TreePicture picture(drawingRequest(sides[i], canvas, LabelEncoding::Utf8));
            int cut = 0;
            for (const QGraphicsItem *item : picture.scene().items()) {
                const auto *label = qgraphicsitem_cast<const LabelItem *>(item);
                if (label == nullptr || !label->data(labelNodeKey).isValid())
                    continue;
                ++cut;
                EXPECT_LT(label->text().size(), 1000) << i;
                const auto *node = label->data(labelNodeKey).value<const PhraseNode *>();
                EXPECT_GT(node->label().size(), 20000u) << i;
            }
            EXPECT_GE(cut, 2) << i;
            const std::string listing = picture.listing();
            EXPECT_LT(listing.size(), 20000u) << i;
            QByteArray png;
            QBuffer buffer(&png);
            picture.image().save(&buffer, "PNG");
            // The same labels, lines and pixels with any far character.
            pictures[i].push_back(listing + png.toStdString());
            EXPECT_EQ(pictures[i].front(), pictures[i].back()) << i << " " << far;
        }
    }
}

TEST(TreeDrawing, TheMiddleLabelJoinsBothRootsWhateverTheirSpelling)
{
    // Folded, the forward root of "x" takes in "The" of one text and
    // "cat sat ." of the other: its label is one literal text, spelled level
    // by level. The middle label is the backward root's, then all that.
    const std::string_view texts[][2] = {{"x The", "x the cat sat ."}, {"A x The", "a x the cat sat ."},
                                         {"x The", "x the"}};
    const char *const middles[] = {"x The cat sat .", "a x The cat sat .", "x The"};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const Corpus corpus(texts[i], {.words = WordRules::Bytes, .foldCase = true}, true);
        const auto after = searchPhrase(corpus, "x", TreeDirection::Forward).root;
        const auto before = searchPhrase(corpus, "x", TreeDirection::Backward).root;
        ASSERT_TRUE(after && before) << i;
        QGraphicsScene scene;
        const TreeLayout layout =
            drawTreesInScene(scene, drawingRequest(TreeSides{after.get(), before.get()}, QSize(1051, 711)));
        EXPECT_EQ(std::get<TreeLayout::Label>(layout.items().front()).node->label(), middles[i]) << i;
    }
}

TEST(TreePicture, ListingImageAndSvg)
{
    auto root = buildPhraseTree(sample(), "And God said");
    ASSERT_TRUE(root);
    const TreePicture picture(*root, QSize(1051, 711));

    // The listing: one line per label, the same as the items, numbers exact.
    std::istringstream listing(picture.listing());
    int lines = 0;
    for (const QGraphicsItem *item : picture.scene().items(Qt::AscendingOrder)) {
        if (item->type() != 8)
            continue;
        const auto *text = static_cast<const QGraphicsTextItem *>(item);
        int size = 0;
        double x = 0;
        double y = 0;
        std::string label;
        listing >> size >> x >> y;
        ASSERT_EQ(listing.get(), '\t');
        std::getline(listing, label);
        EXPECT_EQ(size, text->font().pixelSize());
        EXPECT_EQ(QPointF(x, y), item->pos());
        // What the item holds: its whole label, or the part of it that is drawn.
        EXPECT_EQ(label, bytesOf(text->toPlainText()));
        EXPECT_TRUE(labelText(*text).startsWith(text->toPlainText()));
        ++lines;
    }
    EXPECT_GT(lines, 3);
    EXPECT_EQ(listing.peek(), EOF);
    EXPECT_EQ(picture.listing().find("\tAnd God said\n"), picture.listing().find('\t'));

    const QImage image = picture.image();
    EXPECT_EQ(image.size(), QSize(1051, 711));
    EXPECT_EQ(image.pixelColor(1050, 0), QColor(Qt::white));
    int orange = 0;
    int dark = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            orange += c == QColor(255, 153, 0);
            dark += c.lightness() < 60;
        }
    }
    EXPECT_GT(orange, 20);
    EXPECT_GT(dark, 100);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString svgPath = dir.filePath(QStringLiteral("tree.svg"));
    ASSERT_TRUE(picture.writeSvg(svgPath));
    std::ifstream in(svgPath.toStdString());
    const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("#ff9900"), std::string::npos);
    EXPECT_FALSE(picture.writeSvg(dir.filePath(QStringLiteral("missing/tree.svg"))));
}

} // namespace

namespace {

TEST(TreePicture, ChineseAndThaiLabelsAreDrawnWithRealGlyphs)
{
    // Segmented words of scripts written without blanks: each label is
    // drawn with a width, in ink, by a font that has its characters (glyph
    // 0 is a missing character's box).
    const std::string text = "\xe6\x88\x91\xe5\x96\x9c\xe6\xac\xa2\xe5\x90\x83\xe8\x8b\xb9\xe6\x9e\x9c\xe3\x80\x82"
                             "\xe6\x88\x91\xe5\x96\x9c\xe6\xac\xa2\xe5\xad\xa6\xe6\xa0\xa1\xe3\x80\x82\n"
                             "\xe0\xb8\x9c\xe0\xb8\xa1\xe0\xb8\x8a\xe0\xb8\xad\xe0\xb8\x9a\xe0\xb8\x81\xe0\xb8\xb4\xe0\xb8\x99"
                             "\xe0\xb8\x82\xe0\xb9\x89\xe0\xb8\xb2\xe0\xb8\xa7\n";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()), {WordRules::Segmented, false});
    for (const char *phrase : {"\xe6\x88\x91", "\xe0\xb8\x9c\xe0\xb8\xa1"}) {
        const auto root = searchPhrase(corpus, phrase, TreeDirection::Forward).root;
        ASSERT_TRUE(root) << phrase;
        const TreePicture picture(drawingRequest(TreeSides{root.get(), nullptr}, QSize(1051, 711), LabelEncoding::Utf8));
        const QImage image = picture.image();
        int labels = 0;
        for (const QGraphicsItem *item : picture.scene().items()) {
            const auto *label = qgraphicsitem_cast<const LabelItem *>(item);
            if (label == nullptr)
                continue;
            ++labels;
            const QRectF box = label->sceneBoundingRect();
            EXPECT_GT(box.width(), 0) << phrase;
            int ink = 0;
            const QRect inside = box.toRect().intersected(image.rect());
            for (int y = inside.top(); y <= inside.bottom(); y += 2) {
                for (int x = inside.left(); x <= inside.right(); x += 2)
                    ink += qGray(image.pixel(x, y)) < 128;
            }
            EXPECT_GT(ink, 0) << label->text().toStdString();
            QTextLayout layout(label->text(), label->font());
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            for (const QGlyphRun &run : layout.glyphRuns()) {
                for (const quint32 glyph : run.glyphIndexes())
                    EXPECT_NE(glyph, 0u) << label->text().toStdString() << " in " << run.rawFont().familyName().toStdString();
            }
        }
        EXPECT_GE(labels, 1) << phrase;
    }
}

}  // namespace

TEST(LabelItem, MeasuresAndPaintsAsATextItemDoes)
{
    // Scripts with and without fallback fonts, both directions, tabs,
    // marks, controls, blanks at either end, nothing at all.
    const QString texts[] = {
        QStringLiteral("the LORD"), QStringLiteral(" spaced  out "), QStringLiteral("a\tb\t\tc"), QString(),
        QString::fromUtf8("caf\u00e9 \u00dcber na\u00efve"), QString::fromUtf8("\u6211\u4eec\u7684"),
        QString::fromUtf8("\u0e20\u0e32\u0e29\u0e32\u0e44\u0e17\u0e22"),
        QString::fromUtf8("\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645"),
        QString::fromUtf8("mixed \u05d0\u05d1 and \u0639\u0631\u0628\u064a"), QString::fromUtf8("e\u0301\u0302 zw\u200bj"),
        QString::fromLatin1("ctl\x01\x7f\x9f\xad\xa0" "end"), QString::fromUtf8("\U0001F600 v\u000bt f\u000cf")};
    QFont font;
    font.setItalic(false);
    font.setFamily(QStringLiteral("Helvetica"));
    for (const int size : {4, 11, 23, 77, 150}) {
        font.setPixelSize(size);
        for (const QString &text : texts) {
            ASSERT_TRUE(LabelItem::canHold(text));
            QGraphicsTextItem reference;
            reference.setFont(font);
            reference.setPlainText(text);
            LabelItem item(text, font);
            ASSERT_EQ(item.boundingRect(), reference.boundingRect()) << size << " " << text.toStdString();
            QImage expected(reference.boundingRect().size().toSize() + QSize(2, 2), QImage::Format_RGB32);
            expected.fill(Qt::white);
            QImage drawn = expected;
            QStyleOptionGraphicsItem option;
            option.exposedRect = reference.boundingRect();
            {
                QPainter painter(&expected);
                reference.paint(&painter, &option, nullptr);
            }
            {
                QPainter painter(&drawn);
                item.paint(&painter, &option, nullptr);
            }
            EXPECT_EQ(drawn, expected) << size << " " << text.toStdString();
        }
    }
    // What a text document breaks into lines or blocks stays with text items.
    for (const char16_t breaking : {u'\n', u'\r', u'\u2028', u'\u2029', u'\ufdd0', u'\ufdd1'})
        EXPECT_FALSE(LabelItem::canHold(QStringLiteral("a") + QChar(breaking) + QStringLiteral("b")));
}
