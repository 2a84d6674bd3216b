// DocumentTable: the table model of a corpus's documents: path, format, tokens and every field they have.
#pragma once

#include "DocumentSubset.h"
#include "OpenedCorpus.h"

#include <QAbstractTableModel>

#include <memory>
#include <string>
#include <vector>

// A row per document, in corpus order: all of them, or those a subset
// chose. The columns are "path", "format", "tokens", then every field any
// document has, in the order first met. Cells are made when they are
// shown, so a corpus of many documents costs its fields once. Qt::UserRole
// gives the key to sort by: a number where the cell is one (tokens, a
// year), else the text, so that 900 sorts before 1850.
class DocumentTable : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DocumentTable(QObject *parent = nullptr);

    // Shows the documents of `opened` (null: none) that `within` chose
    // (null: all of them).
    void setCorpus(std::shared_ptr<const OpenedCorpus> opened, std::shared_ptr<const DocumentSubset> within);
    // The document a row stands for.
    std::uint32_t documentAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::string cell(std::uint32_t document, int column) const;

    std::shared_ptr<const OpenedCorpus> opened_;
    std::vector<std::uint32_t> rows_;
    std::vector<std::string> fieldNames_;  // the columns after path, format and tokens
};
