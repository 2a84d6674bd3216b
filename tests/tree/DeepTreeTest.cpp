// Trees as deep as a megabyte of text is long: built, shaped and destroyed without deep recursion.
//
// The texts avoid shapes whose growth is quadratic (such as one word repeated,
// where every level keeps almost all occurrences) so that the tests stay fast.
#include "GroupingPhraseTree.h"
#include "PhraseSearch.h"
#include "TreeShaping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t megabyte = 1'000'000;

// "start" and then "a" after "a" up to one megabyte: one occurrence of
// "start", followed by a chain of 499,997 single continuations.
std::string longChainText()
{
    std::string text = "start";
    while (text.size() + 2 <= megabyte)
        text += " a";
    text.resize(megabyte, ' ');
    return text;
}

std::size_t depthOf(const PhraseNode &root)
{
    std::size_t depth = 0;
    for (const PhraseNode *node = &root; !node->children().empty(); node = node->children()[0].get())
        ++depth;
    return depth;
}

TEST(DeepTree, LongChainGrowsShapesAndDies)
{
    const std::string text = longChainText();
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const std::size_t tokens = corpus.tokenCount();

    // Grown only: one node per token, as deep as the text.
    auto grown = std::make_unique<PhraseNode>("start", corpus, 0, 0);
    grown->countOccurrence();
    growContinuations(corpus, {1}, *grown);
    EXPECT_EQ(depthOf(*grown), tokens - 1);
    normalizeWeights(*grown, static_cast<float>(tokens));
    grown.reset();

    const auto root = buildPhraseTree(corpus, "start");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->children().empty());
    EXPECT_EQ(root->weight(), std::pow(1.0f / static_cast<float>(tokens), 0.55f));
    const std::string label = root->label();
    EXPECT_EQ(label.size(), text.find_last_not_of(' ') + 1);
    EXPECT_EQ(label, text.substr(0, label.size()));
}

TEST(DeepTree, WordListTwice)
{
    // Distinct words, the whole list twice: both occurrences of the first word
    // go on together to the end of the first copy, then one goes on alone.
    std::string list;
    for (int i = 0; list.size() < megabyte / 2 - 8; ++i)
        list += "w" + std::to_string(i) + " ";
    std::string text = list + list;
    text.resize(megabyte, ' ');
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const float total = static_cast<float>(corpus.tokenCount());

    auto grown = std::make_unique<PhraseNode>("w0", corpus, 0, 0);
    grown->countOccurrence();
    grown->countOccurrence();
    growContinuations(corpus, {1, static_cast<Corpus::Position>(corpus.tokenCount() / 2 + 1)}, *grown);
    EXPECT_EQ(grown->children()[0]->weight(), 2.0f);
    EXPECT_EQ(depthOf(*grown), corpus.tokenCount() - 1);
    collapseChains(*grown);
    EXPECT_TRUE(grown->children().empty());
    grown.reset();

    const auto root = buildPhraseTree(corpus, "w0");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->children().empty());
    EXPECT_EQ(root->weight(), std::pow(1.0f / total, 0.55f));
    const std::string label = root->label();
    EXPECT_EQ(label.size(), text.find_last_not_of(' ') + 1);
    EXPECT_EQ(label, text.substr(0, label.size()));

    // A word of the middle: two occurrences run to the end of the list, where
    // the second stops and the first goes on through the second copy.
    const auto middle = buildPhraseTree(corpus, "w1000");
    ASSERT_NE(middle, nullptr);
    EXPECT_TRUE(middle->children().empty());
    EXPECT_EQ(middle->label().rfind("w1000 w1001 w1002 ", 0), 0u);
    EXPECT_EQ(middle->weight(), std::pow(1.0f / total, 0.55f));
}

}  // namespace
