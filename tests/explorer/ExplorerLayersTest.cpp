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

// Six sentences of word, lemma and part of speech; "said" and "says" are
// both "say", and four of the five "say"s go on with "unto" (ADP).
std::string saidConllu()
{
    struct Word {
        const char *word, *lemma, *pos;
    };
    const std::vector<std::vector<Word>> sentences{
        {{"And", "and", "CCONJ"}, {"God", "God", "PROPN"}, {"said", "say", "VERB"}, {"unto", "unto", "ADP"},
         {"Moses", "Moses", "PROPN"}, {".", ".", "PUNCT"}},
        {{"Moses", "Moses", "PROPN"}, {"said", "say", "VERB"}, {"to", "to", "ADP"}, {"the", "the", "DET"},
         {"people", "people", "NOUN"}, {".", ".", "PUNCT"}},
        {{"He", "he", "PRON"}, {"says", "say", "VERB"}, {"unto", "unto", "ADP"}, {"them", "they", "PRON"},
         {".", ".", "PUNCT"}},
        {{"The", "the", "DET"}, {"LORD", "LORD", "PROPN"}, {"spake", "speak", "VERB"}, {"unto", "unto", "ADP"},
         {"Moses", "Moses", "PROPN"}, {".", ".", "PUNCT"}},
        {{"And", "and", "CCONJ"}, {"he", "he", "PRON"}, {"said", "say", "VERB"}, {"unto", "unto", "ADP"},
         {"him", "he", "PRON"}, {".", ".", "PUNCT"}},
        {{"Aaron", "Aaron", "PROPN"}, {"said", "say", "VERB"}, {"unto", "unto", "ADP"}, {"Moses", "Moses", "PROPN"},
         {",", ",", "PUNCT"}, {"Let", "let", "VERB"}, {"us", "we", "PRON"}, {"go", "go", "VERB"},
         {".", ".", "PUNCT"}},
    };
    std::string text = "# newdoc id = exodus\n";
    for (const std::vector<Word> &sentence : sentences) {
        for (std::size_t i = 0; i < sentence.size(); ++i) {
            const bool glued = i + 1 < sentence.size() && std::string(sentence[i + 1].pos) == "PUNCT";
            text += std::to_string(i + 1) + '\t' + sentence[i].word + '\t' + sentence[i].lemma + '\t'
                    + sentence[i].pos + "\t_\t_\t0\tdep\t_\t" + (glued ? "SpaceAfter=No" : "_") + '\n';
        }
        text += '\n';
    }
    return text;
}

std::unique_ptr<ExplorerWindow> openedWindow(const QString &path, ExplorerControls controls = {})
{
    auto window = std::make_unique<ExplorerWindow>(controls);
    window->resize(900, 900);
    window->show();
    window->openPath(path);
    EXPECT_TRUE(waitFor([&] { return !window->loader().busy(); }));
    EXPECT_TRUE(window->session().corpus()) << window->statusText().toStdString();
    return window;
}

QStringList items(const QComboBox &box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts.push_back(box.itemText(i));
    return texts;
}

void choose(QComboBox &box, const QString &text)
{
    const int index = box.findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box.setCurrentIndex(index);
    emit box.activated(index);
}

TEST(ExplorerLayers, ShowBoxIndexesByTheLayerChosenAndAsksThePhraseAgain)
{
    Workspace workspace;
    const QString conllu = workspace.file(QStringLiteral("said.conllu"));
    explorertest::writeFile(conllu, saidConllu());
    auto window = openedWindow(conllu);
    QComboBox &show = window->showBox();
    EXPECT_EQ(items(show), (QStringList{QStringLiteral("word"), QStringLiteral("lemma"), QStringLiteral("pos"),
                                        QStringLiteral("xpos"), QStringLiteral("feats"), QStringLiteral("deprel")}));
    EXPECT_EQ(show.currentText(), QStringLiteral("word"));
    EXPECT_TRUE(show.isEnabled());
    window->search(QStringLiteral("say"));
    ASSERT_TRUE(window->session().current());
    EXPECT_FALSE(window->session().current()->found());

    // By lemma, "say" stands for "said" and "says": asked again once indexed.
    choose(show, QStringLiteral("lemma"));
    ASSERT_TRUE(waitFor([&] { return !window->loader().busy(); }));
    EXPECT_EQ(window->session().corpus()->request().options.shownLayer(), "lemma");
    ASSERT_TRUE(window->session().current() && window->session().current()->found());
    EXPECT_EQ(window->session().current()->answer->forward->count(), 5u);
    EXPECT_EQ(show.currentText(), QStringLiteral("lemma"));
    // Back goes to the question asked by word, indexing by word again.
    window->session().goBack();
    ASSERT_TRUE(waitFor([&] { return !window->loader().busy(); }));
    EXPECT_EQ(show.currentText(), QStringLiteral("word"));
    EXPECT_FALSE(window->session().current()->found());
    choose(show, QStringLiteral("pos"));
    ASSERT_TRUE(waitFor([&] { return !window->loader().busy(); }));
    window->close();  // writes the settings
    EXPECT_EQ(savedExplorerControls().corpus.shownLayer(), "pos");

    // A new window opens by the layer kept; a plain text has the word layer
    // only, and a file without the layer kept is shown by word.
    auto again = openedWindow(conllu, savedExplorerControls());
    EXPECT_EQ(again->session().corpus()->corpus().layerName(again->session().corpus()->corpus().shownLayer()), "pos");
    again->openPath(workspace.text(QStringLiteral("a.txt")));
    ASSERT_TRUE(waitFor([&] { return !again->loader().busy(); }));
    ASSERT_FALSE(again->session().corpus()->corpus().annotated());
    EXPECT_EQ(items(again->showBox()), QStringList{QStringLiteral("word")});
    EXPECT_FALSE(again->showBox().isEnabled());

    // A saved index shows the layer it was saved with, and the box cannot change it.
    const QString index = workspace.file(QStringLiteral("said.index"));
    ASSERT_EQ(runTool({QStringLiteral("--show"), QStringLiteral("lemma"), QStringLiteral("--save-index"), index,
                       conllu})
                  .status,
              0);
    again->openPath(index, std::string("say"));
    ASSERT_TRUE(waitFor([&] { return !again->loader().busy(); }));
    ASSERT_TRUE(again->session().corpus()->saved()) << again->statusText().toStdString();
    EXPECT_EQ(again->showBox().currentText(), QStringLiteral("lemma"));
    EXPECT_FALSE(again->showBox().isEnabled());
    EXPECT_TRUE(again->session().current() && again->session().current()->found());

    // The tooltip's layers of a token.
    const Corpus &corpus = again->session().corpus()->corpus();
    EXPECT_EQ(layerTip(corpus, 2),
              QStringLiteral("word: said \u00B7 lemma: say \u00B7 pos: VERB \u00B7 xpos: _ \u00B7 feats: _ \u00B7 "
                             "deprel: dep"));
    EXPECT_TRUE(layerTip(corpus, corpus.end()).isEmpty());
}

TEST(ExplorerLayers, PatternIsDrawnListedFollowedAndExportedAsTheCommandDoes)
{
    Workspace workspace;
    const QString conllu = workspace.file(QStringLiteral("said.conllu"));
    explorertest::writeFile(conllu, saidConllu());
    auto window = openedWindow(conllu);
    const QString pattern = QStringLiteral("[lemma=\"say\"] [pos=\"ADP\"]");
    window->search(pattern);
    ASSERT_TRUE(window->canvas().answer()) << window->statusText().toStdString();
    const PhraseNode &root = *window->canvas().answer()->forward;
    EXPECT_EQ(root.count(), 5u);

    // The lines: every occurrence, and those through a node.
    LinesPane &lines = window->linesPane();
    const ExplorerSession::Lines all = window->session().lines();
    EXPECT_EQ(all.starts.size(), 5u);
    EXPECT_EQ(all.length, 2u);
    const PhraseNode *moses = nullptr;
    for (const auto &child : root.children()) {
        if (child->label() == "Moses")
            moses = child.get();
    }
    ASSERT_TRUE(moses);
    EXPECT_EQ(window->session().linesThrough(*moses, false).starts.size(), 2u);
    ASSERT_TRUE(window->exportLines(workspace.file(QStringLiteral("lines.tsv"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("lines.tsv"))),
              runTool({QStringLiteral("--kwic"), QStringLiteral("8"), conllu, pattern})
                  .out.replace(QFile::encodeName(conllu), QByteArray("said.conllu")));
    EXPECT_EQ(lines.model()->totalCount(), 5u);
    // The phrase column's first character is the occurrence's first token.
    EXPECT_EQ(lines.model()->tokenAt(0, ConcordanceModel::PhraseColumn, 0), all.starts.front());
    EXPECT_EQ(lines.model()->tokenAt(0, ConcordanceModel::PhraseColumn, 4), std::nullopt);  // "said unto": the blank
    EXPECT_EQ(lines.model()->tokenAt(0, ConcordanceModel::PhraseColumn, 5), all.starts.front() + 1);
    ASSERT_TRUE(window->exportTree(workspace.file(QStringLiteral("tree.json"))));
    EXPECT_EQ(readAll(workspace.file(QStringLiteral("tree.json"))),
              runTool({QStringLiteral("--sentences"), QStringLiteral("--json"), conllu, pattern}).out);

    // A click follows the branch as the pattern and one exact token more;
    // Shift+click searches the label alone; Back and Forward step through.
    ASSERT_TRUE(window->session().askNode(*moses, false));
    EXPECT_EQ(window->session().current()->phrase, "[lemma=\"say\"] [pos=\"ADP\"] [word=\"Moses\"]");
    EXPECT_EQ(window->phraseLine().text(), QStringLiteral("[lemma=\"say\"] [pos=\"ADP\"] [word=\"Moses\"]"));
    EXPECT_EQ(window->session().current()->answer->forward->count(), 2u);
    EXPECT_EQ(window->session().lines().starts.size(), 2u);
    window->session().goBack();
    EXPECT_EQ(window->phraseLine().text(), pattern);
    const PhraseNode &back = *window->canvas().answer()->forward;
    const PhraseNode *alone = nullptr;
    for (const auto &child : back.children()) {
        if (child->label() == "Moses")
            alone = child.get();
    }
    ASSERT_TRUE(alone);
    ASSERT_TRUE(window->session().askNode(*alone, false, true));
    EXPECT_EQ(window->session().current()->phrase, "Moses");
    EXPECT_EQ(window->session().current()->answer->forward->count(), 4u);
    window->session().goBack();
    window->session().goForward();
    EXPECT_EQ(window->session().current()->phrase, "Moses");

    // Before the pattern: a click puts the branch's tokens in front of it.
    window->search(QStringLiteral("[pos=\"ADP\"]"));
    window->session().setDirection(QueryDirection::Before);
    const PhraseNode &before = *window->canvas().answer()->backward;
    const PhraseNode *said = nullptr;
    for (const auto &child : before.children()) {
        if (child->label() == "said")
            said = child.get();
    }
    ASSERT_TRUE(said);
    ASSERT_TRUE(window->session().askNode(*said, false));
    EXPECT_EQ(window->session().current()->phrase, "[word=\"said\"] [pos=\"ADP\"]");
    EXPECT_EQ(window->session().lines().starts.size(), 4u);

    // What cannot be asked is told in the status bar.
    for (const auto &[typed, reason] : std::vector<std::pair<QString, QString>>{
             {QStringLiteral("[lema=\"say\"]"), QStringLiteral("pattern: no layer \"lema\"")},
             {QStringLiteral("[word=\"(\"]"), QStringLiteral("is no regular expression")},
             {QStringLiteral("[word=\"say\""), QStringLiteral("pattern: expected")}}) {
        window->search(typed);
        EXPECT_TRUE(window->statusText().contains(reason)) << window->statusText().toStdString();
    }

    // Completion: layer names after "[" and "&", values by frequency after LAYER=".
    QLineEdit &line = window->phraseLine();
    line.clear();
    line.setFocus();
    QTest::keyClicks(&line, QStringLiteral("["));
    EXPECT_EQ(window->completions().size(), 6);
    QTest::keyClicks(&line, QStringLiteral("le"));
    EXPECT_EQ(window->completions(), QStringList{QStringLiteral("lemma")});
    line.clear();
    QTest::keyClicks(&line, QStringLiteral("[lemma=\"s"));
    EXPECT_EQ(window->completions(), (QStringList{QStringLiteral("say"), QStringLiteral("speak")}));
    line.clear();
    QTest::keyClicks(&line, QStringLiteral("[lemma=\"say\" & pos=\""));
    // VERB 8 times, PROPN and PUNCT 7 each: ties in text order.
    ASSERT_GE(window->completions().size(), 3);
    EXPECT_EQ(window->completions().mid(0, 3),
              (QStringList{QStringLiteral("VERB"), QStringLiteral("PROPN"), QStringLiteral("PUNCT")}));
    line.clear();
    QTest::keyClicks(&line, QStringLiteral("\"Mo"));
    EXPECT_EQ(window->completions(), QStringList{QStringLiteral("Moses")});
}

}  // namespace
