// The main window's fixed face: which objects exist, where, under whom, in which order, with which texts.
#include "AppTestSupport.h"

#include "DrawManager.h"
#include "Morvanet.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QTranslator>

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

QString nameOf(const QObject *object)
{
    return object ? object->objectName() : QStringLiteral("<null>");
}

// The children of `parent` that the form named, in the order they were created.
QStringList namedChildren(const QObject *parent)
{
    QStringList names;
    for (const QObject *child : parent->children())
        if (!child->objectName().isEmpty() && !child->objectName().startsWith(QLatin1Char('_'))
            && !child->objectName().startsWith(QLatin1String("qt_")))
            names << child->objectName();
    return names;
}

struct Placed {
    const char *name;
    const char *className;
    const char *parent;
    QRect rect;
};

// Every widget the form places by hand, with its rectangle in its parent.
const std::vector<Placed> placedWidgets = {
    {"frame", "QFrame", "centralWidget", QRect(1080, 10, 311, 711)},
    {"StartSearch", "QPushButton", "frame", QRect(10, 50, 291, 23)},
    {"St", "QFrame", "frame", QRect(10, 80, 291, 20)},
    {"SearchTerm", "QLineEdit", "frame", QRect(10, 10, 291, 31)},
    {"backButton", "QPushButton", "frame", QRect(10, 100, 75, 23)},
    {"forwardButton", "QPushButton", "frame", QRect(230, 100, 71, 23)},
    {"frame_2", "QFrame", "centralWidget", QRect(10, 10, 1051, 711)},
    {"graphicsView", "QGraphicsView", "frame_2", QRect(0, 0, 1051, 711)},
    {"line", "QFrame", "centralWidget", QRect(1060, 10, 20, 711)},
};

std::map<QString, QRect> geometries(const Morvanet &window)
{
    std::map<QString, QRect> out;
    for (const Placed &p : placedWidgets)
        out[QString::fromLatin1(p.name)] = window.findChild<QWidget *>(QString::fromLatin1(p.name))->geometry();
    return out;
}

TEST(MainWindowForm, CreatesEveryObjectWithItsClassParentAndRectangle)
{
    Morvanet window;
    const MainWindowForm &form = window.form();
    EXPECT_EQ(window.objectName(), QStringLiteral("MorvanetClass"));
    EXPECT_EQ(window.size(), QSize(1400, 778));

    for (const Placed &p : placedWidgets) {
        SCOPED_TRACE(p.name);
        const auto *widget = window.findChild<QWidget *>(QString::fromLatin1(p.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(p.className));
        EXPECT_EQ(nameOf(widget->parent()), QString::fromLatin1(p.parent));
        EXPECT_EQ(widget->geometry(), p.rect);
    }
    EXPECT_NE(dynamic_cast<DrawManager *>(form.graphicsView), nullptr);

    // The form's pointers are the objects that carry their names.
    EXPECT_EQ(nameOf(form.ActionOpenFile), "ActionOpenFile");
    EXPECT_EQ(nameOf(form.centralWidget), "centralWidget");
    EXPECT_EQ(nameOf(form.frame), "frame");
    EXPECT_EQ(nameOf(form.StartSearch), "StartSearch");
    EXPECT_EQ(nameOf(form.St), "St");
    EXPECT_EQ(nameOf(form.SearchTerm), "SearchTerm");
    EXPECT_EQ(nameOf(form.backButton), "backButton");
    EXPECT_EQ(nameOf(form.forwardButton), "forwardButton");
    EXPECT_EQ(nameOf(form.frame_2), "frame_2");
    EXPECT_EQ(nameOf(form.graphicsView), "graphicsView");
    EXPECT_EQ(nameOf(form.line), "line");
    EXPECT_EQ(nameOf(form.Menu), "Menu");
    EXPECT_EQ(nameOf(form.MenuFile), "MenuFile");
    EXPECT_EQ(nameOf(form.mainToolBar), "mainToolBar");
    EXPECT_EQ(nameOf(form.statusBar), "statusBar");

    // The window's own parts, installed where the window keeps them.
    EXPECT_EQ(form.ActionOpenFile->parent(), &window);
    EXPECT_EQ(window.centralWidget(), form.centralWidget);
    EXPECT_EQ(window.menuBar(), form.Menu);
    EXPECT_EQ(form.MenuFile->parent(), form.Menu);
    EXPECT_EQ(window.statusBar(), form.statusBar);
    EXPECT_EQ(form.mainToolBar->parent(), &window);
    EXPECT_EQ(window.toolBarArea(form.mainToolBar), Qt::TopToolBarArea);

    // Creation order shows in each parent's list of children.
    EXPECT_EQ(namedChildren(form.frame),
              (QStringList{"StartSearch", "St", "SearchTerm", "backButton", "forwardButton"}));
    EXPECT_EQ(namedChildren(form.centralWidget), (QStringList{"frame", "frame_2", "line"}));
    EXPECT_EQ(namedChildren(&window),
              (QStringList{"ActionOpenFile", "centralWidget", "Menu", "mainToolBar", "statusBar"}));
}

TEST(MainWindowForm, FramesHaveTheirShapesAndShadows)
{
    Morvanet window;
    const MainWindowForm &form = window.form();
    EXPECT_EQ(form.frame->frameShape(), QFrame::StyledPanel);
    EXPECT_EQ(form.frame->frameShadow(), QFrame::Raised);
    EXPECT_EQ(form.frame_2->frameShape(), QFrame::StyledPanel);
    EXPECT_EQ(form.frame_2->frameShadow(), QFrame::Raised);
    EXPECT_EQ(form.St->frameShape(), QFrame::HLine);
    EXPECT_EQ(form.St->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form.line->frameShape(), QFrame::VLine);
    EXPECT_EQ(form.line->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form.frame->windowType(), Qt::Widget);
    EXPECT_EQ(form.centralWidget->windowType(), Qt::Widget);
}

TEST(MainWindowForm, ShowsItsTextsAndNothingElse)
{
    Morvanet window;
    const MainWindowForm &form = window.form();
    EXPECT_EQ(window.windowTitle(), "Morvanet");
    EXPECT_EQ(form.ActionOpenFile->text(), "Open File");
    EXPECT_EQ(form.StartSearch->text(), "Search");
    EXPECT_EQ(form.backButton->text(), "Previous");
    EXPECT_EQ(form.forwardButton->text(), "Next");
    EXPECT_EQ(form.MenuFile->title(), "File");
    EXPECT_TRUE(form.SearchTerm->text().isEmpty());
    EXPECT_TRUE(form.SearchTerm->placeholderText().isEmpty());
    EXPECT_TRUE(form.statusBar->currentMessage().isEmpty());

    // The menu bar holds the File menu, which holds exactly Open File; the tool bar holds nothing.
    ASSERT_EQ(form.Menu->actions().size(), 1);
    EXPECT_EQ(form.Menu->actions().front(), form.MenuFile->menuAction());
    ASSERT_EQ(form.MenuFile->actions().size(), 1);
    EXPECT_EQ(form.MenuFile->actions().front(), form.ActionOpenFile);
    EXPECT_TRUE(form.mainToolBar->actions().isEmpty());
    EXPECT_TRUE(form.ActionOpenFile->shortcut().isEmpty());
}

// Marks every text it translates in the window's context, and only there.
class MarkingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (QByteArray(context) != "MorvanetClass")
            return QString();
        return QLatin1Char('<') + QString::fromLatin1(source) + QLatin1Char('>');
    }
};

TEST(MainWindowForm, TextsGoThroughTheTranslatorInTheWindowsContext)
{
    MarkingTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    {
        Morvanet window;
        const MainWindowForm &form = window.form();
        EXPECT_EQ(window.windowTitle(), "<Morvanet>");
        EXPECT_EQ(form.ActionOpenFile->text(), "<Open File>");
        EXPECT_EQ(form.StartSearch->text(), "<Search>");
        EXPECT_EQ(form.backButton->text(), "<Previous>");
        EXPECT_EQ(form.forwardButton->text(), "<Next>");
        EXPECT_EQ(form.MenuFile->title(), "<File>");
    }
    QCoreApplication::removeTranslator(&translator);
}

TEST(MainWindowForm, KeepsAWindowNameGivenBeforeSetup)
{
    QMainWindow window;
    window.setObjectName(QStringLiteral("mine"));
    MainWindowForm form;
    form.setupUi(&window);
    EXPECT_EQ(window.objectName(), "mine");
}

TEST(MainWindowForm, ResizingTheWindowMovesNothing)
{
    Morvanet window;
    window.show();
    QCoreApplication::processEvents();
    const auto before = geometries(window);
    for (const QSize size : {QSize(640, 400), QSize(1900, 1100), QSize(1400, 778)}) {
        window.resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(geometries(window), before) << size.width() << "x" << size.height();
    }
}

}  // namespace
