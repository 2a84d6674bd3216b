// The segmented tokenizer against a plain reference (ICU's iterator over each
// well-formed run, then the category rules on each segment that is not a
// word), on random mixed-script strings and on Chinese, Japanese and Thai
// text; restarting at the places that allow it.
#include "Corpus.h"
#include "SegmentedReference.h"
#include "SegmentedTokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Token = ReferenceToken;
using Tokens = std::vector<Token>;

Tokens segmentedTokens(std::string_view text)
{
    Tokens out;
    std::string word;
    forEachSegmentedToken(text.data(), static_cast<std::uint32_t>(text.size()), word,
                          [&out](std::string_view token, std::uint32_t start) { out.push_back({std::string(token), start}); });
    return out;
}

// Random strings of pieces that the rules treat differently: ASCII that ICU
// joins ("'", ".", ",", "_" between letters or digits) and that it does
// not, Han, kana, Thai, Hangul, combining marks, joiners and emoji, full
// stops, blanks and line feeds, U+0000 and ill-formed bytes.
std::string randomText(std::mt19937 &random, std::size_t pieces)
{
    static const std::vector<std::string> parts = {
        "a", "Z", "7", "don", "t", "'", ".", ",", ";", ":", "_", "@", "\"", "-", "(", " ", "  ", "\n", "\t", "\r",
        std::string(1, '\0'), "\xe6\x88\x91", "\xe6\x98\xaf", "\xe4\xb8\xad", "\xe5\x9b\xbd", "\xe4\xba\xba",
        "\xe3\x81\xaf", "\xe3\x81\xa7\xe3\x81\x99", "\xe3\x82\xab\xe3\x82\xbf", "\xe0\xb8\xaa\xe0\xb8\xa7\xe0\xb8\xb1",
        "\xe0\xb8\x94\xe0\xb8\xb5", "\xe0\xb8\x84\xe0\xb8\xa3\xe0\xb8\xb1\xe0\xb8\x9a", "\xed\x95\x9c",
        "\xcc\x81", "\xe2\x80\x8d", "\xf0\x9f\x98\x80", "\xf0\x9f\x87\xab", "\xe3\x80\x82", "\xef\xbc\x8e",
        "\xc3\xa9", "\xd7\x90", "\xc2\xa0", "\x80", "\xff", "\xe4\xb8", "\xf0\x9f\x98"};
    std::string text;
    for (std::size_t k = 0; k < pieces; ++k)
        text += parts[random() % parts.size()];
    return text;
}

std::string readData(const char *name)
{
    std::ifstream file(std::string(MORVANET_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

const char *const realTexts[] = {"chinese-fortunes.txt", "japanese-debian-reference.txt", "thai-messages.txt"};

TEST(SegmentedTokens, MatchTheReference)
{
    std::mt19937 random(16);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(random, random() % 40);
        ASSERT_EQ(segmentedTokens(text), segmentedReference(text)) << ::testing::PrintToString(text);
    }
    // Every ASCII character between the neighbours that ICU's rules look
    // at: ASCII lines are cut without ICU where it would agree.
    for (int b = 0; b < 0x80; ++b) {
        for (const char *before : {"a", "1", "_", "@", " ", "."}) {
            for (const char *after : {"a", "1", "_", "@", " ", "."}) {
                const std::string text = before + std::string(1, static_cast<char>(b)) + after;
                ASSERT_EQ(segmentedTokens(text), segmentedReference(text)) << ::testing::PrintToString(text);
            }
        }
    }
    // Real text, and a text of several megabytes, so that it is handed to
    // ICU in several parts, some of them between ASCII lines cut without it.
    std::string long_;
    for (const char *name : realTexts) {
        const std::string text = readData(name);
        ASSERT_GT(text.size(), 10000u) << name;
        EXPECT_EQ(segmentedTokens(text), segmentedReference(text)) << name;
        long_ += text;
    }
    while (long_.size() < 3'000'000)
        long_ += long_.size() % 3 == 0 ? "The LORD's 3.14 days,\nin_the end: 1,000 x.\n" + randomText(random, 200)
                                       : long_.substr(0, 40'000);
    EXPECT_EQ(segmentedTokens(long_), segmentedReference(long_));
    // One line of over four megabytes: ICU reads it as UTF-8 in place.
    std::string line = long_.substr(0, 4'500'000);
    std::replace(line.begin(), line.end(), '\n', ' ');
    EXPECT_EQ(segmentedTokens(line), segmentedReference(line));
}

TEST(SegmentedTokens, CuttingRestartsAfterHardBoundariesAndIllFormedBytes)
{
    // The concordance finds an occurrence's bytes by cutting again from the
    // start of its line; a blank is a boundary as hard; a run starts afresh
    // after an ill-formed byte.
    std::mt19937 random(29);
    std::vector<std::string> texts;
    for (int round = 0; round < 300; ++round)
        texts.push_back(randomText(random, 60));
    for (const char *name : realTexts)
        texts.push_back(readData(name).substr(0, 3000));
    for (const std::string &text : texts) {
        const Tokens whole = segmentedTokens(text);
        for (std::uint32_t p = 1; p < text.size(); ++p) {
            const auto before = static_cast<unsigned char>(text[p - 1]);
            if (before != '\n' && before != ' ' && before != 0xFF)  // 0xFF is never part of a character
                continue;
            Tokens expected;
            for (const Token &token : whole) {
                if (token.start >= p)
                    expected.push_back({token.text, token.start - p});
            }
            ASSERT_EQ(segmentedTokens(std::string_view(text).substr(p)), expected)
                << ::testing::PrintToString(text) << " from " << p;
        }
    }
}

TEST(SegmentedTokens, ALongTextCutOnTwoCoresMakesTheSameCorpus)
{
    // Over a megabyte, so that a helper thread cuts blocks ahead; words
    // with U+0000 inside them stand everywhere, also at block ends.
    std::mt19937 random(41);
    std::string text;
    for (const char *name : realTexts)
        text += readData(name);
    while (text.size() < 1'500'000) {
        text += randomText(random, 50);
        text += std::string("wo\0rd\n", 7);
        text += text.substr(random() % 30'000, 20'000);
    }
    const Tokens expected = segmentedTokens(text);
    for (const bool fold : {false, true}) {
        const std::string_view documents[] = {text, "\xe6\x88\x91"};
        const Corpus corpus(documents, {WordRules::Segmented, fold});
        ASSERT_EQ(corpus.tokenCount(), expected.size() + 1);
        std::size_t hint = 0, feeds = 0, counted = 0;
        for (std::size_t p = 0; p < expected.size(); ++p) {
            ASSERT_EQ(corpus.token(static_cast<Corpus::Position>(p)), expected[p].text) << p;
            feeds += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                                                         text.begin() + expected[p].start, '\n'));
            counted = expected[p].start;
            ASSERT_EQ(corpus.lineOf(static_cast<Corpus::Position>(p), hint), feeds + 1) << p;
        }
    }
}

TEST(SegmentedTokens, NamedCases)
{
    const auto texts = [](std::string_view text) {
        std::vector<std::string> out;
        for (const Token &token : segmentedTokens(text))
            out.push_back(token.text);
        return out;
    };
    using Strings = std::vector<std::string>;
    // UAX #29 joins across apostrophes and decimal points; "_" alone is a mark.
    EXPECT_EQ(texts("don't pay 3.14, _ now."), (Strings{"don't", "pay", "3.14", ",", "_", "now", "."}));
    // 我 ("I") stands as a word of its own inside a clause.
    EXPECT_EQ(texts("\xe6\x88\x91\xe5\x96\x9c\xe6\xac\xa2\xe5\x90\x83\xe8\x8b\xb9\xe6\x9e\x9c\xe3\x80\x82"),
              (Strings{"\xe6\x88\x91", "\xe5\x96\x9c\xe6\xac\xa2", "\xe5\x90\x83", "\xe8\x8b\xb9\xe6\x9e\x9c", "\xe3\x80\x82"}));
    // U+0000 is removed first: a word goes on across it, gathered.
    const Tokens zero = segmentedTokens(std::string_view("x d\0on't", 8));
    EXPECT_EQ(zero, (Tokens{{"x", 0}, {"don't", 2}}));

    // emit returning false stops the scan, in ICU's parts and in ASCII lines.
    for (const std::string text : {"one two three", "\xe6\x88\x91 \xe7\x88\xb1 \xe4\xbd\xa0"}) {
        int seen = 0;
        std::string word;
        forEachSegmentedToken(text.data(), static_cast<std::uint32_t>(text.size()), word,
                              [&seen](std::string_view) { return ++seen < 2; });
        EXPECT_EQ(seen, 2) << text;
    }
}

}  // namespace
