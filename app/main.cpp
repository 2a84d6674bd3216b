// The viewer's entry: one application object, one window, the event loop.
#include "Morvanet.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Arguments belong to the toolkit; a file name among them is not opened.
    QApplication application(argc, argv);
    Morvanet window(nullptr, Qt::WindowFlags());
    window.show();
    return application.exec();
}
