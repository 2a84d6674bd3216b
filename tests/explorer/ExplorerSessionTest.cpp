// The explorer's command line, vocabulary and session model, without a window.
#include "ExplorerArguments.h"
#include "ExplorerSession.h"
#include "ExplorerTestSupport.h"
#include "Vocabulary.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

using explorertest::Workspace;

ExplorerArguments parse(std::vector<const char *> arguments)
{
    arguments.insert(arguments.begin(), "morvanet-explorer");
    return parseExplorerArguments(static_cast<int>(arguments.size()), arguments.data());
}

std::shared_ptr<const OpenedCorpus> open(const ExplorerSession &session, const QString &path)
{
    OpenedCorpus::Outcome outcome = OpenedCorpus::open(session.requestFor(QFile::encodeName(path).toStdString()));
    EXPECT_TRUE(outcome.opened) << outcome.reason;
    return std::shared_ptr<const OpenedCorpus>(std::move(outcome.opened));
}

std::string rootLabel(const ExplorerSession &session)
{
    const ExplorerSession::Entry *entry = session.current();
    if (!entry || !entry->answer)
        return {};
    return (entry->answer->forward ? entry->answer->forward : entry->answer->backward)->label();
}

TEST(ExplorerArguments, SetTheControlsAndPassTheToolkitsOptionsOn)
{
    const ExplorerArguments all = parse({"--both", "--ignore", "--unicode", "--depth=3", "--min-count", "2",
                                         "--max-bytes", "100", "-platform", "offscreen", "-geometry", "800x600",
                                         "texts", "the cat"});
    ASSERT_EQ(all.outcome, ExplorerArguments::Outcome::Run) << all.error;
    EXPECT_EQ(all.controls.direction, QueryDirection::Both);
    EXPECT_TRUE(all.controls.corpus.foldCase);
    EXPECT_EQ(all.controls.corpus.words, WordRules::Unicode);
    EXPECT_EQ(all.controls.pruning.maxDepth, 3u);
    EXPECT_EQ(all.controls.pruning.minCount, 2u);
    EXPECT_EQ(all.controls.maxBytes, 100u);
    EXPECT_TRUE(all.controlsGiven);
    EXPECT_EQ(all.path, "texts");
    EXPECT_EQ(all.phrase, "the cat");
    EXPECT_EQ(all.toolkit, (std::vector<std::string>{"morvanet-explorer", "-platform", "offscreen", "-geometry",
                                                     "800x600"}));

    // --segment reads UTF-8 as --unicode does; with it, whichever comes first, the words are segmented.
    EXPECT_EQ(parse({"--segment", "--unicode", "texts"}).controls.corpus.words, WordRules::Segmented);
    EXPECT_EQ(parse({"--unicode", "--seg", "texts"}).controls.corpus.words, WordRules::Segmented);
    EXPECT_EQ(parse({"--show", "lemma", "texts"}).controls.corpus.show, "lemma");
    EXPECT_EQ(parse({"--show=word", "texts"}).controls.corpus.show, "");

    const ExplorerArguments plain = parse({"--", "--reverse"});
    EXPECT_EQ(plain.outcome, ExplorerArguments::Outcome::Run);
    EXPECT_EQ(plain.path, "--reverse");
    EXPECT_FALSE(plain.phraseGiven);
    EXPECT_FALSE(plain.controlsGiven);

    EXPECT_EQ(parse({"--help"}).outcome, ExplorerArguments::Outcome::Help);
    EXPECT_EQ(parse({"--vers"}).outcome, ExplorerArguments::Outcome::Version);
    for (const auto &wrong : std::vector<std::vector<const char *>>{
             {"--nonsense"}, {"--depth"}, {"--depth", "-1"}, {"--min-count=x"}, {"--reverse", "--both"},
             {"--both=1"}, {"a", "b", "c"}, {"-platform"}, {"--show="}, {"--s", "x"}}) {
        const ExplorerArguments parsed = parse(wrong);
        EXPECT_EQ(parsed.outcome, ExplorerArguments::Outcome::Wrong) << wrong.front();
        EXPECT_FALSE(parsed.error.empty());
    }
}

TEST(Vocabulary, CompletesTheMostFrequentFirstUnderTheCaseRule)
{
    const char text[] = "the then the they the then The Theatre";
    const Corpus plain(text, sizeof text - 1);
    const Vocabulary exact(plain);
    EXPECT_EQ(exact.complete(QStringLiteral("th"), 10),
              (QStringList{QStringLiteral("the"), QStringLiteral("then"), QStringLiteral("they")}));
    EXPECT_EQ(exact.complete(QStringLiteral("Th"), 1), QStringList{QStringLiteral("The")});
    EXPECT_TRUE(exact.complete(QStringLiteral("x"), 10).isEmpty());

    const Corpus folded(text, sizeof text - 1, CorpusOptions{WordRules::Bytes, true});
    const QStringList any = Vocabulary(folded).complete(QStringLiteral("TH"), 2);
    ASSERT_EQ(any.size(), 2);
    EXPECT_EQ(any.front().toLower(), QStringLiteral("the"));  // 5 of 8, case aside

    // Made on the loading thread after the corpus: a stop set then is
    // heeded, and one never set changes nothing.
    const std::atomic<bool> stop{true}, going{false};
    EXPECT_THROW(Vocabulary(plain, &stop), Progress::Stopped);
    EXPECT_EQ(Vocabulary(plain, &going).complete(QStringLiteral("th"), 10), exact.complete(QStringLiteral("th"), 10));
}

TEST(ExplorerSession, AsksAndStepsThroughQuestionsWithTheirControls)
{
    Workspace workspace;
    ExplorerSession session;
    QSignalSpy failures(&session, &ExplorerSession::failed);
    using Asked = ExplorerSession::Asked;
    EXPECT_EQ(session.ask("cat"), Asked::NoCorpus);  // nothing open yet
    session.setCorpus(open(session, workspace.folder()), nullptr);
    // Trees that cross sentences, so that "The cat" has something before it.
    session.setSentences(false);
    ASSERT_EQ(session.ask("The cat"), Asked::Found);
    EXPECT_EQ(rootLabel(session), "The cat");
    EXPECT_EQ(session.current()->answer->forward->count(), 3u);

    // A phrase that does not occur is kept as an entry that tells which of
    // its words the corpus lacks; Back returns to the tree before it. One
    // without words is not asked at all.
    EXPECT_EQ(session.ask("The unicorn sat"), Asked::NotFound);
    ASSERT_EQ(session.history().size(), 2u);
    EXPECT_FALSE(session.current()->found());
    EXPECT_EQ(session.current()->answer->missingTokens, std::vector<std::string>{"unicorn"});
    EXPECT_EQ(session.ask("   "), Asked::NoTokens);
    EXPECT_EQ(session.history().size(), 2u);
    EXPECT_EQ(failures.size(), 3);
    session.goBack();
    EXPECT_EQ(rootLabel(session), "The cat");

    // A direction change asks the phrase again; pruning changes the entry shown.
    session.setDirection(QueryDirection::Both);
    ASSERT_EQ(session.history().size(), 2u);
    ASSERT_TRUE(session.current()->answer->backward);
    TreePruning shallow;
    shallow.maxDepth = 1;
    session.setPruning(shallow);
    EXPECT_EQ(session.current()->controls.pruning.maxDepth, 1u);

    // Clicking a label follows its branch, in the direction shown: the
    // phrase (with what both roots absorbed) and the label; on the side of
    // what precedes, the label comes first. With Shift, the label alone.
    const QueryAnswer &both = *session.current()->answer;
    const PhraseNode &before = *both.backward->children().front();
    std::string text;
    EXPECT_EQ(session.branchTokensOf(before, false, &text).size(),
              session.tokensOf(*both.backward, false).size() + before.tokenCount());
    EXPECT_EQ(text, before.label() + " " + both.backward->label());
    const PhraseNode &child = *both.forward->children().front();
    const std::string childLabel = both.forward->label() + " " + child.label();
    ASSERT_TRUE(session.askNode(child, false));
    EXPECT_EQ(session.current()->phrase, childLabel);
    EXPECT_EQ(session.current()->answer->forward->count(), child.count());
    EXPECT_EQ(session.current()->controls.direction, QueryDirection::Both);

    session.goBack();
    EXPECT_EQ(session.controls().direction, QueryDirection::Both);
    EXPECT_EQ(session.controls().pruning.maxDepth, 1u);
    session.goBack();
    EXPECT_EQ(session.controls().direction, QueryDirection::After);
    EXPECT_EQ(session.controls().pruning.maxDepth, UINT32_MAX);
    EXPECT_FALSE(session.canGoBack());
    session.goForward();
    session.goForward();
    EXPECT_EQ(session.current()->phrase, childLabel);
    EXPECT_FALSE(session.canGoForward());

    // A new question drops what lay ahead.
    session.goBack();
    ASSERT_EQ(session.ask("sat"), Asked::Found);
    EXPECT_EQ(session.history().size(), 3u);
    EXPECT_FALSE(session.canGoForward());

    // Stopping at sentence ends asks again: no branch of what precedes "cat"
    // goes on before the "." that ends the sentence before.
    const auto crossesASentenceEnd = [](const PhraseNode &root) {
        std::vector<const PhraseNode *> nodes{&root};
        while (!nodes.empty()) {
            const PhraseNode &node = *nodes.back();
            nodes.pop_back();
            const std::string label = node.label();
            if (label.find(" .") != std::string::npos || (label.starts_with('.') && !node.children().empty()))
                return true;
            for (const auto &child : node.children())
                nodes.push_back(child.get());
        }
        return false;
    };
    ASSERT_EQ(session.ask("cat"), Asked::Found);
    EXPECT_TRUE(crossesASentenceEnd(*session.current()->answer->backward));
    session.setSentences(true);
    EXPECT_EQ(session.history().size(), 5u);
    EXPECT_FALSE(crossesASentenceEnd(*session.current()->answer->backward));
}

TEST(ExplorerSession, ReindexesForOtherWordRulesAndAsksTheQuestionAgain)
{
    Workspace workspace;
    ExplorerSession session;
    session.setCorpus(open(session, workspace.folder()), nullptr);
    ASSERT_EQ(session.ask("the cat"), ExplorerSession::Asked::Found);
    EXPECT_EQ(session.current()->answer->forward->count(), 1u);

    QSignalSpy wanted(&session, &ExplorerSession::loadWanted);
    session.setCorpusOptions(CorpusOptions{WordRules::Bytes, true});
    ASSERT_EQ(wanted.size(), 1);
    const auto request = wanted.front().front().value<CorpusRequest>();
    EXPECT_TRUE(request.options.foldCase);
    // The worker's corpus arrives: the phrase is asked again, as a new entry.
    session.setCorpus(open(session, workspace.folder()), nullptr);
    ASSERT_EQ(session.history().size(), 2u);
    EXPECT_EQ(session.current()->answer->forward->count(), 5u);

    // Back to the entry asked under case: it wants the other index again.
    session.goBack();
    EXPECT_FALSE(session.controls().corpus.foldCase);
    EXPECT_EQ(wanted.size(), 2);
    EXPECT_FALSE(session.current()->answer);
    session.setCorpus(open(session, workspace.folder()), nullptr);
    ASSERT_TRUE(session.current()->answer);
    EXPECT_EQ(session.current()->answer->forward->count(), 1u);
    EXPECT_EQ(session.history().size(), 2u);

    // A failed re-index leaves the controls as the open corpus was made.
    session.setCorpusOptions(CorpusOptions{WordRules::Unicode, false});
    session.loadEnded();
    EXPECT_EQ(session.controls().corpus, session.corpus()->request().options);

    // Another corpus starts a new history and asks what was waiting for it.
    session.open(QFile::encodeName(workspace.text(QStringLiteral("a.txt"))).toStdString(), "dog");
    session.setCorpus(open(session, workspace.text(QStringLiteral("a.txt"))), nullptr);
    EXPECT_EQ(session.history().size(), 1u);
    EXPECT_EQ(rootLabel(session), "dog sat on the log .");

    // A corpus without a backward index is indexed anew for a tree of what
    // precedes, rather than sorted on the window's thread.
    CorpusRequest forwardOnly = session.requestFor(QFile::encodeName(workspace.folder()).toStdString());
    forwardOnly.backward = false;
    session.setCorpus(std::shared_ptr<const OpenedCorpus>(OpenedCorpus::open(forwardOnly).opened), nullptr);
    ASSERT_EQ(session.ask("cat"), ExplorerSession::Asked::Found);
    session.setDirection(QueryDirection::Before);
    ASSERT_EQ(wanted.size(), 5);
    EXPECT_TRUE(wanted.back().front().value<CorpusRequest>().backward);
    EXPECT_FALSE(session.corpus()->corpus().hasBackward());
}

TEST(ExplorerSession, ControlsChangedDuringALoadApplyToTheCorpusOnItsWay)
{
    Workspace workspace;
    ExplorerSession session;
    QSignalSpy wanted(&session, &ExplorerSession::loadWanted);
    QSignalSpy unwanted(&session, &ExplorerSession::loadUnwanted);
    const auto wantedRequest = [&] { return wanted.back().front().value<CorpusRequest>(); };
    session.setCorpus(open(session, workspace.folder()), nullptr);
    ASSERT_EQ(session.ask("cat"), ExplorerSession::Asked::Found);

    // A file is opened, and Ignore Case comes before it is there: the file
    // is opened folded (not the folder indexed anew) and its phrase asked of it.
    const std::string file = QFile::encodeName(workspace.text(QStringLiteral("a.txt"))).toStdString();
    session.open(file, "the cat");
    EXPECT_FALSE(session.canGoBack());
    session.setCorpusOptions(CorpusOptions{WordRules::Bytes, true});
    ASSERT_EQ(wanted.size(), 2);
    EXPECT_EQ(wantedRequest().path, file);
    EXPECT_TRUE(wantedRequest().options.foldCase);
    session.setCorpus(open(session, workspace.text(QStringLiteral("a.txt"))), nullptr);
    EXPECT_EQ(rootLabel(session), "the cat");
    EXPECT_EQ(session.current()->answer->forward->count(), 3u);

    // Toggled twice while the corpus is indexed anew: the load is dropped
    // and the controls stay the second toggle's, the open corpus's.
    session.setCorpusOptions(CorpusOptions{WordRules::Bytes, false});
    EXPECT_EQ(wanted.size(), 3);
    session.setCorpusOptions(CorpusOptions{WordRules::Bytes, true});
    EXPECT_EQ(unwanted.size(), 1);
    EXPECT_EQ(session.loading(), nullptr);
    EXPECT_TRUE(session.controls().corpus.foldCase);

    // A label clicked while the corpus is indexed anew is asked of the new
    // index by its text, not of the old one under the new controls.
    session.setCorpusOptions(CorpusOptions{WordRules::Bytes, false});
    const PhraseNode &child = *session.current()->answer->forward->children().front();
    const std::size_t entries = session.history().size();
    EXPECT_FALSE(session.askNode(child, false, true));
    EXPECT_EQ(session.history().size(), entries);
    EXPECT_EQ(session.pendingPhrase(), child.label());

    // That load is stopped: what waited for it is dropped, and a corpus opened later does not ask it.
    session.loadEnded();
    EXPECT_FALSE(session.pendingPhrase());
    EXPECT_TRUE(session.controls().corpus.foldCase);
    session.open(QFile::encodeName(workspace.folder()).toStdString());
    session.setCorpus(open(session, workspace.folder()), nullptr);
    EXPECT_EQ(session.current(), nullptr);
}

}  // namespace
