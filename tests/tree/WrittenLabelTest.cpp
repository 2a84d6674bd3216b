// Labels as the text writes them: every node's, in every mode, against the bytes of the text.
#include "GroupingPhraseTree.h"
#include "PhraseSearch.h"
#include "SuffixTreeBuilder.h"
#include "TreeShaping.h"
#include "UnicodeTokens.h"
#include "WrittenText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

std::string folded(std::string_view text, const CorpusOptions &options)
{
    std::string out;
    appendFolded(text, options.utf8(), out);
    return out;
}

std::string describe(const Strings &documents, std::string_view phrase, const CorpusOptions &options, bool backward)
{
    std::string text = "phrase '" + std::string(phrase) + "', rules " + std::to_string(static_cast<int>(options.words))
                       + ", folded " + std::to_string(options.foldCase) + ", backward " + std::to_string(backward);
    for (const std::string &document : documents)
        text += "\n  '" + document + "'";
    return text;
}

// Every node of the tree (up to a few thousand): its written label is its
// span's stretch of the text with the separators made single blanks, the
// root's the phrase as typed meeting it as the text does; one spelled from
// several occurrences reads so but for the case of its letters. Prefixes
// and suffixes are cut from the whole.
void checkWrittenLabels(const PhraseNode &root, const WrittenText &texts, std::string_view phrase,
                        const CorpusOptions &options, bool backward, const std::string &where)
{
    std::size_t budget = 3000;
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty() && budget-- > 0) {
        const PhraseNode &node = *pending.back();
        pending.pop_back();
        for (const auto &child : node.children())
            pending.push_back(child.get());
        const std::uint32_t length = node.tokenCount();
        const std::string expected = texts.label(node.spanStart(), length, &node == &root, phrase, backward);
        const std::string written = node.writtenLabel();
        if (node.wholeLabel()) {
            ASSERT_EQ(folded(written, options), folded(expected, options)) << where << "\nlabel " << node.label();
        } else {
            ASSERT_EQ(written, expected) << where << "\nlabel " << node.label();
        }
        if (&node == &root) {
            ASSERT_EQ(backward ? written.substr(written.size() - phrase.size()) : written.substr(0, phrase.size()),
                      phrase)
                << where;
        }
        for (const std::size_t n : {std::size_t{0}, std::size_t{1}, written.size() / 2, written.size() - 1,
                                    written.size() + 3}) {
            ASSERT_EQ(node.writtenLabelPrefix(n), written.substr(0, n)) << where << " " << n;
            ASSERT_EQ(node.writtenLabelSuffix(n), written.substr(written.size() - std::min(n, written.size())))
                << where << " " << n;
        }
    }
}

TEST(WrittenLabels, AreTheTextBetweenTheirFirstAndLastTokenInEveryMode)
{
    // Pieces that touch or part in every way the rules know, mixed case so
    // that folding spells labels from several occurrences, joined by
    // nothing, blanks, zero bytes, controls, ill-formed and no-break bytes.
    const Strings pieces = {"a", "A", "b", "'", ",", ".", "don't", "DON'T", "\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89",
                            "\xe6\x88\x91\xe4\xbb\xac", "\xe3\x80\x82", "x_y", "!"};
    const Strings joins = {"", "", " ", " ", "  ", std::string(1, '\0'), std::string("\0 ", 2), "\t\x01", "\xff",
                           "\xc2\xa0", "\n"};
    std::mt19937 random(31);
    int trees = 0;
    for (int round = 0; round < 500; ++round) {
        Strings documents(1 + (round % 4 == 0 ? random() % 3 : 0));
        for (std::string &document : documents) {
            for (unsigned i = random() % 50; i > 0; --i)
                document += pieces[random() % pieces.size()] + joins[random() % joins.size()];
        }
        std::string phrase = pieces[random() % 8];
        if (round % 3 == 0)
            phrase += (round % 2 ? " " : "") + pieces[random() % 8];
        for (const WordRules rules : {WordRules::Bytes, WordRules::Unicode, WordRules::Segmented}) {
            for (const bool fold : {false, true}) {
                const CorpusOptions options{rules, fold};
                const WrittenText texts(documents, options);
                const std::vector<std::string_view> views(documents.begin(), documents.end());
                const Corpus corpus(views, options);
                for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
                    const bool backward = direction == TreeDirection::Backward;
                    const PhraseSearchResult found = searchPhrase(corpus, phrase, direction);
                    if (!found.root)
                        continue;
                    ++trees;
                    checkWrittenLabels(*found.root, texts, phrase, options, backward,
                                       describe(documents, phrase, options, backward));
                    if (testing::Test::HasFatalFailure())
                        return;
                }
            }
        }
    }
    EXPECT_GT(trees, 1000);
}

// The tree that growing and collapsing with absorbOnlyChild makes, on a
// folded corpus: the phrase's occurrences by their ids, from left to right.
std::unique_ptr<PhraseNode> mergedTree(const Corpus &corpus, std::string_view phrase)
{
    std::vector<Corpus::TokenId> query;
    if (!corpus.findTokens(phrase.data(), static_cast<std::uint32_t>(phrase.size()), query) || query.empty())
        return nullptr;
    std::vector<Corpus::Position> continuations;
    for (const Corpus::Position p : occurrenceStarts(corpus.forward(), query))
        continuations.push_back(p + static_cast<Corpus::Position>(query.size()));
    if (continuations.empty())
        return nullptr;
    auto root = std::make_unique<PhraseNode>(std::string(phrase), corpus, 0, 0);
    for (std::size_t i = 0; i < continuations.size(); ++i)
        root->countOccurrence();
    growContinuations(corpus, std::move(continuations), *root, 0);
    collapseChains(*root);
    normalizeWeights(*root, static_cast<float>(corpus.tokenCount()));
    return root;
}

TEST(WrittenLabels, OfNodesSpelledFromSeveralOccurrencesOrMergedAreTheBuildersOnes)
{
    // Chains whose levels are spelled, or written, otherwise at different
    // occurrences (the first met ends with its document inside the chain):
    // merging keeps one span when they read alike, else the label's text
    // with the span of the deepest occurrence, as the builder reads a run;
    // both write the same labels.
    const std::vector<Strings> texts = {{"x A,b", "x a , B c."},
                                        {"x a,B c. x A , b c.", "x A,b", "x a , b C d. x a,B"},
                                        {"X a'b, c", "x A' B ,c d! x a'b, c"},
                                        {"x a-b c-d. x A - B", "x A - B C - D. x a-b c-d"}};
    int wholeLabels = 0;
    for (const Strings &documents : texts) {
        const std::vector<std::string_view> views(documents.begin(), documents.end());
        const Corpus corpus(views, {WordRules::Bytes, true});
        const std::string text = documents[0] + " | " + documents[1];
        const auto merged = mergedTree(corpus, "x");
        const auto built = buildPhraseTree(corpus, "x");
        ASSERT_TRUE(merged && built) << text;
        std::vector<std::pair<const PhraseNode *, const PhraseNode *>> pending{{merged.get(), built.get()}};
        while (!pending.empty()) {
            const auto [a, b] = pending.back();
            pending.pop_back();
            EXPECT_EQ(a->label(), b->label()) << text;
            EXPECT_EQ(a->writtenLabel(), b->writtenLabel()) << text << ": " << a->label();
            std::vector<Corpus::TokenId> ids, builtIds;
            a->appendTokenIds(ids);
            b->appendTokenIds(builtIds);
            EXPECT_EQ(ids, builtIds) << text << ": " << a->label();
            wholeLabels += a->wholeLabel();
            ASSERT_EQ(a->children().size(), b->children().size()) << text;
            for (std::size_t i = 0; i < a->children().size(); ++i)
                pending.emplace_back(a->children()[i].get(), b->children()[i].get());
        }
    }
    EXPECT_GE(wholeLabels, 3);
    // Roots spelled from several occurrences keep the phrase where it
    // stands, the blanks from the occurrence of the deepest level.
    const struct {
        Strings documents;
        TreeDirection direction;
        const char *label, *written;
    } roots[] = {{{"x-a , B", "x-A,b c."}, TreeDirection::Forward, "x - a , B c .", "x-a,B c."},
                 {{"c,A b-x", "a B-x"}, TreeDirection::Backward, "c , a B - x", "c,a B-x"}};
    for (const auto &root : roots) {
        const std::vector<std::string_view> views(root.documents.begin(), root.documents.end());
        const Corpus corpus(views, {WordRules::Bytes, true});
        const PhraseSearchResult found = searchPhrase(corpus, "x", root.direction);
        ASSERT_TRUE(found.root);
        EXPECT_TRUE(found.root->wholeLabel());
        EXPECT_EQ(found.root->label(), root.label);
        EXPECT_EQ(found.root->writtenLabel(), root.written);
    }
    // Nodes that are no run of the text read as their labels.
    PhraseNode one(std::string("one ,"));
    one.appendChild(std::make_unique<PhraseNode>(std::string("two")));
    one.absorbOnlyChild();
    EXPECT_EQ(one.writtenLabel(), "one , two");
}

}  // namespace
