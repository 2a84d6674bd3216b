#include "ConcordanceModel.h"

#include "Concordance.h"
#include "UnicodeTokens.h"

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

// The three texts of a row, in the corpus's bytes.
struct RowText {
    std::string left, phrase, right;
};

void appendTokens(std::string &out, const Corpus &corpus, Position from, Position to)
{
    for (Position p = from; p < to; ++p) {
        if (p > from)
            out += ' ';
        out += corpus.token(p);
    }
}

// The row of the occurrence at p as the tool's --kwic makes it: never
// across its document's ends.
void makeRowText(const Corpus &corpus, Position p, std::uint32_t length, std::uint32_t context, RowText &row)
{
    const std::uint32_t document = corpus.documentOf(p);
    const Position first = corpus.documentStart(document);
    const Position last = document < corpus.boundaries().size() ? corpus.boundaries()[document] : corpus.end();
    row.left.clear();
    row.phrase.clear();
    row.right.clear();
    appendTokens(row.left, corpus, p - std::min(context, p - first), p);
    appendTokens(row.phrase, corpus, p, p + length);
    appendTokens(row.right, corpus, p + length, p + length + std::min<Position>(context, last - p - length));
}

std::uint64_t lineOf(const OpenedCorpus &opened, Position p)
{
    return occurrenceLines(opened.corpus(), opened.texts(), std::span(&p, 1)).front();
}

// The document's path as the pane shows it: below the opened folder, or the
// file's name when a file was opened.
std::string shownPath(const std::string &path, const std::string &opened)
{
    std::string_view rest(path);
    if (rest.starts_with(opened) && rest.size() > opened.size()) {
        rest.remove_prefix(opened.size());
        if (rest.front() == '/')
            rest.remove_prefix(1);
        return std::string(rest);
    }
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

// The rows as TSV in the corpus's bytes, as morvanet-tree --kwic writes its lines.
bool writeRows(QIODevice &device, const OpenedCorpus &opened, const std::vector<std::string> &paths,
               std::span<const Position> rows, std::uint32_t length, std::uint32_t context)
{
    const Corpus &corpus = opened.corpus();
    std::string out;
    RowText row;
    for (const Position p : rows) {
        makeRowText(corpus, p, length, context, row);
        out += paths[corpus.documentOf(p)];
        out += ':';
        char number[24];
        out.append(number, std::to_chars(number, number + sizeof number, lineOf(opened, p)).ptr);
        for (const std::string *part : {&row.left, &row.phrase, &row.right}) {
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
    return shownPath(opened.path(document), opened.request().path);
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
    rows_ = shown;
    if (order_ != Order::Text && !shown.empty()) {
        // The word beside each occurrence, none at a document's end.
        const Corpus &corpus = opened_->corpus();
        const auto keyOf = [&](Position p) {
            if (order_ == Order::LeftWord)
                return p == 0 ? Corpus::noToken : corpus.tokenId(p - 1);
            return p + length_ < corpus.end() ? corpus.tokenId(p + length_) : Corpus::noToken;
        };
        // Only the words that occur beside the rows are ranked: by their
        // folded text, then their bytes. Rank 0 is no word.
        std::vector<std::uint32_t> rank(corpus.vocabularySize(), 0);
        std::vector<Corpus::TokenId> words;
        for (const Position p : shown) {
            const Corpus::TokenId id = keyOf(p);
            if (id != Corpus::noToken && rank[id] == 0) {
                rank[id] = 1;
                words.push_back(id);
            }
        }
        std::vector<std::pair<std::string, Corpus::TokenId>> keyed;
        keyed.reserve(words.size());
        const bool utf8 = corpus.options().utf8();
        for (const Corpus::TokenId id : words) {
            std::string folded;
            appendFolded(corpus.tokenText(id), utf8, folded);
            keyed.emplace_back(std::move(folded), id);
        }
        std::sort(keyed.begin(), keyed.end(), [&corpus](const auto &a, const auto &b) {
            return a.first != b.first ? a.first < b.first : corpus.tokenText(a.second) < corpus.tokenText(b.second);
        });
        for (std::size_t i = 0; i < keyed.size(); ++i)
            rank[keyed[i].second] = static_cast<std::uint32_t>(i + 1);
        // A counting sort keeps equal words in text order.
        std::vector<std::uint32_t> next(keyed.size() + 2, 0);
        for (const Position p : shown) {
            const Corpus::TokenId id = keyOf(p);
            ++next[(id == Corpus::noToken ? 0 : rank[id]) + 1];
        }
        for (std::size_t r = 1; r < next.size(); ++r)
            next[r] += next[r - 1];
        for (const Position p : shown) {
            const Corpus::TokenId id = keyOf(p);
            rows_[next[id == Corpus::noToken ? 0 : rank[id]]++] = p;
        }
    }
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
    RowText text;
    makeRowText(opened_->corpus(), p, length_, context_, text);
    made.columns[LocationColumn] = location(row);
    made.columns[LeftColumn] = labelString(text.left, encoding_);
    made.columns[PhraseColumn] = labelString(text.phrase, encoding_);
    made.columns[RightColumn] = labelString(text.right, encoding_);
    made.row = row;
    return made;
}

ConcordanceLine ConcordanceModel::line(int row) const
{
    const Position p = rows_[static_cast<std::size_t>(row)];
    return {opened_->corpus().documentOf(p), lineOf(*opened_, p), p, length_};
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
