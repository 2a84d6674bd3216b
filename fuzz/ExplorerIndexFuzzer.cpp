// Fuzzes a saved index through the explorer's path: opened as its loader
// opens one (the rules it was saved with, both directions), its vocabulary
// and completions, questions asked of the session both ways, the lines of
// every tree sorted by either side and narrowed to a label's, and the text
// pane's window around a line. A mutated index must be refused with a
// one-line reason or read without a crash or a read outside its arrays;
// one that opens must hand out only ids that name tokens.
#include "ConcordanceModel.h"
#include "DocumentWindow.h"
#include "ExplorerSession.h"
#include "FuzzInput.h"
#include "IndexFile.h"
#include "TextPane.h"
#include "Vocabulary.h"

#include <QApplication>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// A damaged index may make trees, lines and documents far larger than its
// text: only so many of each are read.
constexpr int rowsRead = 40;
constexpr std::size_t labelsRead = 6;

// Makes the rows a view would show first and last, and checks what they
// name.
void readRows(const ConcordanceModel &model, const OpenedCorpus &opened)
{
    const int rows = model.rowCount();
    FUZZ_CHECK(static_cast<std::size_t>(rows) == model.shownCount());
    for (int row = 0; row < rows; row = row + 1 == rowsRead / 2 && rows > rowsRead ? rows - rowsRead / 2 : row + 1) {
        for (int column = 0; column < ConcordanceModel::ColumnCount; ++column)
            model.index(row, column).data();
        model.index(row, 0).data(Qt::ToolTipRole);
        const ConcordanceLine line = model.line(row);
        FUZZ_CHECK(line.document < opened.documentCount());
        FUZZ_CHECK(!model.location(row).isEmpty());
    }
}

// The text of a document as the index's tokens and line index spell it:
// tokens joined by blanks, a line feed where the line changes. For a sound
// index it is a text the document window can be asked of; for a damaged
// one, a text that disagrees with the index.
std::string spelledDocument(const Corpus &corpus, std::uint32_t document)
{
    const Corpus::Position start = corpus.documentStart(document);
    const Corpus::Position end = document < corpus.boundaries().size() ? corpus.boundaries()[document] : corpus.end();
    std::string text;
    std::size_t hint = 0;
    std::uint64_t line = 1;
    for (Corpus::Position p = start; p < end && text.size() < (1u << 16); ++p) {
        const std::uint64_t at = corpus.lineOf(p, hint);
        for (int feeds = 0; line < at && feeds < 64; ++line, ++feeds)
            text += '\n';
        line = at;
        text += corpus.token(p);
        text += ' ';
    }
    return text;
}

void readLines(ExplorerSession &session, const std::shared_ptr<const OpenedCorpus> &opened, TextPane &pane)
{
    const ExplorerSession::Lines lines = session.lines();
    ConcordanceModel model;
    model.setOccurrences(opened, lines.starts, lines.length);
    FUZZ_CHECK(model.shownCount() == lines.starts.size());
    readRows(model, *opened);
    for (const ConcordanceModel::Order order : {ConcordanceModel::Order::LeftWord, ConcordanceModel::Order::RightWord}) {
        model.setOrder(order);
        readRows(model, *opened);
        // The order is a permutation of the occurrences.
        std::vector<Corpus::Position> sorted;
        for (int row = 0; row < model.rowCount(); ++row)
            sorted.push_back(model.line(row).start);
        std::sort(sorted.begin(), sorted.end());
        FUZZ_CHECK(std::is_permutation(sorted.begin(), sorted.end(), lines.starts.begin(), lines.starts.end()));
    }
    model.setContext(3);
    readRows(model, *opened);
    if (model.rowCount() == 0)
        return;

    // The text pane reads a saved index's source, which is gone here (its
    // reason is shown); the window is asked of the document as the index
    // spells it.
    const ConcordanceLine line = model.line(0);
    pane.showLine(opened, line);
    const Corpus &corpus = opened->corpus();
    const std::string text = spelledDocument(corpus, line.document);
    const DocumentWindow window = documentWindow(corpus, text, line.start, line.length, line.line, 5, 64);
    FUZZ_CHECK(window.from <= window.occurrenceFrom && window.occurrenceFrom <= window.occurrenceTo
               && window.occurrenceTo <= window.to && window.to <= text.size());
    FUZZ_CHECK(window.firstLine <= window.lastLine);

    // Each side's first labels narrow the lines, and one is asked as a click asks it.
    const ExplorerSession::Entry *entry = session.current();
    if (!entry || !entry->answer)
        return;
    for (const PhraseNode *root : {entry->answer->forward.get(), entry->answer->backward.get()}) {
        if (!root)
            continue;
        std::size_t read = 0;
        for (const auto &child : root->children()) {
            if (read++ == labelsRead)
                break;
            const ExplorerSession::Lines through = session.linesThrough(*child, false);
            model.narrow(through.starts, QString::fromStdString(child->labelPrefix(32)));
            readRows(model, *opened);
        }
        model.widen();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char name[] = "fuzz_explorer_index";
    static char *qtArgv[] = {name, nullptr};
    new QApplication(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The index is a file to map: one in memory, named through /proc.
    static const int fd = ::memfd_create("index", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    // Anything else opens as a text, which fuzz_tree_command reads.
    if (!IndexFile::looksLikeIndex(path))
        return 0;

    ExplorerControls controls;
    controls.direction = QueryDirection::Both;
    ExplorerSession session;
    session.setControls(controls);
    OpenedCorpus::Outcome outcome = OpenedCorpus::open(session.requestFor(path));
    if (!outcome.opened) {
        FUZZ_CHECK(!outcome.reason.empty() && outcome.reason.find('\n') == std::string::npos);
        return 0;
    }
    const std::shared_ptr<const OpenedCorpus> opened = std::move(outcome.opened);
    const Corpus &corpus = opened->corpus();
    // Opening read every id: each names a token, or stands at a boundary.
    std::size_t boundaries = 0;
    for (const Corpus::TokenId id : corpus.tokenIds()) {
        FUZZ_CHECK(id < corpus.vocabularySize() || id == Corpus::noToken);
        boundaries += id == Corpus::noToken;
    }
    FUZZ_CHECK(boundaries == corpus.boundaries().size());
    FUZZ_CHECK(opened->texts().empty());

    // The loader makes the vocabulary; the phrase line completes from it.
    const auto vocabulary = std::make_shared<const Vocabulary>(corpus);
    for (Corpus::TokenId id = 0; id < std::min<std::uint32_t>(corpus.vocabularySize(), 4); ++id) {
        const QString prefix = QString::fromLatin1(corpus.tokenText(id).data(), std::min<qsizetype>(corpus.tokenText(id).size(), 1));
        FUZZ_CHECK(vocabulary->complete(prefix, 8).size() <= 8);
    }
    session.setCorpus(opened, vocabulary);

    // Phrases from the index's own tokens: its first ids, and the tokens at
    // its first positions, alone and in pairs.
    std::vector<std::string> phrases{"."};
    for (Corpus::TokenId id = 0; id < std::min<std::uint32_t>(corpus.vocabularySize(), 2); ++id)
        phrases.emplace_back(corpus.tokenText(id));
    for (Corpus::Position p = 0; p + 1 < std::min<Corpus::Position>(corpus.end(), 3); ++p)
        phrases.push_back(std::string(corpus.token(p)) + " " + std::string(corpus.token(p + 1)));
    TextPane pane;
    for (const std::string &phrase : phrases) {
        if (session.ask(phrase) != ExplorerSession::Asked::Found)
            continue;
        readLines(session, opened, pane);
        // A click on a label asks its tokens.
        const ExplorerSession::Entry *entry = session.current();
        const PhraseNode *root = entry && entry->answer ? entry->answer->forward.get() : nullptr;
        if (root && !root->children().empty() && session.askNode(*root->children().front(), false))
            readLines(session, opened, pane);
    }
    return 0;
}
