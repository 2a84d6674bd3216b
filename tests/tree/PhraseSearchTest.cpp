// Finding a phrase's occurrences and the root that buildPhraseTree makes of them.
#include "GroupingPhraseTree.h"
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Positions = std::vector<Corpus::Position>;
using Tokens = std::vector<std::string>;

std::unique_ptr<Corpus> corpusOf(std::string_view text)
{
    return std::make_unique<Corpus>(text.data(), static_cast<std::uint32_t>(text.size()));
}

Positions occurrencesOf(const Corpus &corpus, std::string_view phrase)
{
    Tokens query;
    Corpus::tokenize(phrase.data(), static_cast<std::uint32_t>(phrase.size()), query);
    return findOccurrences(corpus, query);
}

TEST(FindOccurrences, LeftToRightWithoutOverlap)
{
    const auto theTheCat = corpusOf("the the cat");
    EXPECT_EQ(occurrencesOf(*theTheCat, "the"), (Positions{1, 2}));
    EXPECT_EQ(occurrencesOf(*theTheCat, "the cat"), (Positions{3}));

    EXPECT_EQ(occurrencesOf(*corpusOf("a a a"), "a a"), (Positions{2}));
    EXPECT_EQ(occurrencesOf(*corpusOf("a a a a a"), "a a"), (Positions{2, 4}));
    // After a match the scan resumes at its end, not inside it.
    EXPECT_EQ(occurrencesOf(*corpusOf("a b a b a b a"), "a b a"), (Positions{3, 7}));
    // A partial match that fails must still find the match starting inside it.
    EXPECT_EQ(occurrencesOf(*corpusOf("a a b a a a b"), "a a b"), (Positions{3, 7}));
    EXPECT_EQ(occurrencesOf(*corpusOf("a b a b c"), "a b c"), (Positions{5}));
}

TEST(FindOccurrences, CorpusEdges)
{
    // An occurrence that ends the corpus continues at the end.
    const auto endsInThe = corpusOf("cat and the");
    EXPECT_EQ(occurrencesOf(*endsInThe, "the"), (Positions{endsInThe->end()}));
    EXPECT_TRUE(occurrencesOf(*corpusOf("b a"), "a b").empty());
    EXPECT_TRUE(occurrencesOf(*corpusOf(""), "a").empty());
    EXPECT_TRUE(findOccurrences(*corpusOf("a b"), {}).empty());
}

TEST(FindOccurrences, ExactTokens)
{
    const auto text = corpusOf("The end. the end");
    EXPECT_EQ(occurrencesOf(*text, "end."), (Positions{3}));
    EXPECT_EQ(occurrencesOf(*text, "The"), (Positions{1}));
    EXPECT_EQ(occurrencesOf(*text, "the"), (Positions{4}));
    // A query token the text never holds: no occurrence, even with the others present.
    EXPECT_TRUE(occurrencesOf(*text, "the END").empty());
    EXPECT_TRUE(occurrencesOf(*text, "the ends").empty());
    EXPECT_EQ(occurrencesOf(*corpusOf("I don't know"), "don't"), (Positions{4}));
}

TEST(FindOccurrences, AgreesWithPlainScan)
{
    std::mt19937 random(7);
    const Tokens vocabulary{"a", "b", ".", "c"};
    for (int round = 0; round < 2000; ++round) {
        Tokens tokens(random() % 40);
        for (auto &token : tokens)
            token = vocabulary[random() % (round % 2 ? 2 : 4)];
        Tokens query(1 + random() % 4);
        for (auto &token : query)
            token = vocabulary[random() % 3];
        std::string text;
        for (const auto &token : tokens)
            text += token + ' ';
        const auto corpus = corpusOf(text);
        const std::vector<std::size_t> expected = referenceOccurrences(tokens, query);
        EXPECT_EQ(findOccurrences(*corpus, query), Positions(expected.begin(), expected.end())) << text;
    }
}

TEST(BuildPhraseTree, NothingWithoutTokensOrOccurrence)
{
    const auto corpus = corpusOf("the the cat");
    EXPECT_EQ(buildPhraseTree(*corpus, ""), nullptr);
    EXPECT_EQ(buildPhraseTree(*corpus, "  \t\n "), nullptr);
    EXPECT_EQ(buildPhraseTree(*corpus, "\xe9\x80"), nullptr);
    EXPECT_EQ(buildPhraseTree(*corpus, "dog"), nullptr);
    EXPECT_EQ(buildPhraseTree(*corpus, "The"), nullptr);
    EXPECT_EQ(buildPhraseTree(*corpusOf(""), "the"), nullptr);
}

TEST(BuildPhraseTree, RootKeepsTheSearchTextByteForByte)
{
    // A phrase that always goes on the same way takes that continuation into
    // its own label.
    const auto corpus = corpusOf("a cat and a cat");
    const auto root = buildPhraseTree(*corpus, " cat ");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->label(), " cat  and a cat");
    EXPECT_EQ(root->weight(), std::pow(1.0f / 5.0f, 0.55f));

    // Blanks inside the text stay in a root that does not collapse.
    const auto branching = corpusOf("a cat and a cat or");
    const auto twice = buildPhraseTree(*branching, "a   cat");
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->label(), "a   cat");
    EXPECT_EQ(twice->weight(), std::pow(2.0f / 6.0f, 0.55f));
    ASSERT_EQ(twice->children().size(), 2u);
    EXPECT_EQ(twice->children()[0]->label(), "and a cat or");
    EXPECT_EQ(twice->children()[1]->label(), "or");
}

TEST(BuildPhraseTree, RootCountsOccurrencesBeforeShaping)
{
    // Growth alone, on the occurrences the search finds: the root counts them.
    const auto corpus = corpusOf("the the cat");
    PhraseNode root("the", *corpus, 0, 0);
    const Positions positions = occurrencesOf(*corpus, "the");
    for (std::size_t i = 0; i < positions.size(); ++i)
        root.countOccurrence();
    growContinuations(*corpus, positions, root);
    EXPECT_EQ(outlineOf(root), "the 2\n"
                               "  the 1\n"
                               "    cat 1\n"
                               "  cat 1\n");
}

}  // namespace

namespace {

// The tree as an outline of labels alone, one per line, two spaces per depth.
std::string labelsOf(const PhraseNode &node, int depth = 0)
{
    std::string out = std::string(2 * depth, ' ') + node.label() + '\n';
    for (const auto &child : node.children())
        out += labelsOf(*child, depth + 1);
    return out;
}

TEST(SearchPhrase, StopsEveryBranchAtSentenceEndsOnlyWhenAsked)
{
    // Without: "!" and "?" stop nothing, and a continuation met twice runs on.
    const auto marks = corpusOf("a b ! c d . a b ? e f .");
    EXPECT_EQ(labelsOf(*searchPhrase(*marks, "a", TreeDirection::Forward).root), "a b\n  ! c d .\n  ? e f .\n");
    EXPECT_EQ(labelsOf(*searchPhrase(*marks, "a", TreeDirection::Forward, true).root), "a b\n  !\n  ?\n");

    // A text written twice runs on through a whole copy, unless asked not to;
    // backwards, a branch stops at the sentence end before it, included.
    const auto twice = corpusOf("one two three . four five ! one two three . four five !");
    EXPECT_EQ(labelsOf(*searchPhrase(*twice, "two", TreeDirection::Forward).root),
              "two three . four five ! one two three .\n");
    EXPECT_EQ(labelsOf(*searchPhrase(*twice, "two", TreeDirection::Forward, true).root), "two three .\n");
    EXPECT_EQ(labelsOf(*searchPhrase(*twice, "five", TreeDirection::Backward, true).root), ". four five\n");
    EXPECT_EQ(labelsOf(*searchPhrase(*twice, "one", TreeDirection::Backward, true).root), "! one\n");
    EXPECT_EQ(labelsOf(*searchPhrase(*twice, "one", TreeDirection::Backward).root), ". four five ! one\n");

    // Under the UTF-8 rules, the sentence ends of other scripts too.
    const std::string chinese = "\xe4\xbd\xa0\xe5\xa5\xbd\xef\xbc\x81\xe5\x86\x8d\xe8\xa7\x81 \xe4\xbd\xa0\xe5\xa5\xbd\xef\xbc\x9f\xe5\x86\x8d\xe8\xa7\x81";
    const Corpus unicode(chinese.data(), static_cast<std::uint32_t>(chinese.size()), {WordRules::Unicode, false});
    EXPECT_EQ(unicode.sentenceEndTokens().size(), 2u);
    EXPECT_EQ(labelsOf(*searchPhrase(unicode, "\xe4\xbd\xa0\xe5\xa5\xbd", TreeDirection::Forward, true).root),
              "\xe4\xbd\xa0\xe5\xa5\xbd\n  \xef\xbc\x81\n  \xef\xbc\x9f\n");
}

}  // namespace
