// DocumentsPane: the documents dock's content: a sortable table of the documents with their fields, and the filter that chooses among them.
#pragma once

#include "DocumentSubset.h"
#include "OpenedCorpus.h"

#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class DocumentTable;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

// Above the table, the filter in --where's syntax: conditions FIELD OP VALUE
// separated by ';' ("year>=1850; author=Dickens*"), all of which must
// hold, entered with Return; an empty filter chooses every document. The
// table lists the chosen documents, sorted by a click on a column's header
// (numbers as numbers). Double-click or Return on a row opens its document.
class DocumentsPane : public QWidget {
    Q_OBJECT

public:
    explicit DocumentsPane(QWidget *parent = nullptr);

    // Shows the documents of `opened` that `within` chose (null: all).
    void setCorpus(std::shared_ptr<const OpenedCorpus> opened, std::shared_ptr<const DocumentSubset> within);
    // Sets the filter's text without entering it.
    void setFilterText(const QString &text);
    // Tells in one line, under the filter, why it was not taken (empty: nothing to tell).
    void setProblem(const QString &problem);

    QLineEdit *filterEdit() const { return filter_; }
    QTableView *view() const { return view_; }
    DocumentTable *table() const { return table_; }
    QLabel *problemLabel() const { return problem_; }

    // The conditions of `text`, cut at ';' (blank ones left out).
    static QStringList conditionsOf(const QString &text);
    // The filter's text for `conditions`: joined by "; ".
    static QString textOf(const std::vector<std::string> &conditions);

signals:
    // The filter was entered: the conditions to choose documents by.
    void filterEntered(const QStringList &conditions);
    // A document was opened (its number in the corpus).
    void documentActivated(std::uint32_t document);

private:
    QLineEdit *filter_;
    QLabel *problem_;
    QTableView *view_;
    DocumentTable *table_;
    QSortFilterProxyModel *sorted_;
};
