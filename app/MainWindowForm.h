// MainWindowForm: the fixed face of the main window: panels, line edit, buttons, menu, tool bar, status bar, canvas.
#pragma once

class DrawManager;
class QAction;
class QFrame;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QToolBar;
class QWidget;

// One pointer per object the form creates, in the order of creation, each
// named after its object. The pointers do not own: every object is a child of
// the window and is deleted with it.
class MainWindowForm {
public:
    QAction *ActionOpenFile = nullptr;
    QWidget *centralWidget = nullptr;
    QFrame *frame = nullptr;
    QPushButton *StartSearch = nullptr;
    QFrame *St = nullptr;
    QLineEdit *SearchTerm = nullptr;
    QPushButton *backButton = nullptr;
    QPushButton *forwardButton = nullptr;
    QFrame *frame_2 = nullptr;
    DrawManager *graphicsView = nullptr;
    QFrame *line = nullptr;
    QMenuBar *Menu = nullptr;
    QMenu *MenuFile = nullptr;
    QToolBar *mainToolBar = nullptr;
    QStatusBar *statusBar = nullptr;

    // Creates every object at its fixed rectangle (no layouts, so nothing
    // moves when the window is resized), installs the central widget, menu
    // bar, tool bar and status bar in `window`, sets the texts and names the
    // window "MorvanetClass" unless it already has a name. Call once.
    void setupUi(QMainWindow *window);
    // Sets every visible text through the translator, context "MorvanetClass".
    void retranslateUi(QMainWindow *window);
};
