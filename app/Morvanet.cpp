#include "Morvanet.h"

#include "Corpus.h"
#include "DrawManager.h"
#include "LabelEncoding.h"
#include "ViewerTextFile.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <memory>
#include <string>

Morvanet::Morvanet(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    form_.setupUi(this);
    // The buttons act on release, as the toolkit reports it, not on click.
    connect(form_.ActionOpenFile, &QAction::triggered, this, &Morvanet::loadFile);
    connect(form_.StartSearch, &QPushButton::released, this, &Morvanet::search);
    connect(form_.backButton, &QPushButton::released, this, &Morvanet::back);
    connect(form_.forwardButton, &QPushButton::released, this, &Morvanet::forward);
}

Morvanet::~Morvanet() = default;

void Morvanet::loadFile()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setViewMode(QFileDialog::Detail);
    QString path;
    if (dialog.exec() == QDialog::Accepted)
        path = dialog.selectedFiles().value(0);

    // An empty path (cancelled), a FIFO, a socket, a directory or an
    // unreadable file gives nothing, and then nothing changes.
    const std::optional<std::string> bytes = loadTextFile(path);
    if (!bytes)
        return;
    form_.graphicsView->setCorpus(
        std::make_unique<Corpus>(bytes->data(), static_cast<std::uint32_t>(bytes->size())));
}

void Morvanet::search()
{
    form_.graphicsView->showPhrase(latin1Bytes(form_.SearchTerm->text()));
}

void Morvanet::back()
{
    form_.graphicsView->stepBack();
}

void Morvanet::forward()
{
    form_.graphicsView->stepForward();
}
