#include "DocumentTable.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr int fixedColumns = 3;  // path, format, tokens

}  // namespace

DocumentTable::DocumentTable(QObject *parent) : QAbstractTableModel(parent) {}

void DocumentTable::setCorpus(std::shared_ptr<const OpenedCorpus> opened, std::shared_ptr<const DocumentSubset> within)
{
    beginResetModel();
    opened_ = std::move(opened);
    rows_.clear();
    fieldNames_.clear();
    if (opened_) {
        if (within) {
            rows_.assign(within->documents().begin(), within->documents().end());
        } else {
            rows_.resize(opened_->documentCount());
            for (std::size_t d = 0; d < rows_.size(); ++d)
                rows_[d] = static_cast<std::uint32_t>(d);
        }
        // Every document's fields name the columns, chosen or not: the
        // columns stay put while the filter changes.
        for (std::size_t d = 0; d < opened_->documentCount(); ++d) {
            for (const auto &field : opened_->fields(d)) {
                if (std::find(fieldNames_.begin(), fieldNames_.end(), field.first) == fieldNames_.end())
                    fieldNames_.push_back(field.first);
            }
        }
    }
    endResetModel();
}

int DocumentTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DocumentTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !opened_ ? 0 : fixedColumns + static_cast<int>(fieldNames_.size());
}

std::string DocumentTable::cell(std::uint32_t document, int column) const
{
    switch (column) {
    case 0:
        return opened_->shownPath(document);
    case 1:
        return opened_->format(document);
    case 2: {
        const Corpus &corpus = opened_->corpus();
        const std::span<const Corpus::Position> boundaries = corpus.boundaries();
        const Corpus::Position end = document < boundaries.size() ? boundaries[document] : corpus.end();
        return std::to_string(end - corpus.documentStart(document));
    }
    default:
        break;
    }
    const std::string &name = fieldNames_[static_cast<std::size_t>(column - fixedColumns)];
    for (const auto &field : opened_->fields(document)) {
        if (field.first == name)
            return field.second;
    }
    return {};
}

QVariant DocumentTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()
        || (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::UserRole
            && role != Qt::TextAlignmentRole))
        return {};
    const std::string text = cell(rows_[static_cast<std::size_t>(index.row())], index.column());
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    const bool numeric = !text.empty() && error == std::errc() && end == text.data() + text.size();
    if (role == Qt::TextAlignmentRole)
        return numeric ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    if (role == Qt::UserRole && numeric)
        return number;
    // A paths or title may hold any bytes: shown as UTF-8, whatever it could not read replaced.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant DocumentTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    static const char *const fixed[] = {"path", "format", "tokens"};
    if (section < fixedColumns)
        return QString::fromLatin1(fixed[section]);
    if (section - fixedColumns < static_cast<int>(fieldNames_.size()))
        return QString::fromStdString(fieldNames_[static_cast<std::size_t>(section - fixedColumns)]);
    return {};
}
