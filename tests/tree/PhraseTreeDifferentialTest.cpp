// buildPhraseTree against the plain reference on many random texts.
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

std::string joined(const Tokens &tokens)
{
    std::string text;
    for (const auto &token : tokens)
        text += (text.empty() ? "" : " ") + token;
    return text;
}

// Builds both trees and reports the first difference; false if there is one.
bool sameTree(const Tokens &tokens, const std::string &phrase)
{
    const std::string text = joined(tokens);
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const auto expected = buildReferenceTree(tokens, phrase);
    const auto actual = buildPhraseTree(corpus, phrase);
    if (!expected || !actual) {
        EXPECT_EQ(expected == nullptr, actual == nullptr) << "text '" << text << "', phrase '" << phrase << "'";
        return (expected == nullptr) == (actual == nullptr);
    }
    const std::string difference = firstDifference(*expected, *actual);
    EXPECT_EQ(difference, "") << "text '" << text << "', phrase '" << phrase << "'\nexpected:\n"
                              << outlineOf(*expected) << "actual:\n"
                              << outlineOf(*actual);
    return difference.empty();
}

TEST(PhraseTreeDifferential, TinyVocabularies)
{
    // Few distinct tokens give many repeated continuations, long shared runs,
    // runs across "." and many ties in the ordering.
    std::mt19937 random(2026);
    const Tokens alphabets[] = {{"a", "."}, {"a", "b"}, {"a", "b", "."}, {"a", "b", "c", "."}, {"a", "b", "c", ".", "d", "e"}};
    int trees = 0;
    for (int round = 0; round < 4000; ++round) {
        const Tokens &alphabet = alphabets[round % 5];
        Tokens tokens(random() % 70);
        for (auto &token : tokens)
            token = alphabet[random() % alphabet.size()];
        std::string phrase;
        const unsigned words = 1 + random() % 3;
        for (unsigned i = 0; i < words; ++i)
            phrase += (i ? " " : "") + alphabet[random() % alphabet.size()];
        if (round % 97 == 0)
            phrase = " " + phrase + "  ";
        if (!sameTree(tokens, phrase))
            return;
        trees += !referenceOccurrences(tokens, {phrase.substr(0, phrase.find(' '))}).empty();
    }
    EXPECT_GT(trees, 2000);
}

TEST(PhraseTreeDifferential, ManySingleContinuationsReachTheExpansionLimit)
{
    // A phrase followed by up to 120 different words, mostly once each, with
    // a few repeats and stops mixed in: calls expand 50 single groups and
    // leave the rest as leaves, while repeated groups still grow.
    std::mt19937 random(50);
    for (int round = 0; round < 300; ++round) {
        Tokens tokens;
        const unsigned segments = 40 + random() % 100;
        for (unsigned s = 0; s < segments; ++s) {
            tokens.push_back("x");
            if (random() % 4 == 0)
                tokens.push_back("x");
            if (random() % 5 == 0)
                tokens.push_back(".");
            tokens.push_back("w" + std::to_string(random() % (20 + round)));
            const unsigned tail = random() % 4;
            for (unsigned i = 0; i < tail; ++i)
                tokens.push_back(random() % 3 ? "v" + std::to_string(random() % 60) : ".");
        }
        const std::string phrase = round % 3 == 0 ? "x" : (round % 3 == 1 ? "x x" : ". x");
        if (!sameTree(tokens, phrase))
            return;
    }
}

}  // namespace
