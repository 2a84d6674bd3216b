// The explorer on an annotated corpus: the Show box, patterns typed and followed, their lines, exports,
// errors and completion, and the layers a tooltip lists.
#include "ConcordanceModel.h"
#include "ExplorerTestSupport.h"
#include "ExplorerWindow.h"
#include "LayerTip.h"
#include "LinesPane.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

using explorertest::readAll;
using explorertest::runTool;
using explorertest::waitFor;
using explorertest::Workspace;

// Six sentences of word|lemma|pos; "said" and "says" are both "say", and
// four of the five "say"s go on with "unto" (ADP).
std::string saidConllu()
{
    const char *const sentences[] = {
        "And|and|CCONJ God|God|PROPN said|say|VERB unto|unto|ADP Moses|Moses|PROPN .|.|PUNCT",
        "Moses|Moses|PROPN said|say|VERB to|to|ADP the|the|DET people|people|NOUN .|.|PUNCT",
        "He|he|PRON says|say|VERB unto|unto|ADP them|they|PRON .|.|PUNCT",
        "The|the|DET LORD|LORD|PROPN spake|speak|VERB unto|unto|ADP Moses|Moses|PROPN .|.|PUNCT",
        "And|and|CCONJ he|he|PRON said|say|VERB unto|unto|ADP him|he|PRON .|.|PUNCT",
        "Aaron|Aaron|PROPN said|say|VERB unto|unto|ADP Moses|Moses|PROPN ,|,|PUNCT Let|let|VERB us|we|PRON "
        "go|go|VERB .|.|PUNCT"};
    std::string text = "# newdoc id = exodus\n";
    for (const QString sentence : sentences) {
        const QStringList words = sentence.split(QLatin1Char(' '));
        for (qsizetype i = 0; i < words.size(); ++i) {
            const QStringList values = words[i].split(QLatin1Char('|'));
            const bool glued = i + 1 < words.size() && words[i + 1].endsWith(QLatin1String("PUNCT"));
            text += QStringLiteral("%1\t%2\t%3\t%4\t_\t_\t0\tdep\t_\t%5\n")
                        .arg(i + 1)
                        .arg(values[0], values[1], values[2], glued ? QStringLiteral("SpaceAfter=No") : QStringLiteral("_"))
                        .toStdString();
        }
        text += '\n';
    }
    return text;
}

using explorertest::openedWindow;

QStringList items(const QComboBox &box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts.push_back(box.itemText(i));
    return texts;
}

// Chooses `text` in `box` as a click would, and waits for the corpus indexed anew.
void choose(ExplorerWindow &window, const QString &text)
{
    const int index = window.showBox().findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    window.showBox().setCurrentIndex(index);
    emit window.showBox().activated(index);
    ASSERT_TRUE(waitFor([&] { return !window.opener().busy(); }));
}

const PhraseNode *childLabelled(const PhraseNode &node, const std::string &label)
{
    for (const auto &child : node.children()) {
        if (child->label() == label)
            return child.get();
    }
    return nullptr;
}

TEST(ExplorerLayers, ShowBoxIndexesByTheLayerChosenAndAsksThePhraseAgain)
{
    Workspace workspace;
    const QString conllu = workspace.file(QStringLiteral("said.conllu"));
    explorertest::writeFile(conllu, saidConllu());
    auto window = openedWindow(conllu);
    QComboBox &show = window->showBox();
    EXPECT_EQ(items(show).join(QLatin1Char(' ')), QStringLiteral("word lemma pos xpos feats deprel"));
    EXPECT_EQ(show.currentText(), QStringLiteral("word"));
    window->search(QStringLiteral("say"));
    EXPECT_FALSE(window->session().current()->found());

    // By lemma, "say" stands for "said" and "says": asked again once indexed.
    choose(*window, QStringLiteral("lemma"));
    EXPECT_EQ(window->session().corpus()->request().options.shownLayer(), "lemma");
    ASSERT_TRUE(window->session().current()->found());
    EXPECT_EQ(window->session().current()->answer->forward->count(), 5u);
    // Back goes to the question asked by word, indexing by word again.
    window->session().goBack();
    ASSERT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_EQ(show.currentText(), QStringLiteral("word"));
    EXPECT_FALSE(window->session().current()->found());
    choose(*window, QStringLiteral("pos"));
    window->close();  // writes the settings
    EXPECT_EQ(savedExplorerControls().corpus.shownLayer(), "pos");

    // A new window opens by the layer kept; a plain text has the word layer only.
    auto again = openedWindow(conllu, savedExplorerControls());
    EXPECT_EQ(again->showBox().currentText(), QStringLiteral("pos"));
    again->openPath(workspace.text(QStringLiteral("a.txt")));
    ASSERT_TRUE(waitFor([&] { return !again->opener().busy(); }));
    ASSERT_FALSE(again->session().corpus()->corpus().annotated()) << again->statusText().toStdString();
    EXPECT_EQ(items(again->showBox()), QStringList{QStringLiteral("word")});
    EXPECT_FALSE(again->showBox().isEnabled());

    // A saved index shows the layer it was saved with, and the box cannot change it.
    const QString index = workspace.file(QStringLiteral("said.index"));
    const QStringList save{QStringLiteral("--show"), QStringLiteral("lemma"), QStringLiteral("--save-index"), index};
    ASSERT_EQ(runTool(save + QStringList{conllu}).status, 0);
    again->openPath(index, std::string("say"));
    ASSERT_TRUE(waitFor([&] { return !again->opener().busy(); }));
    EXPECT_EQ(again->showBox().currentText(), QStringLiteral("lemma"));
    EXPECT_FALSE(again->showBox().isEnabled());
    EXPECT_TRUE(again->session().current() && again->session().current()->found());

    const Corpus &corpus = again->session().corpus()->corpus();
    EXPECT_EQ(layerTip(corpus, 2), QStringLiteral("word: said \u00B7 lemma: say \u00B7 pos: VERB \u00B7 xpos: _ \u00B7 "
                                                  "feats: _ \u00B7 deprel: dep"));
    EXPECT_TRUE(layerTip(corpus, corpus.end()).isEmpty());
}

TEST(ExplorerLayers, PatternIsDrawnListedFollowedAndExportedAsTheCommandDoes)
{
    Workspace workspace;
    const QString conllu = workspace.file(QStringLiteral("said.conllu"));
    explorertest::writeFile(conllu, saidConllu());
    auto window = openedWindow(conllu);
    ExplorerSession &session = window->session();
    const QString pattern = QStringLiteral("[lemma=\"say\"] [pos=\"ADP\"]");
    window->search(pattern);
    ASSERT_TRUE(window->canvas().answer()) << window->statusText().toStdString();

    // The lines: every occurrence, those through a node, and the token under a column's character.
    const ExplorerSession::Lines all = session.lines();
    EXPECT_EQ(all.starts.size(), 5u);
    const PhraseNode *moses = childLabelled(*window->canvas().answer()->forward, "Moses");
    ASSERT_TRUE(moses);
    EXPECT_EQ(session.linesThrough(*moses, false).starts.size(), 2u);
    ASSERT_TRUE(window->exportLines(workspace.file(QStringLiteral("lines.tsv"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("lines.tsv"))),
              runTool({QStringLiteral("--kwic"), QStringLiteral("8"), conllu, pattern})
                  .out.replace(QFile::encodeName(conllu), QByteArray("said.conllu")));
    const ConcordanceModel &model = *window->linesPane().model();
    EXPECT_EQ(model.tokenAt(0, ConcordanceModel::PhraseColumn, 0), all.starts.front());
    EXPECT_EQ(model.tokenAt(0, ConcordanceModel::PhraseColumn, 4), std::nullopt);  // "said unto": the blank
    EXPECT_EQ(model.tokenAt(0, ConcordanceModel::PhraseColumn, 5), all.starts.front() + 1);
    ASSERT_TRUE(window->exportTree(workspace.file(QStringLiteral("tree.json"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("tree.json"))),
              runTool({QStringLiteral("--sentences"), QStringLiteral("--json"), conllu, pattern}).out);

    // A click follows the branch as the pattern and one exact token more;
    // Shift+click searches the label alone; Back steps back.
    ASSERT_TRUE(session.askNode(*moses, false));
    EXPECT_EQ(window->phraseLine().text(), pattern + QStringLiteral(" [word=\"Moses\"]"));
    EXPECT_EQ(session.lines().starts.size(), 2u);
    session.goBack();
    EXPECT_EQ(window->phraseLine().text(), pattern);
    ASSERT_TRUE(session.askNode(*childLabelled(*window->canvas().answer()->forward, "Moses"), false, true));
    EXPECT_EQ(session.current()->phrase, "Moses");
    // Before the pattern, a click puts the branch's tokens in front of it.
    window->search(QStringLiteral("[pos=\"ADP\"]"));
    session.setDirection(QueryDirection::Before);
    const PhraseNode *said = childLabelled(*window->canvas().answer()->backward, "said");
    ASSERT_TRUE(said);
    ASSERT_TRUE(session.askNode(*said, false));
    EXPECT_EQ(session.current()->phrase, "[word=\"said\"] [pos=\"ADP\"]");
    EXPECT_EQ(session.lines().starts.size(), 4u);

    // What cannot be asked is told in the status bar.
    for (const auto &[typed, reason] : std::vector<std::pair<QString, QString>>{
             {QStringLiteral("[lema=\"say\"]"), QStringLiteral("pattern: no layer \"lema\"")},
             {QStringLiteral("[word=\"(\"]"), QStringLiteral("is no regular expression")},
             {QStringLiteral("[word=\"say\""), QStringLiteral("pattern: expected")}}) {
        window->search(typed);
        EXPECT_TRUE(window->statusText().contains(reason)) << window->statusText().toStdString();
    }

    // Completion: layer names after "[", values by frequency after LAYER=",
    // ties in text order (VERB 8 times, PROPN and PUNCT 7 each).
    QLineEdit &line = window->phraseLine();
    const auto offered = [&](const QString &typed) {
        line.clear();
        QTest::keyClicks(&line, typed);
        return window->completions().join(QLatin1Char(' '));
    };
    line.setFocus();
    EXPECT_EQ(offered(QStringLiteral("[")), QStringLiteral("word lemma pos xpos feats deprel"));
    EXPECT_EQ(offered(QStringLiteral("[lemma=\"s")), QStringLiteral("say speak"));
    EXPECT_TRUE(offered(QStringLiteral("[lemma=\"say\" & pos=\"")).startsWith(QStringLiteral("VERB PROPN PUNCT")));
    EXPECT_EQ(offered(QStringLiteral("\"Mo")), QStringLiteral("Moses"));
}

}  // namespace
