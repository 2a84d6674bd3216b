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

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Trees are made and read on the GUI thread only: their children are made
// the first time they are read, and making one tree is a matter of
// milliseconds; only opening and indexing a corpus runs elsewhere (see
// CorpusOpener). The session asks no widget anything: a window shows what
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
        // The documents of `corpus` it was asked within (null: all of them).
        std::shared_ptr<const DocumentSubset> within;
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

        // Tells answers apart: a new one for every answer given, never reused.
        std::uint64_t serial = 0;

        // Whether the answer has trees (an entry may tell a phrase that does not occur).
        bool found() const { return answer && answer->status == QueryAnswer::Status::Found; }
    };

    // Occurrences as a lines pane lists them: corpus positions, ascending,
    // each `length` tokens.
    struct Lines {
        std::vector<Corpus::Position> starts;
        std::uint32_t length = 0;
    };

    // What ask() made of a phrase.
    enum class Asked {
        Found,      // a new entry with its tree
        NotFound,   // a new entry that tells why there is no tree (see Entry::found)
        NoTokens,   // nothing asked: the phrase has no words or marks under the word rules
        Failed,     // nothing asked: the phrase cannot be cut (failed() says why)
        Waiting,    // asked once the corpus being opened or indexed anew is shown
        NoCorpus,   // nothing asked: nothing is open or opening
    };

    explicit ExplorerSession(QObject *parent = nullptr);
    ~ExplorerSession() override;

    // The corpus shown, or null; and its vocabulary.
    const std::shared_ptr<const OpenedCorpus> &corpus() const { return corpus_; }
    const std::shared_ptr<const Vocabulary> &vocabulary() const { return vocabulary_; }
    // The controls as they stand (those of the current entry once it is shown).
    const ExplorerControls &controls() const { return controls_; }
    // The current entry (null before the first question), and the history.
    // An entry's answer may be one without a tree (a phrase that does not
    // occur): the history keeps what was asked.
    const Entry *current() const;
    const std::vector<Entry> &history() const { return history_; }
    std::size_t currentIndex() const { return current_; }
    // Stepping is for the corpus shown: not while another one opens.
    bool canGoBack() const { return current_ > 0 && current_ < history_.size() && !opening(); }
    bool canGoForward() const { return current_ + 1 < history_.size() && !opening(); }
    // The request that opens the corpus at `path` under the controls (both
    // directions' indexes).
    CorpusRequest requestFor(const std::string &path) const;
    // Whether the open corpus was made otherwise than the controls want (other
    // word rules or folding, or no backward index for a tree of what
    // precedes): then it is to be indexed anew.
    bool corpusStale() const;

    // Opens the corpus at `path` under the controls: loadWanted() asks for
    // it, and setCorpus() or loadEnded() follow. `phrase`, if given, is
    // asked once it is shown; a phrase that waited for an earlier load is
    // dropped. A control changed meanwhile opens it under the new controls.
    void open(const std::string &path, std::optional<std::string> phrase = std::nullopt);
    // The load the session waits for (an open, or the open corpus indexed
    // anew), or null; and whether it opens another corpus than the one shown.
    const CorpusRequest *loading() const { return loading_ ? &*loading_ : nullptr; }
    bool opening() const;
    // The phrase asked once the corpus waited for is shown.
    const std::optional<std::string> &pendingPhrase() const { return pending_; }
    // Shows `corpus`, the one waited for. Another path than the one open
    // starts a new history; the same path indexed anew (other word rules or
    // folding) keeps it: the current question is asked again of the new
    // corpus, as a new entry if the controls changed since it was asked.
    // Then the phrase that waited for it is asked.
    void setCorpus(std::shared_ptr<const OpenedCorpus> corpus, std::shared_ptr<const Vocabulary> vocabulary);
    // The load waited for ended without a corpus (it failed or was
    // stopped): the controls go back to those the open corpus was made
    // with, and the phrase that waited for it is dropped.
    void loadEnded();
    // Sets every control at once (at start, from settings or the command line).
    void setControls(const ExplorerControls &controls);

    // Asks `phrase` of the corpus with the current controls. A phrase with
    // a tree, or one that does not occur, drops the entries after the
    // current one and is appended; failed() tells why a phrase has no tree.
    // While a corpus opens or is indexed anew, the phrase waits for it.
    Asked ask(const std::string &phrase);
    // Follows a label of the current trees: asks the phrase with every
    // word up to and including the label (see branchTokensOf), or, with
    // `alone`, the label's own tokens (see tokensOf). Under a pattern it
    // asks patternThrough() instead, also for a root or the middle label
    // with `alone`. The double tree's
    // middle label stands for the whole phrase with what both roots
    // absorbed. While the corpus is indexed anew, the text waits for it
    // instead (the ids are the old index's). False when no entry with a
    // tree was added.
    bool askNode(const PhraseNode &node, bool middle, bool alone = false);
    // When the current entry asks a pattern: the pattern that follows the
    // branch down to `node`, a label of its trees (see patternBranch; the
    // middle label stands for what both roots absorbed). Empty otherwise.
    std::string patternThrough(const PhraseNode &node, bool middle) const;
    // The ids a label of the current trees was made of, in reading order.
    std::vector<Corpus::TokenId> tokensOf(const PhraseNode &node, bool middle) const;
    // The ids of the phrase with what the root of `node`'s side absorbed,
    // and of every label down to `node`, in reading order: after the phrase
    // for a label of the tree of what follows, before it for one of the
    // tree of what precedes (the middle label stands for the whole phrase
    // with what both roots absorbed). Empty for a node that is not a label
    // of the current trees. Also the text the labels read, joined by
    // blanks, in `text`.
    std::vector<Corpus::TokenId> branchTokensOf(const PhraseNode &node, bool middle, std::string *text = nullptr) const;

    // The occurrences the current tree counts: the tree of what follows the
    // phrase, or of what precedes it when that is the only one. None
    // without a current tree.
    Lines lines() const;
    // Those of them that pass through `node`, a label of the current trees
    // (on either side of a double tree; the middle label stands for all);
    // none when it is not one. Time: a search of the index and the
    // occurrences found.
    Lines linesThrough(const PhraseNode &node, bool middle) const;

    // Changing the direction, or whether branches stop at sentence ends,
    // asks the current phrase again (a new entry);
    // pruning redraws the current entry, which keeps it. Changing the word
    // rules or folding indexes the corpus anew (loadWanted()), or, while
    // one opens, opens it so; going back to the open corpus's own rules
    // while it is indexed anew drops that load (loadUnwanted()).
    void setDirection(QueryDirection direction);
    void setSentences(bool sentences);
    void setPruning(const TreePruning &pruning);
    void setCorpusOptions(const CorpusOptions &options);
    void setMaxBytes(std::uint64_t maxBytes) { controls_.maxBytes = maxBytes; }

    // The documents of the open corpus that questions are asked within
    // (null: all of them), and the conditions that chose them.
    const std::shared_ptr<const DocumentSubset> &within() const { return within_; }
    const std::vector<std::string> &documentFilter() const { return filter_; }
    // Chooses the documents of the open corpus that meet every one of
    // `conditions` (as --where reads them; none chooses all) and asks the
    // current phrase again within them, as a new entry. False, with a
    // one-line `why`, when a condition is not FIELD OP VALUE or no document
    // meets them: the choice stays as it was. A corpus indexed anew keeps
    // the conditions; another corpus starts with all its documents.
    bool setDocumentFilter(std::vector<std::string> conditions, QString &why);

    // Steps through the history, restoring each entry's controls; an entry
    // whose corpus options are not the open corpus's asks for a re-index.
    void goBack();
    void goForward();

signals:
    // The current entry, its trees, the controls or the load waited for changed: redraw.
    void changed();
    // Why a question gave no tree, in one line.
    void failed(const QString &reason);
    // The controls want a corpus opened, or the open one indexed anew, by
    // `request`; it replaces any load asked for before.
    void loadWanted(const CorpusRequest &request);
    // The load asked for last is no longer wanted.
    void loadUnwanted();

private:
    // Asks the current phrase again with the controls just changed, or
    // lets the corpus on its way ask it so.
    void askAgain();
    // The occurrences the current entry's tree on `side` counts, or null.
    const TreeOccurrences *occurrences(TreeDirection side) const;
    // Answers `entry` of the open corpus; whether it has a tree.
    bool answer(Entry &entry);
    // Answers `entry` and, unless its phrase has no tokens, appends it as
    // the current one (dropping those after the current one).
    Asked push(Entry entry);
    void show(std::size_t index);
    // Asks for the load the controls want: the corpus waited for (or the
    // open one) under the new controls, or none when the open one will do.
    void followControls();
    void want(const std::string &path);
    QString corpusName() const;

    std::shared_ptr<const OpenedCorpus> corpus_;
    std::shared_ptr<const Vocabulary> vocabulary_;
    ExplorerControls controls_;
    std::vector<Entry> history_;
    std::size_t current_ = 0;
    std::optional<CorpusRequest> loading_;
    std::uint64_t serials_ = 0;
    std::optional<std::string> pending_;
    std::vector<std::string> filter_;
    std::shared_ptr<const DocumentSubset> within_;
};
