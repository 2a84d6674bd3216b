#include "TextPane.h"

#include "ConcordanceModel.h"
#include "DocumentWindow.h"
#include "LabelEncoding.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <optional>
#include <string>
#include <string_view>

TextPane::TextPane(QWidget *parent) : QWidget(parent), title_(new QLabel(this)), editor_(new QPlainTextEdit(this))
{
    editor_->setReadOnly(true);
    editor_->setUndoRedoEnabled(false);
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title_);
    layout->addWidget(editor_, 1);
    editor_->installEventFilter(this);
}

bool TextPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == editor_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        centre();
    return QWidget::eventFilter(watched, event);
}

void TextPane::centre()
{
    if (!centrePending_)
        return;
    editor_->centerCursor();
    // A hidden editor has no height to centre in: wait until it is shown.
    centrePending_ = !editor_->isVisible();
}

void TextPane::clear()
{
    opened_.reset();
    firstLine_ = 0;
    title_->clear();
    editor_->clear();
}

void TextPane::showReason(const QString &reason)
{
    firstLine_ = 0;
    editor_->clear();
    title_->setText(reason);
}

bool TextPane::showLine(std::shared_ptr<const OpenedCorpus> opened, const ConcordanceLine &line)
{
    opened_ = std::move(opened);
    if (!opened_ || line.document >= opened_->documentCount() || line.start >= opened_->corpus().end()) {
        showReason(tr("There is no such line to show."));
        return false;
    }
    const QString name = QFile::decodeName(ConcordanceModel::documentName(*opened_, line.document).c_str());
    std::string_view bytes;
    std::string read;
    if (line.document < opened_->texts().size()) {
        bytes = opened_->texts()[line.document];
    } else {
        // Not kept in memory (a saved index): its file, while it is the text
        // the corpus was made of; a changed one would show other lines.
        std::string why;
        std::optional<std::string> text = opened_->readDocument(line.document, why);
        if (!text) {
            showReason(tr("Cannot show %1: %2").arg(name, QString::fromLocal8Bit(why.c_str())));
            return false;
        }
        read = std::move(*text);
        bytes = read;
    }

    const DocumentWindow window =
        documentWindow(opened_->corpus(), bytes, line.start, line.length, line.line, linesAround);
    const LabelEncoding encoding = labelEncoding(opened_->corpus().options());
    const auto part = [&](std::size_t from, std::size_t to) { return labelString(bytes.substr(from, to - from), encoding); };
    const QString before = part(window.from, window.occurrenceFrom);
    const QString phrase = part(window.occurrenceFrom, window.occurrenceTo);
    editor_->setPlainText(before + phrase + part(window.occurrenceTo, window.to));
    firstLine_ = window.firstLine;
    title_->setText(tr("%1:%2 (lines %3\u2013%4)")
                        .arg(name, QString::number(line.line), QString::number(window.firstLine),
                             QString::number(window.lastLine)));

    // The cursor at the occurrence's start, so that centring shows its line.
    QTextCursor cursor(editor_->document());
    cursor.setPosition(static_cast<int>(before.size() + phrase.size()));
    cursor.setPosition(static_cast<int>(before.size()), QTextCursor::KeepAnchor);
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    mark.format.setBackground(palette().color(QPalette::Highlight).lighter(160));
    mark.format.setFontWeight(QFont::Bold);
    editor_->setExtraSelections({mark});
    editor_->setTextCursor(cursor);
    // Centred again once the editor has its size, if it has none yet.
    centrePending_ = true;
    centre();
    return true;
}

QString TextPane::highlighted() const
{
    const QList<QTextEdit::ExtraSelection> marks = editor_->extraSelections();
    return marks.isEmpty() ? QString() : marks.front().cursor.selectedText();
}
