// Growing continuations (grouping, the "." rule, the expansion limit) and shaping the grown tree.
#include "GroupingPhraseTree.h"
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"
#include "TreeShaping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Positions = std::vector<Corpus::Position>;

std::unique_ptr<Corpus> corpusOf(std::string_view text)
{
    return std::make_unique<Corpus>(text.data(), static_cast<std::uint32_t>(text.size()));
}

// The root of `phrase` with its counted continuations grown, not shaped.
std::unique_ptr<PhraseNode> grownTree(const Corpus &corpus, const std::string &phrase)
{
    std::vector<std::string> query;
    Corpus::tokenize(phrase.data(), static_cast<std::uint32_t>(phrase.size()), query);
    Positions positions = findOccurrences(corpus, query);
    auto root = std::make_unique<PhraseNode>(phrase, corpus, 0, 0);
    for (std::size_t i = 0; i < positions.size(); ++i)
        root->countOccurrence();
    growContinuations(corpus, std::move(positions), *root);
    return root;
}

std::string childLabels(const PhraseNode &node)
{
    std::string labels;
    for (const auto &child : node.children())
        labels += (labels.empty() ? "" : "|") + child->label();
    return labels;
}

TEST(GrowContinuations, GroupsByTokenInFirstMetOrder)
{
    const auto corpus = corpusOf("a b . a b . a c");
    const auto root = grownTree(*corpus, "a");
    // Repeated continuations grow across ".", single ones stop at it, and the
    // corpus end gives no child.
    EXPECT_EQ(outlineOf(*root), "a 3\n"
                                "  b 2\n"
                                "    . 2\n"
                                "      a 2\n"
                                "        b 1\n"
                                "          . 1\n"
                                "        c 1\n"
                                "  c 1\n");
}

TEST(GrowContinuations, EndsAndStops)
{
    const auto corpus = corpusOf("x y . z");
    PhraseNode atEnd("z", *corpus, 0, 0);
    growContinuations(*corpus, {corpus->end()}, atEnd);
    EXPECT_TRUE(atEnd.children().empty());

    EXPECT_EQ(outlineOf(*grownTree(*corpus, "x")), "x 1\n"
                                                   "  y 1\n"
                                                   "    . 1\n");
    // A text without "." has no stop token at all.
    EXPECT_EQ(outlineOf(*grownTree(*corpusOf("p q r"), "p")), "p 1\n"
                                                             "  q 1\n"
                                                             "    r 1\n");
}

TEST(GrowContinuations, ExpansionLimitBoundsSingleGroupsOfOneCall)
{
    // After "x": a single "." (a leaf that uses no expansion), 51 single
    // words, then "z" twice. The first 50 words are grown; the 51st stays a
    // leaf; "z" is grown anyway, but its call starts at the counter 50, so its
    // single continuations stay leaves.
    std::string text = "x . ";
    for (int i = 0; i <= 50; ++i)
        text += "x w" + std::to_string(i) + " y . ";
    text += "x z q . x z r .";
    const auto corpus = corpusOf(text);
    const auto root = grownTree(*corpus, "x");

    const auto &children = root->children();
    ASSERT_EQ(children.size(), 53u);
    EXPECT_EQ(children[0]->label(), ".");
    EXPECT_TRUE(children[0]->children().empty());
    for (int i = 0; i < 50; ++i) {
        const PhraseNode &word = *children[1 + i];
        EXPECT_EQ(word.label(), "w" + std::to_string(i));
        EXPECT_EQ(childLabels(word), "y") << i;
        EXPECT_EQ(childLabels(*word.children()[0]), ".") << i;
    }
    EXPECT_EQ(children[51]->label(), "w50");
    EXPECT_TRUE(children[51]->children().empty());
    const PhraseNode &z = *children[52];
    EXPECT_EQ(z.weight(), 2.0f);
    EXPECT_EQ(childLabels(z), "q|r");
    EXPECT_TRUE(z.children()[0]->children().empty());
    EXPECT_TRUE(z.children()[1]->children().empty());
}

TEST(GrowContinuations, CounterDoesNotGrowAlongAChain)
{
    // A chain of single continuations far longer than the limit runs to the end.
    std::string text = "x";
    for (int i = 0; i < 120; ++i)
        text += " t" + std::to_string(i);
    const auto corpus = corpusOf(text);
    const auto root = buildPhraseTree(*corpus, "x");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->label(), text);
    EXPECT_TRUE(root->children().empty());
}

TEST(CollapseChains, MergesRunsOfSingleChildren)
{
    const auto corpus = corpusOf("a b . a b . a c");
    const auto root = grownTree(*corpus, "a");
    collapseChains(*root);
    EXPECT_EQ(outlineOf(*root), "a 3\n"
                                "  b . a 2\n"
                                "    b . 1\n"
                                "    c 1\n"
                                "  c 1\n");

    // The root takes part, and takes the weight of the deepest node of its run.
    const auto line = corpusOf("the cat sat");
    const auto single = grownTree(*line, "the");
    collapseChains(*single);
    EXPECT_EQ(outlineOf(*single), "the cat sat 1\n");
}

TEST(CollapseChains, JoinsLiteralLabels)
{
    // Nodes made from literal texts (not corpus spans) merge the same way.
    PhraseNode root(std::string("one"));
    root.setWeight(4.0f);
    auto two = std::make_unique<PhraseNode>(std::string("two"));
    two->setWeight(3.0f);
    auto three = std::make_unique<PhraseNode>(std::string("three"));
    three->setWeight(2.0f);
    three->appendChild(std::make_unique<PhraseNode>(std::string("left")));
    three->appendChild(std::make_unique<PhraseNode>(std::string("right")));
    two->appendChild(std::move(three));
    root.appendChild(std::move(two));
    collapseChains(root);
    EXPECT_EQ(outlineOf(root), "one two three 2\n"
                               "  left 0\n"
                               "  right 0\n");
}

TEST(PhraseNodeLabel, PrefixStopsWithoutMakingTheRest)
{
    const auto text = corpusOf("a bb ccc dddd");
    const PhraseNode spanOnly(*text, 1, 3);
    const PhraseNode withText(std::string(" x "), *text, 0, 2);
    for (const PhraseNode *node : {&spanOnly, &withText}) {
        const std::string whole = node->label();
        for (std::size_t n = 0; n <= whole.size() + 2; ++n)
            EXPECT_EQ(node->labelPrefix(n), whole.substr(0, n)) << whole << " " << n;
    }
    EXPECT_EQ(withText.label(), " x  a bb");
}

TEST(NormalizeWeights, CountsBecomeSharesToThePower)
{
    PhraseNode node(std::string("n"));
    const float counts[] = {1.0f, 10.0f, 100.0f, 1000.0f};
    const float expected[] = {0.022387f, 0.079433f, 0.281838f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        node.setWeight(counts[i]);
        normalizeWeights(node, 1000.0f);
        EXPECT_NEAR(node.weight(), expected[i], 1e-6f) << counts[i];
        EXPECT_EQ(node.weight(), std::pow(counts[i] / 1000.0f, 0.55f));
    }
    node.setWeight(2.0f);
    normalizeWeights(node, 2.0f);
    EXPECT_EQ(node.weight(), 1.0f);
    // A zero count is taken as one.
    node.setWeight(0.0f);
    normalizeWeights(node, 7.0f);
    EXPECT_EQ(node.weight(), std::pow(1.0f / 7.0f, 0.55f));

    const auto corpus = corpusOf("the cat sat");
    const auto root = buildPhraseTree(*corpus, "the");
    EXPECT_EQ(root->weight(), std::pow(1.0f / 3.0f, 0.55f));
}

TEST(OrderChildren, HeaviestFirstStable)
{
    PhraseNode parent(std::string("p"));
    const float weights[] = {0.1f, 0.3f, 0.3f, 0.2f};
    std::vector<const PhraseNode *> made;
    for (float weight : weights) {
        auto child = std::make_unique<PhraseNode>(std::string("c"));
        child->setWeight(weight);
        made.push_back(child.get());
        parent.appendChild(std::move(child));
    }
    orderChildren(parent);
    const auto &children = parent.children();
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(children[0].get(), made[1]);
    EXPECT_EQ(children[1].get(), made[2]);
    EXPECT_EQ(children[2].get(), made[3]);
    EXPECT_EQ(children[3].get(), made[0]);
}

TEST(NormalizeWeights, OrdersEveryLevel)
{
    // "q" is met first after "p", but "r" follows "p" more often; the run
    // "q a ." takes the count of its last node.
    const auto corpus = corpusOf("p q a . p r b . p r c . p r d . p q a");
    const auto root = buildPhraseTree(*corpus, "p");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(childLabels(*root), "r|q a .");
    EXPECT_EQ(childLabels(*root->children()[0]), "b .|c .|d .");
    EXPECT_EQ(root->children()[1]->weight(), std::pow(1.0f / 19.0f, 0.55f));
}

}  // namespace
