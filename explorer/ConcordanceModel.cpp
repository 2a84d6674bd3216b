#include "ConcordanceModel.h"

#include "Concordance.h"
#include "ConcordanceOrder.h"

#include <QFile>
#include <QFont>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <charconv>
#include <string_view>
#include <utility>

namespace {

using Position = Corpus::Position;

// The rows as TSV in the corpus's bytes, as morvanet-tree --kwic writes its lines.
bool writeRows(QIODevice &device, const OpenedCorpus &opened, const std::vector<std::string> &paths,
               std::span<const Position> rows, std::uint32_t length, std::uint32_t context)
{
    const Corpus &corpus = opened.corpus();
    std::string out;
    ConcordanceRow row;
    std::size_t hint = 0;  // rows in text order find their lines in one walk
    for (const Position p : rows) {
        makeConcordanceRow(corpus, p, length, context, row);
        out += paths[corpus.documentOf(p)];
        out += ':';
        char number[24];
        out.append(number, std::to_chars(number, number + sizeof number, corpus.lineOf(p, hint)).ptr);
        for (const std::string *part : {&row.before, &row.phrase, &row.after}) {
            out += '\t';
            out += *part;
        }
        out += '\n';
        if (out.size() >= (1u << 16)) {
            if (device.write(out.data(), static_cast<qint64>(out.size())) != static_cast<qint64>(out.size()))
                return false;
            out.clear();
        }
    }
    return device.write(out.data(), static_cast<qint64>(out.size())) == static_cast<qint64>(out.size());
}

}  // namespace

ConcordanceModel::ConcordanceModel(QObject *parent) : QAbstractTableModel(parent) {}

std::string ConcordanceModel::documentName(const OpenedCorpus &opened, std::size_t document)
{
    return opened.shownPath(document);
}

ConcordanceModel::~ConcordanceModel() = default;

void ConcordanceModel::setOccurrences(std::shared_ptr<const OpenedCorpus> opened, std::vector<Corpus::Position> starts,
                                      std::uint32_t length)
{
    beginResetModel();
    if (!opened)
        starts.clear();
    opened_ = std::move(opened);
    all_ = std::move(starts);
    length_ = length;
    narrowed_ = false;
    narrowedStarts_.clear();
    narrowLabel_.clear();
    paths_.clear();
    shownPaths_.clear();
    if (opened_) {
        encoding_ = labelEncoding(opened_->corpus().options());
        for (std::size_t d = 0; d < opened_->documentCount(); ++d) {
            std::string path = documentName(*opened_, d);
            shownPaths_.push_back(QFile::decodeName(path.c_str()));
            // A TAB or line feed in a name would break its line.
            for (char &c : path) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                    c = '?';
            }
            paths_.push_back(std::move(path));
        }
    }
    reorder();
    forgetMadeRows();
    endResetModel();
    emit rowsChanged();
}

void ConcordanceModel::clear()
{
    setOccurrences(nullptr, {}, 0);
}

void ConcordanceModel::narrow(std::vector<Corpus::Position> starts, QString label)
{
    beginResetModel();
    narrowed_ = true;
    narrowedStarts_ = std::move(starts);
    if (!opened_)
        narrowedStarts_.clear();
    narrowLabel_ = std::move(label);
    reorder();
    forgetMadeRows();
    endResetModel();
    emit rowsChanged();
}

void ConcordanceModel::widen()
{
    if (!narrowed_)
        return;
    beginResetModel();
    narrowed_ = false;
    narrowedStarts_.clear();
    narrowedStarts_.shrink_to_fit();
    narrowLabel_.clear();
    reorder();
    forgetMadeRows();
    endResetModel();
    emit rowsChanged();
}

void ConcordanceModel::setContext(std::uint32_t tokens)
{
    if (tokens == context_)
        return;
    context_ = tokens;
    if (order_ != Order::Text) {
        // The rows are ordered by the words they show.
        beginResetModel();
        reorder();
        forgetMadeRows();
        endResetModel();
        return;
    }
    forgetMadeRows();
    if (!rows_.empty())
        emit dataChanged(index(0, LeftColumn), index(rowCount() - 1, RightColumn));
}

void ConcordanceModel::setOrder(Order order)
{
    if (order == order_ && !descending_)
        return;
    beginResetModel();
    order_ = order;
    descending_ = false;
    reorder();
    forgetMadeRows();
    endResetModel();
    emit orderChanged();
}

void ConcordanceModel::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    order_ = column == LeftColumn ? Order::LeftWord : column == RightColumn ? Order::RightWord : Order::Text;
    descending_ = order == Qt::DescendingOrder;
    reorder();
    forgetMadeRows();
    endResetModel();
    emit orderChanged();
}

void ConcordanceModel::reorder()
{
    const std::vector<Position> &shown = narrowed_ ? narrowedStarts_ : all_;
    if (order_ == Order::Text || shown.empty())
        rows_ = shown;
    else
        rows_ = orderByWordsBeside(opened_->corpus(), shown, length_, context_,
                                   order_ == Order::LeftWord ? ConcordanceSide::Left : ConcordanceSide::Right);
    if (descending_)
        std::reverse(rows_.begin(), rows_.end());
}

void ConcordanceModel::forgetMadeRows()
{
    for (MadeRow &made : made_)
        made.row = -1;
}

const ConcordanceModel::MadeRow &ConcordanceModel::madeRow(int row) const
{
    MadeRow &made = made_[static_cast<std::size_t>(row) % made_.size()];
    if (made.row == row)
        return made;
    const Position p = rows_[static_cast<std::size_t>(row)];
    ConcordanceRow text;
    // Shown as the text writes it; the export keeps --kwic's blanks.
    makeConcordanceRow(opened_->corpus(), p, length_, context_, text, RowSpacing::AsWritten);
    made.columns[LocationColumn] = location(row);
    made.columns[LeftColumn] = labelString(text.before, encoding_);
    made.columns[PhraseColumn] = labelString(text.phrase, encoding_);
    made.columns[RightColumn] = labelString(text.after, encoding_);
    made.row = row;
    return made;
}

ConcordanceLine ConcordanceModel::line(int row) const
{
    const Position p = rows_[static_cast<std::size_t>(row)];
    const Corpus &corpus = opened_->corpus();
    return {corpus.documentOf(p), corpus.lineOf(p), p, length_};
}

std::optional<Corpus::Position> ConcordanceModel::tokenAt(int row, int column, qsizetype offset) const
{
    if (row < 0 || row >= rowCount() || offset < 0 || column < LeftColumn || column > RightColumn)
        return std::nullopt;
    // The column's tokens as makeConcordanceRow takes them, spaced as written.
    const Corpus &corpus = opened_->corpus();
    const Position start = rows_[static_cast<std::size_t>(row)];
    const std::uint32_t document = corpus.documentOf(start);
    const Position first = corpus.documentStart(document);
    const Position last = document < corpus.boundaries().size() ? corpus.boundaries()[document] : corpus.end();
    const Position end = start + length_;
    const Position from = column == LeftColumn     ? start - std::min(context_, start - first)
                          : column == PhraseColumn ? start
                                                   : end;
    const Position to = column == LeftColumn     ? start
                        : column == PhraseColumn ? end
                                                 : end + std::min(context_, last - end);
    qsizetype at = 0;
    for (Position p = from; p < to; ++p) {
        if (p > from && corpus.separatedBefore(p)) {
            if (offset == at)
                return std::nullopt;
            ++at;
        }
        at += labelString(corpus.token(p), encoding_).size();
        if (offset < at)
            return p;
    }
    return std::nullopt;
}

QString ConcordanceModel::location(int row) const
{
    const ConcordanceLine at = line(row);
    return shownPaths_[at.document] + QLatin1Char(':') + QString::number(at.line);
}

bool ConcordanceModel::writeTsv(QIODevice &device) const
{
    return !opened_ || writeRows(device, *opened_, paths_, rows_, length_, context_);
}

bool ConcordanceModel::writeTsv(const QString &path, QString *reason) const
{
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && writeTsv(file) && file.commit();
    if (!written && reason != nullptr)
        *reason = file.errorString();
    return written;
}

std::function<bool(QIODevice &)> ConcordanceModel::tsvWriter() const
{
    return [opened = opened_, paths = paths_, rows = rows_, length = length_, context = context_](QIODevice &device) {
        return !opened || writeRows(device, *opened, paths, rows, length, context);
    };
}

int ConcordanceModel::rowCount(const QModelIndex &parent) const
{
    // A view counts rows in an int: more rows than that are not shown.
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(rows_.size(), INT_MAX));
}

int ConcordanceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ConcordanceModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return madeRow(index.row()).columns[column];
    case Qt::ToolTipRole: {
        const MadeRow &made = madeRow(index.row());
        return made.columns[LeftColumn] + QStringLiteral(" \u2039") + made.columns[PhraseColumn]
               + QStringLiteral("\u203A ") + made.columns[RightColumn];
    }
    case Qt::TextAlignmentRole: {
        // Concordances are read at the phrase: the left context ends there.
        const Qt::Alignment horizontal = column == LeftColumn     ? Qt::AlignRight
                                         : column == PhraseColumn ? Qt::AlignHCenter
                                                                  : Qt::AlignLeft;
        return (horizontal | Qt::AlignVCenter).toInt();
    }
    case Qt::FontRole:
        if (column == PhraseColumn) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case LineRole:
        return QVariant::fromValue(line(index.row()));
    default:
        return {};
    }
}

QVariant ConcordanceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case LocationColumn:
        return tr("Location");
    case LeftColumn:
        return tr("Left");
    case PhraseColumn:
        return tr("Phrase");
    case RightColumn:
        return tr("Right");
    default:
        return {};
    }
}
