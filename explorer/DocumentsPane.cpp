#include "DocumentsPane.h"

#include "DocumentTable.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

DocumentsPane::DocumentsPane(QWidget *parent)
    : QWidget(parent), filter_(new QLineEdit(this)), problem_(new QLabel(this)), view_(new QTableView(this)),
      table_(new DocumentTable(this)), sorted_(new QSortFilterProxyModel(this))
{
    filter_->setObjectName(QStringLiteral("documentFilter"));
    filter_->setPlaceholderText(tr("Filter: year>=1850; author=Dickens*"));
    filter_->setClearButtonEnabled(true);
    filter_->setToolTip(tr("Conditions FIELD OP VALUE, separated by ';', all of which must hold. "
                           "OP is = or != (text; * stands for any run), or <, <=, >, >= (numbers, else text). "
                           "Fields: path, format and those the table shows. Return applies it."));
    problem_->setObjectName(QStringLiteral("documentFilterProblem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00020"));
    problem_->hide();
    sorted_->setSourceModel(table_);
    sorted_->setSortRole(Qt::UserRole);
    view_->setObjectName(QStringLiteral("documentTable"));
    view_->setModel(sorted_);
    view_->setSortingEnabled(true);
    view_->sortByColumn(-1, Qt::AscendingOrder);  // corpus order until a header is clicked
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    // Rows of one line, as compact as the lines pane's; the path names a row, no number needed.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(filter_);
    layout->addWidget(problem_);
    layout->addWidget(view_);

    connect(filter_, &QLineEdit::returnPressed, this, [this] { emit filterEntered(conditionsOf(filter_->text())); });
    const auto activate = [this](const QModelIndex &index) {
        if (index.isValid())
            emit documentActivated(table_->documentAt(sorted_->mapToSource(index).row()));
    };
    connect(view_, &QTableView::activated, this, activate);
}

void DocumentsPane::setCorpus(std::shared_ptr<const OpenedCorpus> opened, std::shared_ptr<const DocumentSubset> within)
{
    table_->setCorpus(std::move(opened), std::move(within));
    // Sized to what shows first; a corpus of many documents measures no more.
    view_->resizeColumnsToContents();
}

void DocumentsPane::setFilterText(const QString &text)
{
    filter_->setText(text);
}

void DocumentsPane::setProblem(const QString &problem)
{
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
}

QStringList DocumentsPane::conditionsOf(const QString &text)
{
    QStringList conditions;
    for (const QString &part : text.split(QLatin1Char(';'))) {
        if (!part.trimmed().isEmpty())
            conditions.append(part.trimmed());
    }
    return conditions;
}

QString DocumentsPane::textOf(const std::vector<std::string> &conditions)
{
    QStringList parts;
    for (const std::string &condition : conditions)
        parts.append(QString::fromStdString(condition));
    return parts.join(QStringLiteral("; "));
}
