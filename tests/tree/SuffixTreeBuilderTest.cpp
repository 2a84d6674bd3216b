// The suffix-array builder against the grouping builder: the same trees on random, real and repetitive texts.
#include "GroupingPhraseTree.h"
#include "PhraseSearch.h"
#include "SuffixTreeBuilder.h"
#include "TreeShaping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The first difference between two trees in pre-order (labels, bit-exact
// weights, child counts), or "" if there is none.
std::string firstDifference(const PhraseNode *expected, const PhraseNode *actual)
{
    if (!expected || !actual)
        return expected == actual ? "" : (expected ? "no tree built" : "a tree where none was expected");
    std::vector<std::pair<const PhraseNode *, const PhraseNode *>> pending{{expected, actual}};
    while (!pending.empty()) {
        const auto [e, a] = pending.back();
        pending.pop_back();
        const std::string where = "at '" + e->label().substr(0, 200) + "': ";
        if (e->label() != a->label())
            return where + "label '" + a->label().substr(0, 200) + "'";
        if (e->count() != a->count())
            return where + "count " + std::to_string(a->count()) + " instead of " + std::to_string(e->count());
        if (std::bit_cast<std::uint32_t>(e->weight()) != std::bit_cast<std::uint32_t>(a->weight()))
            return where + "weight " + std::to_string(a->weight()) + " instead of " + std::to_string(e->weight());
        if (e->children().size() != a->children().size())
            return where + std::to_string(a->children().size()) + " children instead of "
                   + std::to_string(e->children().size());
        for (std::size_t i = e->children().size(); i-- > 0;)
            pending.emplace_back(e->children()[i].get(), a->children()[i].get());
    }
    return "";
}

// Both builders agree on `phrase`: labels, counts, display weights, order.
::testing::AssertionResult sameTrees(const Corpus &corpus, const std::string &phrase)
{
    const std::string difference =
        firstDifference(buildGroupingPhraseTree(corpus, phrase).get(), buildPhraseTree(corpus, phrase).get());
    if (difference.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "phrase '" << phrase << "': " << difference;
}

std::unique_ptr<Corpus> corpusOf(const std::string &text)
{
    return std::make_unique<Corpus>(text.data(), static_cast<std::uint32_t>(text.size()));
}

// Every label of the tree, as clicks on them would search.
std::vector<std::string> labelsOf(const PhraseNode &root)
{
    std::vector<std::string> labels;
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty()) {
        const PhraseNode *node = pending.back();
        pending.pop_back();
        labels.push_back(node->label());
        for (const auto &child : node->children())
            pending.push_back(child.get());
    }
    return labels;
}

TEST(SuffixTreeBuilder, RandomTextsOverTinyVocabularies)
{
    // Few tokens give shared runs across ".", continuations that reach the
    // end of the text (a prefix of another), overlapping occurrences, ties.
    std::mt19937 random(606);
    const std::vector<std::string> alphabets[] = {
        {"a"}, {"a", "."}, {"a", "b"}, {"a", "b", "."}, {"a", "b", "c", "."}, {"a", "b", "c", "d", ".", "e"}};
    for (int round = 0; round < 3000; ++round) {
        const auto &alphabet = alphabets[round % 6];
        const std::size_t length = random() % (round < 2000 ? 40 : 300);
        std::string text;
        for (std::size_t i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()] + " ";
        const auto corpus = corpusOf(text);
        for (int q = 0; q < 4; ++q) {
            std::string phrase;
            for (unsigned i = 0, words = 1 + random() % 3; i < words; ++i)
                phrase += alphabet[random() % alphabet.size()] + " ";
            ASSERT_TRUE(sameTrees(*corpus, phrase)) << "text '" << text << "'";
        }
    }
}

TEST(SuffixTreeBuilder, ExpansionCounterAcrossLevels)
{
    // "x" is followed by many words, some once (with and without "."), some
    // repeatedly: calls pass 50 expansions, and repeated groups met after
    // that hand a counter of 50 or more down to their own single groups,
    // also through runs that lose an occurrence at the end of the text.
    std::mt19937 random(50);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const unsigned segments = 30 + random() % 150;
        const unsigned words = 10 + random() % 120;
        for (unsigned s = 0; s < segments; ++s) {
            text += random() % 3 ? "x " : "x x ";
            if (random() % 6 == 0)
                text += ". ";
            text += "w" + std::to_string(random() % words) + " ";
            for (unsigned i = 0, tail = random() % 5; i < tail; ++i)
                text += random() % 4 ? "v" + std::to_string(random() % 8) + " " : ". ";
        }
        if (round % 5 == 0)
            text += "x w1 v1";  // a continuation that runs into the end of the text
        const auto corpus = corpusOf(text);
        for (const char *phrase : {"x", "x x", ". x", "v1", "."})
            ASSERT_TRUE(sameTrees(*corpus, phrase)) << "text '" << text << "'";
    }
}

TEST(SuffixTreeBuilder, CounterReachesTheLimitInsideRepeatedGroups)
{
    // The root's call grows 60 repeated groups first; the later ones start
    // at counters past 50, so their single continuations are one-token leaves
    // while a single group met before the limit runs on to the ".".
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "x r" + std::to_string(i) + " a" + std::to_string(i) + " y . x r" + std::to_string(i) + " b"
                + std::to_string(i) + " y . ";
    text += "x lone one two . x r59 c d e";
    const auto corpus = corpusOf(text);
    ASSERT_TRUE(sameTrees(*corpus, "x"));
    const auto root = buildPhraseTree(*corpus, "x");
    ASSERT_NE(root, nullptr);
    // "r59" met late: three single continuations, each cut to one token.
    const auto late = std::find_if(root->children().begin(), root->children().end(),
                                   [](const auto &child) { return child->label() == "r59"; });
    ASSERT_NE(late, root->children().end());
    ASSERT_EQ((*late)->children().size(), 3u);
    for (const auto &child : (*late)->children())
        EXPECT_EQ(child->label().find(' '), std::string::npos) << child->label();
    const auto lone = std::find_if(root->children().begin(), root->children().end(),
                                   [](const auto &child) { return child->label().rfind("lone", 0) == 0; });
    ASSERT_NE(lone, root->children().end());
    EXPECT_EQ((*lone)->label(), "lone");
}

class RealText : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::ifstream file(MORVANET_SOURCE_DIR "/samples/genesis.txt", std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        text_ = new std::string(bytes.str());
        corpus_ = new Corpus(text_->data(), static_cast<std::uint32_t>(text_->size()));
    }
    static void TearDownTestSuite()
    {
        delete corpus_;
        delete text_;
    }
    static std::string *text_;
    static Corpus *corpus_;
};
std::string *RealText::text_ = nullptr;
Corpus *RealText::corpus_ = nullptr;

TEST_F(RealText, FrequentTokensAndDrawnPhrases)
{
    ASSERT_GT(corpus_->tokenCount(), 10000u);
    std::map<std::string_view, int> counts;
    for (Corpus::Position p = 0; p < corpus_->end(); ++p)
        ++counts[corpus_->token(p)];
    std::vector<std::pair<int, std::string_view>> frequent;
    for (const auto &[token, count] : counts)
        frequent.emplace_back(-count, token);
    std::sort(frequent.begin(), frequent.end());
    for (std::size_t i = 0; i < 40 && i < frequent.size(); ++i)
        ASSERT_TRUE(sameTrees(*corpus_, std::string(frequent[i].second)));

    std::mt19937 random(1);
    for (int i = 0; i < 60; ++i) {
        const Corpus::Position p = random() % (corpus_->end() - 1);
        const std::string phrase = std::string(corpus_->token(p)) + " " + std::string(corpus_->token(p + 1));
        ASSERT_TRUE(sameTrees(*corpus_, phrase));
    }
}

TEST_F(RealText, ClickedLabels)
{
    // Labels are searched again as they are clicked: long collapsed runs,
    // the root's own text with its continuation, single tokens.
    for (const char *phrase : {"And", "the LORD", "God"}) {
        const auto root = buildPhraseTree(*corpus_, phrase);
        ASSERT_NE(root, nullptr);
        const std::vector<std::string> labels = labelsOf(*root);
        for (std::size_t i = 0; i < labels.size(); i += 1 + labels.size() / 80)
            ASSERT_TRUE(sameTrees(*corpus_, labels[i]));
    }
}

TEST(SuffixTreeBuilder, RepetitiveShapes)
{
    // The shapes that make the grouping quadratic, small enough for it.
    std::string la;
    for (int i = 0; i < 1500; ++i)
        la += "la ";
    const auto laCorpus = corpusOf(la);
    for (const char *phrase : {"la", "la la", "la la la"})
        EXPECT_TRUE(sameTrees(*laCorpus, phrase));
    const auto laTree = buildPhraseTree(*laCorpus, "la");
    ASSERT_NE(laTree, nullptr);
    EXPECT_TRUE(laTree->children().empty());  // one run to the end of the text
    EXPECT_TRUE(sameTrees(*laCorpus, laTree->label()));  // a click on it searches the whole text

    std::string logs;
    for (int i = 0; i < 150; ++i)
        logs += "2024-05-01 12:00:00 INFO worker.pool: task done in 3 ms\n";
    const auto logCorpus = corpusOf(logs);
    for (const char *phrase : {"INFO", ".", "done in", "3", ":"})
        EXPECT_TRUE(sameTrees(*logCorpus, phrase));

    std::string aStop;
    for (int i = 0; i < 1500; ++i)
        aStop += "a.";
    const auto aStopCorpus = corpusOf(aStop);
    for (const char *phrase : {"a", ".", "a . a", ". a ."})
        EXPECT_TRUE(sameTrees(*aStopCorpus, phrase));

    // Without ".", written twice: every occurrence runs with its twin to the
    // end of the first copy. A few repeated words make wide branching too.
    std::string list;
    std::mt19937 random(3);
    for (int i = 0; i < 800; ++i)
        list += (random() % 5 == 0 ? "the" : "w" + std::to_string(i)) + " ";
    const auto twiceCorpus = corpusOf(list + list);
    for (const char *phrase : {"the", "w1", "w799", "the the"})
        EXPECT_TRUE(sameTrees(*twiceCorpus, phrase));

    const auto distinct = corpusOf(list);
    EXPECT_TRUE(sameTrees(*distinct, "w7"));
    EXPECT_TRUE(sameTrees(*distinct, "the"));

    const auto oneToken = corpusOf(std::string(5000, 'z'));
    EXPECT_TRUE(sameTrees(*oneToken, std::string(5000, 'z')));
    EXPECT_EQ(buildPhraseTree(*oneToken, "z"), nullptr);
}

TEST(SuffixTreeBuilder, ChildrenAreMadeWhenFirstRead)
{
    // "la la ... l": every level branches into "la" and the final "l".
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "la ";
    text += "l";
    const auto corpus = corpusOf(text);
    const auto root = buildPhraseTree(*corpus, "la");
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(root->childrenMade());
    ASSERT_EQ(root->children().size(), 2u);
    EXPECT_TRUE(root->childrenMade());
    const PhraseNode &next = *root->children()[0];
    EXPECT_EQ(next.label(), "la");
    EXPECT_FALSE(next.childrenMade());
    EXPECT_EQ(root->children()[1]->label(), "l");
    EXPECT_TRUE(root->children()[1]->childrenMade());  // a leaf has nothing to make
    EXPECT_EQ(next.children().size(), 2u);
    EXPECT_TRUE(sameTrees(*corpus, "la"));
}

TEST(SuffixTreeBuilder, OccurrencesThatOverlapAreTakenFromTheLeft)
{
    // "a b a" inside "a b a b a": only the first is taken; the second starts inside it.
    const auto corpus = corpusOf("a b a b a c a b a d");
    const auto root = buildPhraseTree(*corpus, "a b a");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->count(), 2u);
    ASSERT_EQ(root->children().size(), 2u);
    EXPECT_EQ(root->children()[0]->label(), "b a c a b a d");
    EXPECT_EQ(root->children()[1]->label(), "d");
    EXPECT_TRUE(sameTrees(*corpus, "a b a"));
    EXPECT_TRUE(sameTrees(*corpus, "a b"));
}

}  // namespace
