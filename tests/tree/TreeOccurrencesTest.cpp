// The occurrences through every node of every tree, in every mode, against a
// plain walk of the text; and each node's token ids against its label. A
// pattern of one exact token per word of a phrase finds what the phrase
// finds, through every node too.
#include "Concordance.h"
#include "CqlPattern.h"
#include "PatternMatcher.h"
#include "PatternSearch.h"
#include "PhraseSearch.h"
#include "TreeOccurrences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Ids = std::vector<Corpus::TokenId>;
using Positions = std::vector<Corpus::Position>;

bool matchesAt(const Corpus &corpus, std::int64_t p, const Ids &ids)
{
    if (p < 0 || p + static_cast<std::int64_t>(ids.size()) > corpus.end())
        return false;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (corpus.tokenId(static_cast<Corpus::Position>(p + static_cast<std::int64_t>(i))) != ids[i])
            return false;
    }
    return true;
}

// The occurrences a tree takes, by a scan of the text: from the left or from
// the right, each one past the last one taken.
Positions plainOccurrences(const Corpus &corpus, const Ids &phrase, TreeDirection direction)
{
    Positions found;
    const auto m = static_cast<std::int64_t>(phrase.size());
    if (direction == TreeDirection::Forward) {
        for (std::int64_t p = 0; p < corpus.end(); p += matchesAt(corpus, p, phrase) ? m : 1) {
            if (matchesAt(corpus, p, phrase))
                found.push_back(static_cast<Corpus::Position>(p));
        }
    } else {
        for (std::int64_t p = corpus.end() - m; p >= 0; p -= matchesAt(corpus, p, phrase) ? m : 1) {
            if (matchesAt(corpus, p, phrase))
                found.insert(found.begin(), static_cast<Corpus::Position>(p));
        }
    }
    return found;
}

// Checks every node of the tree of `phrase` in `direction`; counts the
// nodes whose label is spelled from several occurrences.
void checkTree(const Corpus &corpus, const std::string &phrase, TreeDirection direction, int &spelled)
{
    Ids ids;
    if (!corpus.findTokens(phrase.data(), static_cast<std::uint32_t>(phrase.size()), ids) || ids.empty())
        return;
    const PhraseSearchResult tree = searchTokens(corpus, phrase, ids, direction);
    const TreeOccurrences occurrences(corpus, direction, ids);
    const Positions taken = plainOccurrences(corpus, ids, direction);
    ASSERT_EQ(occurrences.starts(), taken) << phrase;
    if (direction == TreeDirection::Forward) {
        EXPECT_EQ(findOccurrences(corpus, phrase).starts, taken);
    }
    ASSERT_EQ(tree.root != nullptr, !taken.empty());
    if (!tree.root)
        return;

    const bool forward = direction == TreeDirection::Forward;
    std::vector<std::vector<const PhraseNode *>> pending{{tree.root.get()}};
    while (!pending.empty()) {
        const std::vector<const PhraseNode *> path = std::move(pending.back());
        pending.pop_back();
        const PhraseNode &node = *path.back();
        spelled += node.wholeLabel();
        // The ids are those of the label cut again (the root's besides its phrase).
        Ids own, labelIds, expected;
        node.appendTokenIds(own);
        const std::string label = node.label();
        corpus.findTokens(label.data(), static_cast<std::uint32_t>(label.size()), labelIds);
        expected = own;
        if (path.size() == 1)
            expected.insert(forward ? expected.begin() : expected.end(), ids.begin(), ids.end());
        EXPECT_EQ(labelIds, expected) << "label '" << label << "'";

        Ids context;
        for (const PhraseNode *step : path)
            step->appendTokenIds(context);
        if (!forward) {
            context.clear();
            for (auto step = path.rbegin(); step != path.rend(); ++step)
                (*step)->appendTokenIds(context);
        }
        Positions plain;
        for (const Corpus::Position p : taken) {
            const std::int64_t at = forward ? p + static_cast<std::int64_t>(ids.size())
                                            : p - static_cast<std::int64_t>(context.size());
            if (matchesAt(corpus, at, context))
                plain.push_back(p);
        }
        const Positions through = occurrences.through(path);
        EXPECT_EQ(through, plain) << "phrase '" << phrase << "', node '" << label << "'";
        EXPECT_EQ(through.size(), node.count()) << "phrase '" << phrase << "', node '" << label << "'";
        for (const auto &child : node.children()) {
            pending.push_back(path);
            pending.back().push_back(child.get());
        }
    }
}

// Checks the tree of the pattern that spells `phrase` token by token, with
// CqlPattern::exactToken, against the phrase's own occurrences.
void checkExactPattern(const Corpus &corpus, const std::string &phrase, TreeDirection direction)
{
    Ids ids;
    if (!corpus.findTokens(phrase.data(), static_cast<std::uint32_t>(phrase.size()), ids) || ids.empty())
        return;
    std::string text;
    for (const Corpus::TokenId id : ids) {
        text += text.empty() ? "" : " ";
        text += CqlPattern::exactToken("word", corpus.tokenText(id), corpus.options().foldCase);
    }
    CqlPattern::Parsed parsed = CqlPattern::parse(text);
    ASSERT_TRUE(parsed.pattern) << text << ": " << parsed.reason;
    PatternMatcher::Compiled compiled = PatternMatcher::compile(*parsed.pattern, corpus);
    ASSERT_TRUE(compiled.matcher) << text << ": " << compiled.reason;
    const PatternOccurrences found = findPatternOccurrences(*compiled.matcher, direction);
    const TreeOccurrences byPhrase(corpus, direction, ids);
    const TreeOccurrences byPattern = TreeOccurrences::ofPattern(corpus, direction, found);
    ASSERT_EQ(byPattern.starts(), byPhrase.starts()) << text;
    EXPECT_TRUE(byPattern.phrase().empty());
    EXPECT_EQ(byPattern.length(), byPhrase.length());
    const PhraseSearchResult tree = searchPattern(corpus, text, found, direction);
    if (!tree.root)
        return;
    std::vector<std::vector<const PhraseNode *>> pending{{tree.root.get()}};
    while (!pending.empty()) {
        const std::vector<const PhraseNode *> path = std::move(pending.back());
        pending.pop_back();
        const Positions through = byPattern.through(path);
        EXPECT_EQ(through, byPhrase.through(path)) << text << ", node '" << path.back()->label() << "'";
        EXPECT_EQ(through.size(), path.back()->count()) << text << ", node '" << path.back()->label() << "'";
        for (const auto &child : path.back()->children()) {
            pending.push_back(path);
            pending.back().push_back(child.get());
        }
    }
}

TEST(TreeOccurrences, EveryNodeInEveryModeMatchesAPlainWalk)
{
    const std::vector<std::string> bytes{"a", "A", "b", "B", ".", "a a", "c"};
    const std::vector<std::string> unicode{"\u00E9", "\u00C9", "\u212A", "k", "K", "\u03C3", "\u03C2", "\u00AB", ".", "\u00E9,"};
    std::mt19937 random(7);
    int spelled = 0;
    for (int round = 0; round < 300; ++round) {
        for (const bool utf8 : {false, true}) {
            const std::vector<std::string> &pieces = utf8 ? unicode : bytes;
            std::vector<std::string> documents(1 + random() % 3);
            for (std::string &document : documents) {
                for (unsigned i = random() % 40; i > 0; --i)
                    document += pieces[random() % pieces.size()] + (random() % 6 == 0 ? "\n" : " ");
            }
            const std::vector<std::string_view> views(documents.begin(), documents.end());
            std::string phrase = pieces[random() % pieces.size()];
            if (random() % 3 == 0)
                phrase += " " + phrase;  // may overlap itself
            for (const bool fold : {false, true}) {
                const Corpus corpus(views, {utf8 ? WordRules::Unicode : WordRules::Bytes, fold});
                for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
                    checkTree(corpus, phrase, direction, spelled);
                    checkExactPattern(corpus, phrase, direction);
                }
                if (HasFailure())
                    return;
            }
        }
    }
    EXPECT_GT(spelled, 0) << "no label spelled from several occurrences was met";
}

TEST(TreeOccurrences, OverlappingPhraseIsTakenAsEachTreeReadsIt)
{
    const std::string_view text = "a a a a a";
    const Corpus corpus(std::span(&text, 1));
    Ids ids;
    ASSERT_TRUE(corpus.findTokens("a a", 3, ids));
    EXPECT_EQ(TreeOccurrences(corpus, TreeDirection::Forward, ids).starts(), (Positions{0, 2}));
    EXPECT_EQ(TreeOccurrences(corpus, TreeDirection::Backward, ids).starts(), (Positions{1, 3}));
    const TreeOccurrences before(corpus, TreeDirection::Backward, ids);
    EXPECT_EQ(before.withContext(ids), (Positions{3}));
    EXPECT_TRUE(TreeOccurrences(corpus, TreeDirection::Forward, {}).starts().empty());
}

TEST(TreeOccurrences, GenesisExcerptFoldedAndNot)
{
    std::ifstream file(MORVANET_SAMPLES_DIR "/genesis.txt", std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(file), {});
    text.resize(std::min<std::size_t>(text.size(), 30000));
    const std::string_view views[] = {std::string_view(text).substr(0, 12000), std::string_view(text).substr(12000)};
    int spelled = 0;
    for (const bool fold : {false, true}) {
        const Corpus corpus(views, {WordRules::Bytes, fold});
        for (const char *phrase : {"and", "the LORD", "said"}) {
            checkTree(corpus, phrase, TreeDirection::Forward, spelled);
            checkTree(corpus, phrase, TreeDirection::Backward, spelled);
        }
    }
}

}  // namespace
