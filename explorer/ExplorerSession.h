// ExplorerSession: the explorer's model: the open corpus, the controls, and the history of questions asked with their trees.
#pragma once

#include "CorpusRequest.h"
#include "ExplorerControls.h"
#include "OpenedCorpus.h"
#include "QueryAnswer.h"
#include "TreeOccurrences.h"
#include "Vocabulary.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Trees are made and read on the GUI thread only: their children are made
// the first time they are read, and making one tree is a matter of
// milliseconds; only opening and indexing a corpus runs elsewhere (see
// CorpusLoader). The session asks no widget anything: a window shows what
// it holds and calls it when the user acts.
class ExplorerSession : public QObject {
    Q_OBJECT
public:
    // One question and what it gave.
    struct Entry {
        // The phrase as typed, or the text of the label that was clicked.
        std::string phrase;
        // The tokens of a clicked label, ids of `corpus` (empty for a typed phrase).
        std::vector<Corpus::TokenId> tokens;
        ExplorerControls controls;
        // The corpus asked and its answer; both dropped (and asked again when
        // the entry is shown) once the corpus is indexed anew.
        std::shared_ptr<const OpenedCorpus> corpus;
        std::shared_ptr<const QueryAnswer> answer;
        // The ids of the phrase, what its root's label starts (or ends) with.
        std::vector<Corpus::TokenId> phraseIds;
        // The occurrences each tree counts, made when the lines are first
        // asked for and dropped with the answer.
        mutable std::shared_ptr<const TreeOccurrences> forwardLines;
        mutable std::shared_ptr<const TreeOccurrences> backwardLines;
    };

    // Occurrences as a lines pane lists them: corpus positions, ascending,
    // each `length` tokens.
    struct Lines {
        std::vector<Corpus::Position> starts;
        std::uint32_t length = 0;
    };

    explicit ExplorerSession(QObject *parent = nullptr);
    ~ExplorerSession() override;

    // The corpus shown, or null; and its vocabulary.
    const std::shared_ptr<const OpenedCorpus> &corpus() const { return corpus_; }
    const std::shared_ptr<const Vocabulary> &vocabulary() const { return vocabulary_; }
    // The controls as they stand (those of the current entry once it is shown).
    const ExplorerControls &controls() const { return controls_; }
    // The current entry (null before the first question), and the history.
    const Entry *current() const;
    const std::vector<Entry> &history() const { return history_; }
    std::size_t currentIndex() const { return current_; }
    bool canGoBack() const { return current_ > 0 && current_ < history_.size(); }
    bool canGoForward() const { return current_ + 1 < history_.size(); }
    // The request that opens the corpus at `path` under the controls (both
    // directions' indexes).
    CorpusRequest requestFor(const std::string &path) const;
    // Whether the open corpus was made otherwise than the controls want (other
    // word rules or folding, or no backward index for a tree of what
    // precedes): then it is to be indexed anew.
    bool corpusStale() const;

    // Shows `corpus`. Another path than the one open starts a new history;
    // the same path indexed anew (other word rules or folding) keeps it: the
    // current question is asked again of the new corpus, as a new entry if
    // the controls changed since it was asked. Then a phrase waiting for a
    // corpus (setPendingPhrase) is asked.
    void setCorpus(std::shared_ptr<const OpenedCorpus> corpus, std::shared_ptr<const Vocabulary> vocabulary);
    // A phrase to ask once the next corpus is shown.
    void setPendingPhrase(std::string phrase) { pending_ = std::move(phrase); }
    const std::optional<std::string> &pendingPhrase() const { return pending_; }
    // The controls a failed or cancelled re-index leaves: those the open corpus was made with.
    void revertCorpusControls();
    // Sets every control at once (at start, from settings or the command line).
    void setControls(const ExplorerControls &controls);

    // Asks `phrase` of the corpus with the current controls. If it has a
    // tree, drops the entries after the current one and appends it;
    // otherwise the history stays and failed() tells why. False then.
    bool ask(const std::string &phrase);
    // Asks the tokens of a label of the current trees (see tokensOf); the
    // double tree's middle label stands for the whole phrase with what both
    // roots absorbed.
    bool askNode(const PhraseNode &node, bool middle);
    // The ids a label of the current trees was made of, in reading order.
    std::vector<Corpus::TokenId> tokensOf(const PhraseNode &node, bool middle) const;

    // The occurrences the current tree counts: the tree of what follows the
    // phrase, or of what precedes it when that is the only one. None
    // without a current answer.
    Lines lines() const;
    // Those of them that pass through `node`, a label of the current trees
    // (on either side of a double tree; the middle label stands for all);
    // none when it is not one. Time: a search of the index and the
    // occurrences found.
    Lines linesThrough(const PhraseNode &node, bool middle) const;

    // Changing the direction asks the current phrase again (a new entry);
    // pruning redraws the current entry, which keeps it. Changing the word
    // rules or folding emits reindexWanted().
    void setDirection(QueryDirection direction);
    void setPruning(const TreePruning &pruning);
    void setCorpusOptions(const CorpusOptions &options);
    void setMaxBytes(std::uint64_t maxBytes) { controls_.maxBytes = maxBytes; }

    // Steps through the history, restoring each entry's controls; an entry
    // whose corpus options are not the open corpus's asks for a re-index.
    void goBack();
    void goForward();

signals:
    // The current entry, its trees or the controls changed: redraw.
    void changed();
    // Why a question gave no tree, in one line.
    void failed(const QString &reason);
    // The controls want the corpus indexed anew by `request`.
    void reindexWanted(const CorpusRequest &request);

private:
    // The occurrences the current entry's tree on `side` counts, or null.
    const TreeOccurrences *occurrences(TreeDirection side) const;
    // Answers `entry` of the open corpus.
    bool answer(Entry &entry);
    bool push(Entry entry);
    void show(std::size_t index);
    QString corpusName() const;

    std::shared_ptr<const OpenedCorpus> corpus_;
    std::shared_ptr<const Vocabulary> vocabulary_;
    ExplorerControls controls_;
    std::vector<Entry> history_;
    std::size_t current_ = 0;
    std::optional<std::string> pending_;
};
