#include "MainWindowForm.h"

#include "DrawManager.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QWidget>

namespace {

QFrame *makeFrame(QWidget *parent, const char *name, QRect rect, QFrame::Shape shape, QFrame::Shadow shadow)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setGeometry(rect);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    return frame;
}

template <typename Widget>
Widget *makeWidget(QWidget *parent, const char *name, QRect rect)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(rect);
    return widget;
}

}  // namespace

void MainWindowForm::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MorvanetClass"));
    window->resize(1400, 778);

    ActionOpenFile = new QAction(window);
    ActionOpenFile->setObjectName(QStringLiteral("ActionOpenFile"));

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));

    // The right panel: phrase, Search, and the row with Previous and Next.
    frame = makeFrame(centralWidget, "frame", QRect(1080, 10, 311, 711), QFrame::StyledPanel, QFrame::Raised);
    StartSearch = makeWidget<QPushButton>(frame, "StartSearch", QRect(10, 50, 291, 23));
    St = makeFrame(frame, "St", QRect(10, 80, 291, 20), QFrame::HLine, QFrame::Sunken);
    SearchTerm = makeWidget<QLineEdit>(frame, "SearchTerm", QRect(10, 10, 291, 31));
    backButton = makeWidget<QPushButton>(frame, "backButton", QRect(10, 100, 75, 23));
    forwardButton = makeWidget<QPushButton>(frame, "forwardButton", QRect(230, 100, 71, 23));

    // The left panel, which the canvas fills exactly.
    frame_2 = makeFrame(centralWidget, "frame_2", QRect(10, 10, 1051, 711), QFrame::StyledPanel, QFrame::Raised);
    graphicsView = makeWidget<DrawManager>(frame_2, "graphicsView", QRect(0, 0, 1051, 711));

    line = makeFrame(centralWidget, "line", QRect(1060, 10, 20, 711), QFrame::VLine, QFrame::Sunken);

    window->setCentralWidget(centralWidget);

    // The window places its menu bar itself once it is installed.
    Menu = makeWidget<QMenuBar>(window, "Menu", QRect(0, 0, 1400, 21));
    MenuFile = new QMenu(Menu);
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    window->setMenuBar(Menu);

    mainToolBar = new QToolBar(window);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);

    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);

    Menu->addAction(MenuFile->menuAction());
    MenuFile->addAction(ActionOpenFile);

    retranslateUi(window);

    // No slot of the window follows the automatic naming pattern, so this
    // connects nothing; the window makes its own connections afterwards.
    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateUi(QMainWindow *window)
{
    window->setWindowTitle(QCoreApplication::translate("MorvanetClass", "Morvanet"));
    ActionOpenFile->setText(QCoreApplication::translate("MorvanetClass", "Open File"));
    StartSearch->setText(QCoreApplication::translate("MorvanetClass", "Search"));
    backButton->setText(QCoreApplication::translate("MorvanetClass", "Previous"));
    forwardButton->setText(QCoreApplication::translate("MorvanetClass", "Next"));
    MenuFile->setTitle(QCoreApplication::translate("MorvanetClass", "File"));
}
