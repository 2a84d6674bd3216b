// Morvanet: the main window; turns the File menu and the three buttons into calls on the canvas.
#pragma once

#include "MainWindowForm.h"

#include <QMainWindow>

class Morvanet : public QMainWindow {
    Q_OBJECT

public:
    // Builds the form and connects Open File and the buttons to the slots.
    explicit Morvanet(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~Morvanet() override;

    // The widgets of the window, for tests and tools; they belong to the window.
    const MainWindowForm &form() const { return form_; }

protected slots:
    // Asks for one existing file in a modal dialog and installs its text as
    // the corpus, which discards every tree shown so far. A cancelled dialog
    // or a file that cannot be read (also anything but a regular file)
    // changes nothing.
    void loadFile();
    // Shows the tree of the line edit's text, converted to Latin-1 with "?"
    // for every character outside it.
    void search();
    // Steps back to the previous tree.
    void back();
    // Steps forward to the next tree.
    void forward();

private:
    MainWindowForm form_;
};
