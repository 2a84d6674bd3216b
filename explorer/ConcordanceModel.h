// ConcordanceModel: the lines of a concordance as a table (location, left context, phrase, right context), each row made only when it is shown.
#pragma once

#include "ConcordanceLine.h"
#include "Corpus.h"
#include "LabelEncoding.h"
#include "OpenedCorpus.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QIODevice;

// The rows are the occurrences of one phrase in one corpus, named by the
// positions of their first tokens; the model keeps those positions and
// nothing per row besides, making a row's text when data() asks for it (a
// few hundred made rows are kept), so a million lines cost a few
// megabytes and scroll as fast as a screenful. A row reads as the
// tool's --kwic line: "PATH:LINE" (the path relative to the opened folder,
// or the file's name), up to context() tokens before the phrase, the phrase
// as it stands in the text, up to context() tokens after it, never across a
// document's end; but the columns show their tokens as the text writes them
// (RowSpacing::AsWritten), where the TSV export joins them by single blanks
// as --kwic does. Label text becomes characters by LabelEncoding, paths by
// the file system's encoding.
//
// The rows can be narrowed to a subset (the occurrences through a node of
// the tree) and widened again, and ordered by text position or by the
// words to the left or to the right, the nearest first, as far as the
// context shows them (see orderByWordsBeside: words compared by their text,
// folded when the corpus folds case; then by position). Ordering a million
// rows is a counting pass over them per word of context, on the calling
// thread.
//
// The model reads the corpus on the thread it lives on; the corpus is shared
// and never changes.
class ConcordanceModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { LocationColumn, LeftColumn, PhraseColumn, RightColumn, ColumnCount };
    enum class Order {
        Text,       // as the occurrences stand in the text
        LeftWord,   // by the words before the phrase: the one right before it first
        RightWord,  // by the words after it: the one right after it first
    };
    // data() with this role gives the row's ConcordanceLine.
    static constexpr int LineRole = Qt::UserRole + 1;
    static constexpr std::uint32_t defaultContext = 8;

    explicit ConcordanceModel(QObject *parent = nullptr);
    ~ConcordanceModel() override;

    // Shows the occurrences at `starts` (positions of `opened`'s corpus,
    // ascending, each `length` tokens, as queryOccurrences or
    // TreeOccurrences give them), in the current order; no narrowing. A null
    // corpus or no starts: no rows.
    void setOccurrences(std::shared_ptr<const OpenedCorpus> opened, std::vector<Corpus::Position> starts,
                        std::uint32_t length);
    // No corpus, no rows.
    void clear();

    // Shows only the occurrences at `starts` (ascending; as
    // TreeOccurrences::through gives them for a node, which `label` names
    // for the pane's count), in the current order.
    void narrow(std::vector<Corpus::Position> starts, QString label);
    // Back to all the occurrences setOccurrences gave.
    void widen();
    bool isNarrowed() const { return narrowed_; }
    const QString &narrowLabel() const { return narrowLabel_; }

    // How many occurrences setOccurrences gave, and how many rows show.
    std::size_t totalCount() const { return all_.size(); }
    std::size_t shownCount() const { return rows_.size(); }

    // Tokens of context on either side (default 8); a word order compares
    // as many.
    std::uint32_t context() const { return context_; }
    void setContext(std::uint32_t tokens);

    Order order() const { return order_; }
    void setOrder(Order order);

    const std::shared_ptr<const OpenedCorpus> &opened() const { return opened_; }
    std::uint32_t phraseLength() const { return length_; }
    // The occurrence at `row` (0 <= row < shownCount()) and where it stands.
    ConcordanceLine line(int row) const;
    // The token whose text holds character `offset` of the string that
    // `column` (LeftColumn, PhraseColumn or RightColumn) shows in `row`;
    // none for the blank between two tokens, past the end, or another column.
    std::optional<Corpus::Position> tokenAt(int row, int column, qsizetype offset) const;
    // The row's location as shown: "PATH:LINE".
    QString location(int row) const;
    // The name a document goes by in the pane: its path below the opened
    // folder (OpenedCorpus::root(), also for a saved index), or the file's
    // name when a file was opened (the file system's bytes).
    static std::string documentName(const OpenedCorpus &opened, std::size_t document);

    // Writes the rows as shown, one line each: the four columns TAB-separated
    // and a line feed, in the corpus's own bytes as morvanet-tree --kwic
    // writes them (the path's control bytes as '?'). False when the device
    // fails.
    bool writeTsv(QIODevice &device) const;
    // The same into the file at `path`, replaced whole only once written; false
    // with a one-line `reason` when it cannot be.
    bool writeTsv(const QString &path, QString *reason = nullptr) const;
    // A copy of the rows as shown that writes them as writeTsv does, from
    // any thread, while this model goes on (for long exports on a worker).
    std::function<bool(QIODevice &)> tsvWriter() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Left and right context order by their words (LeftWord, RightWord),
    // the other columns by text position; descending reverses the rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // The rows shown changed: new occurrences, a narrowing, a widening.
    void rowsChanged();
    // order() changed (by setOrder or sort).
    void orderChanged();

private:
    struct MadeRow {
        int row = -1;
        QString columns[ColumnCount];
    };

    void reorder();
    void forgetMadeRows();
    const MadeRow &madeRow(int row) const;

    std::shared_ptr<const OpenedCorpus> opened_;
    LabelEncoding encoding_ = LabelEncoding::Latin1;
    std::vector<std::string> paths_;  // each document's path as shown, bytes
    std::vector<QString> shownPaths_;
    std::vector<Corpus::Position> all_;
    std::vector<Corpus::Position> narrowedStarts_;
    std::vector<Corpus::Position> rows_;  // the shown starts, in the shown order
    std::uint32_t length_ = 0;
    std::uint32_t context_ = defaultContext;
    Order order_ = Order::Text;
    bool descending_ = false;
    bool narrowed_ = false;
    QString narrowLabel_;
    mutable std::array<MadeRow, 256> made_;
};
