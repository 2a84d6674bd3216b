#include "Morvanet.h"

#include "Corpus.h"
#include "DrawManager.h"
#include "TextFileLoader.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <memory>
#include <string>

namespace {

// One byte per character: Latin-1 characters as they are, every other
// character, including one written with a surrogate pair, as a single "?".
std::string toLatin1Bytes(const QString &text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const char32_t c : text.toUcs4())
        bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    return bytes;
}

}  // namespace

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
    form_.graphicsView->showPhrase(toLatin1Bytes(form_.SearchTerm->text()));
}

void Morvanet::back()
{
    form_.graphicsView->stepBack();
}

void Morvanet::forward()
{
    form_.graphicsView->stepForward();
}
