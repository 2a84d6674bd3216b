// TextPane: one document's text around a line of the concordance, the occurrence highlighted.
#pragma once

#include "ConcordanceLine.h"
#include "OpenedCorpus.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPlainTextEdit;

// Read-only. The text comes from the opened corpus's documents, or, where
// it keeps none in memory (a saved index), from the document's file while
// it is as it was saved (OpenedCorpus::readDocument); otherwise the pane
// shows why not in one line. Only a
// window of lines around the occurrence is shown (a few hundred lines, a
// few hundred kilobytes at most), so a 100 MB document opens as fast as a
// small one; the title tells which lines of which document they are.
class TextPane : public QWidget {
    Q_OBJECT

public:
    // Lines shown before and after the occurrence's line, at most.
    static constexpr int linesAround = 200;

    explicit TextPane(QWidget *parent = nullptr);

    // Shows `line` of `opened` (from a ConcordanceModel of the same corpus):
    // its document's text around the line, scrolled so that the occurrence
    // is in view and selected. False, with the reason shown, when the
    // text cannot be read.
    bool showLine(std::shared_ptr<const OpenedCorpus> opened, const ConcordanceLine &line);
    // Nothing shown.
    void clear();

    QPlainTextEdit *editor() const { return editor_; }
    QLabel *titleLabel() const { return title_; }
    // The occurrence's text as highlighted, empty when none is.
    QString highlighted() const;
    // The first line shown, counted from 1 in the document.
    std::uint64_t firstLineShown() const { return firstLine_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showReason(const QString &reason);
    void centre();

    std::shared_ptr<const OpenedCorpus> opened_;
    QLabel *title_;
    QPlainTextEdit *editor_;
    std::uint64_t firstLine_ = 0;
    bool centrePending_ = false;
};
