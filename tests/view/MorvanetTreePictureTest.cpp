// The morvanet-tree command's drawing options, run as a process without a display.
#include "Corpus.h"
#include "PhraseSearch.h"
#include "TreePicture.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

const char sample[] = MORVANET_SOURCE_DIR "/samples/genesis.txt";

struct Result {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool with no platform chosen and no display, as on a server.
Result runTool(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORVANET_TREE_TOOL), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

std::string listingInProcess(const char *phrase, QSize canvas)
{
    std::ifstream in(sample, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Corpus corpus(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    const auto root = buildPhraseTree(corpus, phrase);
    return root ? TreePicture(*root, canvas).listing() : std::string();
}

TEST(MorvanetTreePicture, LayoutListsTheLabelsAsTheCanvasDrawsThem)
{
    const Result standard = runTool({QStringLiteral("--layout"), QString::fromLatin1(sample), QStringLiteral("And")});
    ASSERT_EQ(standard.status, 0) << standard.err.toStdString();
    EXPECT_EQ(standard.out.toStdString(), listingInProcess("And", QSize(1051, 711)));
    EXPECT_TRUE(standard.out.startsWith("96 0 307.03869"));

    const Result small = runTool({QStringLiteral("--size"), QStringLiteral("500x300"), QStringLiteral("--layout"),
                                  QString::fromLatin1(sample), QStringLiteral("And")});
    ASSERT_EQ(small.status, 0) << small.err.toStdString();
    EXPECT_EQ(small.out.toStdString(), listingInProcess("And", QSize(500, 300)));
    EXPECT_LT(small.out.count('\n'), standard.out.count('\n'));
}

TEST(MorvanetTreePicture, WritesPngAndSvgPictures)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString png = dir.filePath(QStringLiteral("tree.png"));
    const QString svg = dir.filePath(QStringLiteral("tree.svg"));
    const Result pictures = runTool({QStringLiteral("--png"), png, QStringLiteral("--svg"), svg,
                                     QStringLiteral("--size"), QStringLiteral("640x480"),
                                     QString::fromLatin1(sample), QStringLiteral("And God")});
    ASSERT_EQ(pictures.status, 0) << pictures.err.toStdString();
    EXPECT_TRUE(pictures.out.isEmpty());  // pictures alone print no tree

    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 480));
    EXPECT_EQ(image.pixelColor(639, 479), QColor(Qt::white));
    // Pixel for pixel what the viewer's canvas draws with its text items,
    // drawn on a thread whose fonts are as new as the command's.
    QImage viewer;
    std::unique_ptr<QThread> painter(QThread::create([&viewer] {
        std::ifstream in(sample, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Corpus corpus(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        const auto root = buildPhraseTree(corpus, "And God");
        viewer = TreePicture(*root, QSize(640, 480)).image();
    }));
    painter->start();
    painter->wait();
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), viewer.convertToFormat(QImage::Format_RGB32));
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("viewBox=\"0 0 640 480\"")) << text.left(400).toStdString();
    EXPECT_TRUE(text.contains("#ff9900"));

    // With a format as well, the tree is printed too.
    const Result both = runTool({QStringLiteral("--png"), png, QStringLiteral("--json"),
                                 QString::fromLatin1(sample), QStringLiteral("And God")});
    ASSERT_EQ(both.status, 0);
    EXPECT_TRUE(both.out.startsWith("{\"label\": \"And God\""));
}

TEST(MorvanetTreePicture, WrongSizesAndUnwritablePicturesFail)
{
    for (const char *size : {"10x", "x10", "0x10", "10x-5", "10X10", "40000x10", "1e3x10", "10x10x"}) {
        const Result wrong = runTool({QStringLiteral("--size"), QString::fromLatin1(size), QStringLiteral("--layout"),
                                      QString::fromLatin1(sample), QStringLiteral("And")});
        EXPECT_EQ(wrong.status, 2) << size;
        EXPECT_TRUE(wrong.out.isEmpty()) << size;
    }
    EXPECT_EQ(runTool({QString::fromLatin1(sample), QStringLiteral("And"), QStringLiteral("--png")}).status, 2);

    QTemporaryDir dir;
    for (const char *option : {"--png", "--svg"}) {
        const Result unwritable = runTool({QString::fromLatin1(option), dir.filePath(QStringLiteral("no/such.x")),
                                           QString::fromLatin1(sample), QStringLiteral("And")});
        EXPECT_EQ(unwritable.status, 2) << option;
        EXPECT_TRUE(unwritable.err.contains("cannot write the picture")) << option;
    }
    // A phrase that does not occur draws nothing and says so.
    EXPECT_EQ(runTool({QStringLiteral("--layout"), QString::fromLatin1(sample), QStringLiteral("zebra")}).status, 1);
}

TEST(MorvanetTreePicture, BackwardTreesAreTheForwardLayoutMirrored)
{
    std::ifstream in(sample, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Corpus corpus(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    const auto root = searchPhrase(corpus, "the earth", TreeDirection::Backward).root;
    ASSERT_NE(root, nullptr);
    const QSize canvas(1051, 711);
    const TreePicture forward(*root, canvas);
    const TreePicture mirrored(drawingRequest(TreeSides{nullptr, root.get()}, canvas));
    const auto &a = forward.layout().items();
    const auto &b = mirrored.layout().items();
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 20u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&a[i])) {
            const auto &other = std::get<TreeLayout::Label>(b[i]);
            EXPECT_EQ(other.node, label->node);
            EXPECT_EQ(other.pixelSize, label->pixelSize);
            EXPECT_EQ(other.y, label->y);
            if (label->x + label->size.width < canvas.width()) {  // not cut at the edge
                EXPECT_EQ(other.x + other.size.width, canvas.width() - label->x);
            }
        } else {
            const auto &curve = std::get<TreeLayout::Curve>(a[i]);
            const auto &other = std::get<TreeLayout::Curve>(b[i]);
            EXPECT_EQ(other.start.x, canvas.width() - curve.start.x);
            EXPECT_EQ(other.end.y, curve.end.y);
        }
    }

    // The double tree: one middle label, the backward side to its left, the forward side to its right.
    const auto after = buildPhraseTree(corpus, "the earth");
    const TreePicture both(drawingRequest(TreeSides{after.get(), root.get()}, canvas));
    const auto &labels = both.layout().items();
    const auto &middle = std::get<TreeLayout::Label>(labels.front());
    EXPECT_EQ(middle.node->label(), "the earth");
    EXPECT_NEAR(middle.x + middle.size.width / 2, canvas.width() / 2.0, 1.0);
    std::size_t left = 0, right = 0;
    for (const auto &item : labels) {
        if (const auto *label = std::get_if<TreeLayout::Label>(&item); label && label != &middle) {
            const bool before = label->x + label->size.width <= middle.x;
            EXPECT_TRUE(before || label->x >= middle.x + middle.size.width);
            (before ? left : right) += 1;
        }
    }
    EXPECT_GT(left, 10u);
    EXPECT_GT(right, 10u);
}

} // namespace
