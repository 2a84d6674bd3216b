// Trees of annotated corpora (every layer shown, phrases and patterns, both directions) against the literal reference.
#include "AnnotatedCorpusBuilder.h"
#include "CqlPattern.h"
#include "PatternMatcher.h"
#include "PatternSearch.h"
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

const std::vector<std::string> layerNames = {"word", "lemma", "pos"};
const std::vector<std::string> values[] = {{"a", "A", "b", "c", "."}, {"x", "y", "X", "z", "w", "v", "u", "t"}, {"N", "V"}};
const std::string boundary = "\x02";

// A position as written: its values, or a boundary; and whether its sentence ends there.
struct Written {
    std::vector<std::string> values;  // empty at a boundary
    bool sentenceEnd = false;
};

std::string folded(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A value as a regular expression that matches it alone ("." matches any one character).
std::string literal(const std::string &value)
{
    return value == "." ? "\\." : value;
}

// One token of a random pattern, with what it means, written as a test of a position.
struct PatternToken {
    std::string text;
    std::function<bool(const Written &)> matches;
};

PatternToken randomToken(std::mt19937 &random)
{
    const auto condition = [&random](std::string &text) {
        const std::size_t layer = random() % 3;
        const std::string value = values[layer][random() % values[layer].size()];
        const bool negated = random() % 4 == 0, ignoreCase = random() % 3 == 0;
        text = layerNames[layer] + (negated ? "!=\"" : "=\"") + literal(value) + "\"" + (ignoreCase ? "%c" : "");
        return std::function<bool(const Written &)>([=](const Written &w) {
            const bool same = ignoreCase ? folded(w.values[layer]) == folded(value) : w.values[layer] == value;
            return same != negated;
        });
    };
    PatternToken token;
    switch (random() % 5) {
    case 0:
        token.text = "[]";
        token.matches = [](const Written &) { return true; };
        break;
    case 1: {
        const std::string value = values[0][random() % values[0].size()];
        token.text = "\"" + literal(value) + "\"";
        token.matches = [value](const Written &w) { return w.values[0] == value; };
        break;
    }
    case 2: {
        std::string a, b;
        auto first = condition(a), second = condition(b);
        const bool both = random() % 2 == 0;
        token.text = "[" + a + (both ? " & " : " | ") + b + "]";
        token.matches = [=](const Written &w) { return both ? first(w) && second(w) : first(w) || second(w); };
        break;
    }
    default: {
        std::string a;
        auto test = condition(a);
        token.text = "[" + a + "]";
        token.matches = test;
        break;
    }
    }
    return token;
}

TEST(AnnotatedTrees, EqualTheReferenceForEveryLayerPhrasesAndPatternsBothWays)
{
    std::mt19937 random(24);
    int trees = 0;
    for (int round = 0; round < 1500; ++round) {
        // A corpus of up to three files, each maybe split into documents.
        std::vector<Written> text;
        CorpusOptions options;
        options.show = layerNames[random() % 3];
        options.foldCase = random() % 3 == 0;
        AnnotatedCorpusBuilder builder(options);
        const int files = 1 + static_cast<int>(random() % 3);
        for (int f = 0; f < files; ++f) {
            if (f > 0)
                text.push_back({});
            builder.startFile(layerNames);
            const int positions = static_cast<int>(random() % 25);
            for (int p = 0; p < positions; ++p) {
                if (p > 0 && random() % 12 == 0 && !text.back().values.empty()) {
                    builder.startDocument();
                    text.push_back({});
                }
                Written w;
                for (const auto &layer : values)
                    w.values.push_back(layer[random() % layer.size()]);
                const std::vector<std::string_view> views(w.values.begin(), w.values.end());
                builder.token(views, true, 1);
                if (random() % 4 == 0) {
                    builder.endSentence();
                    w.sentenceEnd = true;
                }
                text.push_back(std::move(w));
            }
        }
        const auto corpus = builder.finish(random() % 2 == 0);
        ASSERT_EQ(corpus->end(), text.size());

        const std::size_t shown = corpus->findLayer(options.shownLayer());
        Tokens tokens;
        ReferenceRules rules;
        for (const Written &w : text) {
            tokens.push_back(w.values.empty() ? boundary : w.values[shown]);
            rules.sentenceEndAt.push_back(w.sentenceEnd);
        }
        rules.isBoundary = [](const std::string &token) { return token == boundary; };
        if (options.foldCase)
            rules.key = folded;
        rules.sentences = random() % 2 == 0;
        rules.backward = random() % 2 == 0;
        const TreeDirection direction = rules.backward ? TreeDirection::Backward : TreeDirection::Forward;

        std::string query;
        Tokens queryTokens;
        std::unique_ptr<PhraseNode> actual;
        if (random() % 2 == 0) {
            const std::size_t words = 1 + random() % 2;
            for (std::size_t k = 0; k < words; ++k) {
                queryTokens.push_back(values[shown][random() % values[shown].size()]);
                query += (k ? " " : "") + queryTokens.back();
            }
            actual = searchPhrase(*corpus, query, direction, rules.sentences).root;
        } else {
            std::vector<PatternToken> pattern(1 + random() % 2);
            for (PatternToken &token : pattern) {
                token = randomToken(random);
                query += (query.empty() ? "" : " ") + token.text;
            }
            std::vector<std::size_t> starts;
            for (std::size_t p = 0; p + pattern.size() <= text.size(); ++p) {
                bool all = true;
                for (std::size_t k = 0; k < pattern.size() && all; ++k)
                    all = !text[p + k].values.empty() && pattern[k].matches(text[p + k]);
                if (all)
                    starts.push_back(p);
            }
            rules.matchStarts = starts;
            rules.matchLength = pattern.size();
            const CqlPattern::Parsed parsed = CqlPattern::parse(query);
            ASSERT_TRUE(parsed.pattern) << query << ": " << parsed.reason;
            const PatternMatcher::Compiled compiled = PatternMatcher::compile(*parsed.pattern, *corpus);
            ASSERT_TRUE(compiled.matcher) << query << ": " << compiled.reason;
            const std::vector<Corpus::Position> all = compiled.matcher->allStarts();
            ASSERT_TRUE(std::equal(all.begin(), all.end(), starts.begin(), starts.end())) << query;
            const PatternOccurrences found = findPatternOccurrences(*compiled.matcher, direction);
            actual = searchPattern(*corpus, query, found, direction, rules.sentences).root;
        }
        const auto expected = buildReferenceTree(tokens, queryTokens, query, rules);
        std::string shownText;
        for (const std::string &t : tokens)
            shownText += (t == boundary ? std::string("|") : t) + " ";
        const std::string context = shownText + "\nround " + std::to_string(round) + ", show " + options.shownLayer().data()
                                    + (options.foldCase ? " folded" : "") + (rules.backward ? " backward" : "")
                                    + (rules.sentences ? " sentences" : "") + ", query " + query;
        ASSERT_EQ(expected == nullptr, actual == nullptr) << context;
        if (!expected)
            continue;
        ++trees;
        ASSERT_EQ(firstDifference(*expected, *actual), "")
            << context << "\nexpected:\n" << outlineOf(*expected) << "actual:\n" << outlineOf(*actual);
    }
    EXPECT_GT(trees, 600);
}

}  // namespace
