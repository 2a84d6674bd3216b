#include "ExplorerSession.h"

#include "PatternBranch.h"
#include "QueryTreeOccurrences.h"

#include <QFileInfo>

namespace {

// The question an entry asks.
std::string joinedFilter(const std::vector<std::string> &conditions)
{
    std::string joined;
    for (const std::string &condition : conditions)
        joined += (joined.empty() ? "" : "; ") + condition;
    return joined;
}

Query queryOf(const ExplorerSession::Entry &entry)
{
    Query query;
    query.phrase = entry.phrase;
    query.tokens = entry.tokens;
    query.direction = entry.controls.direction;
    query.sentences = entry.controls.sentences;
    query.pruning = entry.controls.pruning;
    query.within = entry.within;
    return query;
}

}  // namespace

ExplorerSession::ExplorerSession(QObject *parent) : QObject(parent) {}

// The trees refer to their corpora: the entries go first.
ExplorerSession::~ExplorerSession()
{
    history_.clear();
}

const ExplorerSession::Entry *ExplorerSession::current() const
{
    return current_ < history_.size() ? &history_[current_] : nullptr;
}

CorpusRequest ExplorerSession::requestFor(const std::string &path) const
{
    CorpusRequest request;
    request.path = path;
    request.maxBytes = controls_.maxBytes;
    request.options = controls_.corpus;
    // Both directions at once, on both cores: switching to a tree of what
    // precedes must not stop the window while the backward index is sorted.
    request.backward = true;
    // A saved index is asked as it was saved, and files without the layer
    // to show are shown by word: the controls follow what was opened.
    request.savedOptions = true;
    request.wordWhenNoShownLayer = true;
    return request;
}

bool ExplorerSession::corpusStale() const
{
    return corpus_
           && (corpus_->request().options != controls_.corpus
               || (controls_.direction != QueryDirection::After && !corpus_->corpus().hasBackward()));
}

QString ExplorerSession::corpusName() const
{
    if (!corpus_)
        return {};
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(corpus_->request().path))).fileName();
}

void ExplorerSession::setControls(const ExplorerControls &controls)
{
    controls_ = controls;
    emit changed();
}

bool ExplorerSession::opening() const
{
    return loading_ && (!corpus_ || loading_->path != corpus_->request().path);
}

void ExplorerSession::want(const std::string &path)
{
    loading_ = requestFor(path);
    emit loadWanted(*loading_);
}

void ExplorerSession::open(const std::string &path, std::optional<std::string> phrase)
{
    pending_ = std::move(phrase);
    want(path);
    emit changed();
}

void ExplorerSession::followControls()
{
    if (loading_) {
        if (!opening() && !corpusStale()) {
            // The open corpus is as the controls want again.
            loading_.reset();
            emit loadUnwanted();
            if (pending_) {
                const std::string phrase = std::move(*pending_);
                pending_.reset();
                ask(phrase);
            }
            return;
        }
        if (requestFor(loading_->path) != *loading_)
            want(loading_->path);
        return;
    }
    if (corpusStale())
        want(corpus_->request().path);
}

void ExplorerSession::setCorpus(std::shared_ptr<const OpenedCorpus> corpus,
                                std::shared_ptr<const Vocabulary> vocabulary)
{
    loading_.reset();
    const bool samePath = corpus_ && corpus && corpus_->request().path == corpus->request().path;
    corpus_ = std::move(corpus);
    vocabulary_ = std::move(vocabulary);
    within_.reset();
    if (!corpus_ || !samePath) {
        history_.clear();
        current_ = 0;
        filter_.clear();
    } else {
        // The same documents, indexed anew: chosen again by the same conditions.
        if (!filter_.empty()) {
            std::string why;
            if (const std::optional<DocumentFilter> filter = DocumentFilter::parse(filter_, why))
                within_ = std::make_shared<const DocumentSubset>(corpus_->corpus(), corpus_->documentsMeeting(*filter));
        }
        // Ids mean nothing in another index: older entries keep their text
        // and are asked again when shown.
        for (Entry &entry : history_) {
            if (entry.corpus != corpus_) {
                entry.corpus.reset();
                entry.answer.reset();
                entry.forwardLines.reset();
                entry.backwardLines.reset();
                entry.tokens.clear();
                entry.phraseIds.clear();
                entry.within = within_;
            }
        }
    }
    if (corpus_)
        controls_.corpus = corpus_->request().options;
    if (Entry *entry = current_ < history_.size() ? &history_[current_] : nullptr) {
        if (entry->controls.corpus == controls_.corpus) {
            answer(*entry);
        } else {
            Entry again;
            again.phrase = entry->phrase;
            again.controls = controls_;
            push(std::move(again));
        }
    }
    if (pending_ && corpus_) {
        const std::string phrase = std::move(*pending_);
        pending_.reset();
        ask(phrase);
    }
    emit changed();
}

void ExplorerSession::loadEnded()
{
    loading_.reset();
    pending_.reset();
    if (corpus_)
        controls_.corpus = corpus_->request().options;
    emit changed();
}

bool ExplorerSession::answer(Entry &entry)
{
    entry.corpus = corpus_;
    entry.answer.reset();
    entry.forwardLines.reset();
    entry.backwardLines.reset();
    entry.phraseIds.clear();
    if (!corpus_)
        return false;
    const Query query = queryOf(entry);
    auto answer = std::make_shared<QueryAnswer>(answerQuery(corpus_->corpus(), query));
    const bool found = answer->status == QueryAnswer::Status::Found;
    if (!found) {
        const std::string name = corpusName().toStdString();
        emit failed(QString::fromStdString(answer->reason(name)));
    } else {
        entry.phraseIds = queryTokenIds(corpus_->corpus(), query);
    }
    entry.answer = std::move(answer);
    entry.serial = ++serials_;
    return found;
}

ExplorerSession::Asked ExplorerSession::push(Entry entry)
{
    entry.within = within_;
    const bool found = answer(entry);
    if (!found && entry.answer && entry.answer->status == QueryAnswer::Status::NoTokens)
        return Asked::NoTokens;
    if (!found && entry.answer && entry.answer->status == QueryAnswer::Status::Failed)
        return Asked::Failed;
    if (current_ < history_.size())
        history_.erase(history_.begin() + static_cast<std::ptrdiff_t>(current_) + 1, history_.end());
    history_.push_back(std::move(entry));
    current_ = history_.size() - 1;
    emit changed();
    return found ? Asked::Found : Asked::NotFound;
}

ExplorerSession::Asked ExplorerSession::ask(const std::string &phrase)
{
    if (!corpus_ && !loading_) {
        emit failed(tr("No corpus is open: open a file or a folder first."));
        return Asked::NoCorpus;
    }
    if (opening() || corpusStale()) {
        // Asked once the corpus is opened, or indexed as the controls want.
        pending_ = phrase;
        if (!loading_)
            want(corpus_->request().path);
        emit changed();
        return Asked::Waiting;
    }
    Entry entry;
    entry.phrase = phrase;
    entry.controls = controls_;
    return push(std::move(entry));
}

std::vector<Corpus::TokenId> ExplorerSession::tokensOf(const PhraseNode &node, bool middle) const
{
    const Entry *entry = current();
    if (!entry || !entry->answer || !entry->corpus)
        return {};
    const QueryAnswer &answer = *entry->answer;
    // A root reads as the phrase with the run it absorbed (before the phrase
    // in a tree of what precedes it); the double tree's middle label as
    // both roots together. Every other label stands for its own tokens.
    const bool before = middle || &node == answer.backward.get();
    const bool after = middle || &node == answer.forward.get();
    std::vector<Corpus::TokenId> ids;
    if (!before && !after) {
        node.appendTokenIds(ids);
        return ids;
    }
    if (before && answer.backward)
        answer.backward->appendTokenIds(ids);
    ids.insert(ids.end(), entry->phraseIds.begin(), entry->phraseIds.end());
    if (after && answer.forward)
        answer.forward->appendTokenIds(ids);
    return ids;
}

const TreeOccurrences *ExplorerSession::occurrences(TreeDirection side) const
{
    const Entry *entry = current();
    if (!entry || !entry->answer || !entry->corpus)
        return nullptr;
    const Query query = queryOf(*entry);
    if (entry->phraseIds.empty() && !query.isPattern())
        return nullptr;
    const bool forward = side == TreeDirection::Forward;
    if (!(forward ? entry->answer->forward : entry->answer->backward))
        return nullptr;
    std::shared_ptr<const TreeOccurrences> &made = forward ? entry->forwardLines : entry->backwardLines;
    if (!made) {
        if (query.isPattern()) {
            made = std::make_shared<const TreeOccurrences>(queryTreeOccurrences(entry->corpus->corpus(), query, side));
        } else {
            auto occurrences = std::make_shared<TreeOccurrences>(entry->corpus->corpus(), side, entry->phraseIds);
            occurrences->keepWithin(entry->within);
            made = std::move(occurrences);
        }
    }
    return made.get();
}

ExplorerSession::Lines ExplorerSession::lines() const
{
    const TreeOccurrences *found = occurrences(TreeDirection::Forward);
    if (!found)
        found = occurrences(TreeDirection::Backward);
    if (!found)
        return {};
    return {found->starts(), found->length()};
}

ExplorerSession::Lines ExplorerSession::linesThrough(const PhraseNode &node, bool middle) const
{
    if (middle)
        return lines();
    const Entry *entry = current();
    if (!entry || !entry->answer)
        return {};
    for (const TreeDirection side : {TreeDirection::Forward, TreeDirection::Backward}) {
        const PhraseNode *root =
            side == TreeDirection::Forward ? entry->answer->forward.get() : entry->answer->backward.get();
        if (!root)
            continue;
        const std::vector<const PhraseNode *> path = TreeOccurrences::pathTo(*root, node);
        if (path.empty())
            continue;
        const TreeOccurrences *found = occurrences(side);
        if (!found)
            return {};
        return {found->through(path), found->length()};
    }
    return {};
}

std::vector<Corpus::TokenId> ExplorerSession::branchTokensOf(const PhraseNode &node, bool middle,
                                                             std::string *text) const
{
    const Entry *entry = current();
    if (!entry || !entry->found() || !entry->corpus)
        return {};
    const QueryAnswer &answer = *entry->answer;
    if (middle) {
        if (text) {
            std::string middleText = answer.backward->label();
            const std::string after = answer.forward->label();
            middleText += std::string_view(after).substr(std::min(after.size(), answer.forward->searchTextLength()));
            *text = std::move(middleText);
        }
        return tokensOf(node, true);
    }
    for (const TreeDirection side : {TreeDirection::Forward, TreeDirection::Backward}) {
        const PhraseNode *root =
            side == TreeDirection::Forward ? answer.forward.get() : answer.backward.get();
        if (!root)
            continue;
        const std::vector<const PhraseNode *> path = TreeOccurrences::pathTo(*root, node);
        if (path.empty())
            continue;
        // The phrase with what its root absorbed on this side (what the
        // other side's root absorbed is not shared by every occurrence
        // through the label).
        std::vector<Corpus::TokenId> ids = tokensOf(*root, false);
        if (text)
            *text = root->label();
        std::vector<Corpus::TokenId> branch;
        std::string branchText;
        for (std::size_t i = 1; i < path.size(); ++i) {
            std::vector<Corpus::TokenId> own;
            path[i]->appendTokenIds(own);
            const std::string label = path[i]->label();
            if (side == TreeDirection::Forward) {
                branch.insert(branch.end(), own.begin(), own.end());
                branchText += ' ' + label;
            } else {
                // Each label stands further before the phrase.
                branch.insert(branch.begin(), own.begin(), own.end());
                branchText.insert(0, label + ' ');
            }
        }
        if (side == TreeDirection::Forward) {
            ids.insert(ids.end(), branch.begin(), branch.end());
            if (text)
                *text += branchText;
        } else {
            ids.insert(ids.begin(), branch.begin(), branch.end());
            if (text)
                text->insert(0, branchText);
        }
        return ids;
    }
    return {};
}

std::string ExplorerSession::patternThrough(const PhraseNode &node, bool middle) const
{
    const Entry *entry = current();
    if (!entry || !entry->found() || !entry->corpus || !queryOf(*entry).isPattern())
        return {};
    const QueryAnswer &answer = *entry->answer;
    // What the roots absorbed and the labels down to the node: before the
    // pattern on the side of what precedes it, after it on the other.
    std::vector<Corpus::TokenId> before, after;
    if (middle) {
        if (answer.backward)
            answer.backward->appendTokenIds(before);
        if (answer.forward)
            answer.forward->appendTokenIds(after);
    } else {
        bool found = false;
        for (const TreeDirection side : {TreeDirection::Forward, TreeDirection::Backward}) {
            const bool forward = side == TreeDirection::Forward;
            const PhraseNode *root = forward ? answer.forward.get() : answer.backward.get();
            const std::vector<const PhraseNode *> path = root ? TreeOccurrences::pathTo(*root, node)
                                                              : std::vector<const PhraseNode *>();
            if (path.empty())
                continue;
            found = true;
            for (const PhraseNode *step : path) {
                std::vector<Corpus::TokenId> own;
                step->appendTokenIds(own);
                if (forward)
                    after.insert(after.end(), own.begin(), own.end());
                else  // each label stands further before the pattern
                    before.insert(before.begin(), own.begin(), own.end());
            }
            break;
        }
        if (!found)
            return {};
    }
    return patternBranch(entry->corpus->corpus(), entry->phrase, before, after);
}

bool ExplorerSession::askNode(const PhraseNode &node, bool middle, bool alone)
{
    // Under a pattern, a branch (and a root even alone: its label is the
    // pattern) is asked as the pattern it continues.
    const Entry *shown = current();
    const bool root = middle || (shown && shown->answer
                                 && (&node == shown->answer->forward.get() || &node == shown->answer->backward.get()));
    if (!alone || root) {
        const std::string pattern = patternThrough(node, middle);
        if (!pattern.empty()) {
            if (corpusStale()) {
                ask(pattern);
                return false;
            }
            Entry entry;
            entry.phrase = pattern;
            entry.controls = controls_;
            return push(std::move(entry)) == Asked::Found;
        }
    }
    std::string text;
    std::vector<Corpus::TokenId> tokens = alone ? tokensOf(node, middle) : branchTokensOf(node, middle, &text);
    if (alone)
        text = node.label();
    if (corpusStale()) {
        // The ids are the old index's: the text is asked of the new one.
        if (!tokens.empty())
            ask(text);
        return false;
    }
    Entry entry;
    entry.tokens = std::move(tokens);
    if (entry.tokens.empty())
        return false;
    // The new root is labelled as the words clicked through read.
    entry.phrase = std::move(text);
    entry.controls = controls_;
    return push(std::move(entry)) == Asked::Found;
}

void ExplorerSession::setDirection(QueryDirection direction)
{
    if (controls_.direction == direction)
        return;
    controls_.direction = direction;
    askAgain();
}

void ExplorerSession::setSentences(bool sentences)
{
    if (controls_.sentences == sentences)
        return;
    controls_.sentences = sentences;
    askAgain();
}

void ExplorerSession::askAgain()
{
    // A corpus on its way asks its phrase with the new controls once it is there.
    if (opening() || corpusStale()) {
        followControls();
        emit changed();
        return;
    }
    if (const Entry *entry = current(); entry && entry->controls.corpus == controls_.corpus && corpus_) {
        Entry again;
        again.phrase = entry->phrase;
        again.tokens = entry->tokens;
        again.controls = controls_;
        const Asked asked = push(std::move(again));
        if (asked == Asked::Found || asked == Asked::NotFound)
            return;
    }
    emit changed();
}

bool ExplorerSession::setDocumentFilter(std::vector<std::string> conditions, QString &why)
{
    std::erase_if(conditions, [](const std::string &condition) {
        return condition.find_first_not_of(" \t") == std::string::npos;
    });
    std::shared_ptr<const DocumentSubset> within;
    if (!conditions.empty()) {
        if (!corpus_) {
            why = tr("Open a corpus to choose among its documents.");
            return false;
        }
        std::string reason;
        const std::optional<DocumentFilter> filter = DocumentFilter::parse(conditions, reason);
        if (!filter) {
            why = QString::fromStdString(reason);
            return false;
        }
        std::vector<std::uint32_t> chosen = corpus_->documentsMeeting(*filter);
        if (chosen.empty()) {
            why = tr("No document meets %1.").arg(QString::fromStdString(joinedFilter(conditions)));
            return false;
        }
        within = std::make_shared<const DocumentSubset>(corpus_->corpus(), std::move(chosen));
    }
    filter_ = std::move(conditions);
    within_ = std::move(within);
    askAgain();
    return true;
}

void ExplorerSession::setPruning(const TreePruning &pruning)
{
    controls_.pruning = pruning;
    if (current_ < history_.size())
        history_[current_].controls.pruning = pruning;
    emit changed();
}

void ExplorerSession::setCorpusOptions(const CorpusOptions &options)
{
    if (controls_.corpus == options)
        return;
    if (!opening() && corpus_ && corpus_->saved()) {
        emit failed(tr("%1 is a saved index: it answers with the word and case rules and the layer it was saved with.")
                        .arg(corpusName()));
        emit changed();
        return;
    }
    controls_.corpus = options;
    followControls();
    emit changed();
}

void ExplorerSession::show(std::size_t index)
{
    current_ = index;
    Entry &entry = history_[index];
    controls_ = entry.controls;
    followControls();
    if (!corpusStale() && !entry.answer)
        answer(entry);
    emit changed();
}

void ExplorerSession::goBack()
{
    if (canGoBack())
        show(current_ - 1);
}

void ExplorerSession::goForward()
{
    if (canGoForward())
        show(current_ + 1);
}
