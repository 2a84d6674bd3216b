// LinesPane: the lines dock's content: the concordance table, its order, its count, and the line the user opens.
#pragma once

#include "ConcordanceLine.h"

#include <QWidget>

#include <optional>

class ConcordanceModel;
class QComboBox;
class QLabel;
class QModelIndex;
class QTableView;
class QToolButton;

// A table on a ConcordanceModel (which the pane owns): rows of one height,
// the left context right-aligned and cut at its left, the phrase centred
// in bold, the right context cut at its right, as concordances are read. Above it
// a choice of order (text order, left word, right word) and the count
// ("1,234 lines", or "56 of 1,234 lines through “label”", with Show All
// beside it). Double-click or Return on a row activates its line. A row's
// tooltip is its line; for an annotated corpus, with every layer of the
// token under the pointer.
class LinesPane : public QWidget {
    Q_OBJECT

public:
    explicit LinesPane(QWidget *parent = nullptr);

    ConcordanceModel *model() const { return model_; }
    QTableView *view() const { return view_; }
    QComboBox *orderBox() const { return order_; }
    QLabel *countLabel() const { return count_; }
    QToolButton *showAllButton() const { return showAll_; }

    // The count as shown.
    QString countText() const;

signals:
    // A line was opened (double-click, Return or Enter on its row).
    void lineActivated(const ConcordanceLine &line);
    // Show All widened the rows to every occurrence again.
    void widened();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateCount();
    void fitColumns();
    void activate(const QModelIndex &index);
    // The corpus position of the token drawn at viewport x in `index`'s
    // cell, as the delegate lays the text out; none off the text.
    std::optional<std::uint32_t> tokenUnder(const QModelIndex &index, int x) const;

    ConcordanceModel *model_;
    QTableView *view_;
    QComboBox *order_;
    QLabel *count_;
    QToolButton *showAll_;
};
