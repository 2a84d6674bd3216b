// The suffix array and its common-prefix lengths, against a plain sort on texts of many shapes.
#include "SuffixArray.h"

#include "Corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Text = std::vector<std::uint32_t>;

Text sortedSuffixes(const Text &text)
{
    Text sa(text.size());
    for (std::uint32_t i = 0; i < sa.size(); ++i)
        sa[i] = i;
    std::sort(sa.begin(), sa.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
    });
    return sa;
}

Text commonPrefixes(const Text &text, const Text &sa)
{
    Text lcp(sa.size(), 0);
    for (std::size_t i = 1; i < sa.size(); ++i) {
        std::uint32_t h = 0;
        while (sa[i - 1] + h < text.size() && sa[i] + h < text.size() && text[sa[i - 1] + h] == text[sa[i] + h])
            ++h;
        lcp[i] = h;
    }
    return lcp;
}

// Checks both arrays of `text`, whose symbols are below `alphabet`.
void expectIndexed(const Text &text, std::uint32_t alphabet)
{
    const auto n = static_cast<std::uint32_t>(text.size());
    const Text sa = buildSuffixArray(text.data(), n, alphabet);
    const Text expected = sortedSuffixes(text);
    ASSERT_EQ(sa, expected) << "length " << n << ", alphabet " << alphabet;
    const Text lcp = commonPrefixes(text, expected);
    EXPECT_EQ(buildLcpArray(text.data(), n, sa), lcp);
    // Both at once, into vectors that held something before.
    Text bothSa(3, 7);
    Text bothLcp(n + 5, 9);
    buildSuffixAndLcpArrays(text.data(), n, alphabet, bothSa, bothLcp);
    EXPECT_EQ(bothSa, expected);
    EXPECT_EQ(bothLcp, lcp);
}

// Every text of up to maxLength symbols below alphabet.
void expectAllTextsIndexed(std::uint32_t alphabet, std::uint32_t maxLength)
{
    Text text;
    for (std::uint32_t n = 0; n <= maxLength; ++n) {
        text.assign(n, 0);
        for (;;) {
            expectIndexed(text, alphabet);
            if (::testing::Test::HasFatalFailure())
                return;
            // The next text, counting in base `alphabet`.
            std::uint32_t i = 0;
            while (i < n && text[i] == alphabet - 1)
                text[i++] = 0;
            if (i == n)
                break;
            ++text[i];
        }
    }
}

TEST(SuffixArray, SmallAndDegenerateTexts)
{
    expectIndexed({}, 1);
    expectIndexed({0}, 1);
    expectIndexed({1, 0}, 2);
    expectIndexed({0, 0, 0}, 1);
    // Runs of one symbol: every suffix is a prefix of the one before it.
    expectIndexed(Text(1000, 0), 1);
    expectIndexed(Text(1000, 7), 8);
    // Alternations and short periods (the reduced text repeats too).
    Text periodic;
    for (int i = 0; i < 3000; ++i)
        periodic.push_back(i % 2);
    expectIndexed(periodic, 2);
    periodic.clear();
    for (int i = 0; i < 3001; ++i)
        periodic.push_back((i % 3) == 2 ? 1 : 0);
    expectIndexed(periodic, 2);
    // A text written twice, and one that descends (all L-type).
    Text twice;
    for (std::uint32_t i = 0; i < 500; ++i)
        twice.push_back((i * 7919) % 301);
    twice.insert(twice.end(), twice.begin(), twice.end());
    expectIndexed(twice, 301);
    Text descending;
    for (std::uint32_t i = 0; i < 400; ++i)
        descending.push_back(399 - i);
    expectIndexed(descending, 400);
}

TEST(SuffixArray, EveryShortTextOverTinyAlphabets)
{
    // One and two symbols, equal or not, and every arrangement of L- and
    // S-type suffixes that short texts can have.
    expectAllTextsIndexed(1, 12);
    expectAllTextsIndexed(2, 12);
    expectAllTextsIndexed(3, 8);
    expectAllTextsIndexed(4, 6);
}

TEST(SuffixArray, TextsThatReduceManyTimes)
{
    // Fibonacci and Thue-Morse words reduce to texts of the same kind, level
    // after level: the levels share their scratch, which each must rebuild.
    Text fibonacci{0};
    Text previous{1};
    while (fibonacci.size() < 8000) {
        Text next = fibonacci;
        next.insert(next.end(), previous.begin(), previous.end());
        previous = std::move(fibonacci);
        fibonacci = std::move(next);
    }
    expectIndexed(fibonacci, 2);
    Text thueMorse(1 << 13);
    for (std::uint32_t i = 0; i < thueMorse.size(); ++i)
        thueMorse[i] = __builtin_popcount(i) & 1;
    expectIndexed(thueMorse, 2);
    // An alphabet larger than the symbols used, and symbols that skip values.
    Text sparse;
    for (std::uint32_t i = 0; i < 5000; ++i)
        sparse.push_back(thueMorse[i] * 1000 + fibonacci[i] * 10);
    expectIndexed(sparse, 5000);
}

TEST(SuffixArray, RandomTextsOverTinyAndLargeAlphabets)
{
    std::mt19937 random(12345);
    for (std::uint32_t alphabet : {1u, 2u, 3u, 4u, 17u, 1000u}) {
        for (int round = 0; round < 60; ++round) {
            const std::uint32_t n = std::uniform_int_distribution<std::uint32_t>(0, round < 40 ? 40 : 2000)(random);
            Text text(n);
            for (auto &symbol : text)
                symbol = std::uniform_int_distribution<std::uint32_t>(0, alphabet - 1)(random);
            expectIndexed(text, alphabet);
        }
    }
}

TEST(SuffixArray, RandomTextsWithLongRuns)
{
    std::mt19937 random(99);
    for (int round = 0; round < 80; ++round) {
        Text text;
        const int runs = std::uniform_int_distribution<int>(1, 60)(random);
        for (int r = 0; r < runs; ++r) {
            const std::uint32_t symbol = std::uniform_int_distribution<std::uint32_t>(0, 2)(random);
            const int length = std::uniform_int_distribution<int>(1, 50)(random);
            text.insert(text.end(), length, symbol);
        }
        expectIndexed(text, 3);
    }
}

TEST(CorpusIndexes, BuiltWithTheCorpus)
{
    const std::string text = "the cat . the cat sat . a cat";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const Text ids(corpus.tokenIds().begin(), corpus.tokenIds().end());
    const Text expected = sortedSuffixes(ids);
    EXPECT_EQ(Text(corpus.suffixArray().begin(), corpus.suffixArray().end()), expected);
    EXPECT_EQ(Text(corpus.lcpArray().begin(), corpus.lcpArray().end()), commonPrefixes(ids, expected));

    // Tokens: the(0) cat(1) .(2) the(3) cat(4) sat(5) .(6) a(7) cat(8); end 9.
    EXPECT_EQ(corpus.nextStop(0), 2u);
    EXPECT_EQ(corpus.nextStop(2), 2u);
    EXPECT_EQ(corpus.nextStop(3), 6u);
    EXPECT_EQ(corpus.nextStop(7), corpus.end());
    EXPECT_EQ(corpus.nextStop(corpus.end()), corpus.end());

    const std::string noStops = "a b c";
    const Corpus plain(noStops.data(), static_cast<std::uint32_t>(noStops.size()));
    EXPECT_EQ(plain.nextStop(0), plain.end());
    const Corpus empty("", 0);
    EXPECT_TRUE(empty.suffixArray().empty());
    EXPECT_EQ(empty.nextStop(0), empty.end());
}

TEST(CorpusIndexes, FullStopsOfEveryScriptUnderTheUtf8RulesAndDotAloneUnderTheBytes)
{
    // Tokens: a(0) 。(1) b(2) ．(3) c(4) ｡(5) d(6) ।(7) e(8) ۔(9) f(10) .(11) g(12); end 13.
    const std::string text = "a\u3002b\uFF0Ec\uFF61d\u0964e\u06D4f.g";
    for (const bool fold : {false, true}) {
        const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()), {WordRules::Unicode, fold});
        ASSERT_EQ(corpus.end(), 13u);
        EXPECT_EQ(corpus.stopTokens().size(), 6u);
        for (Corpus::Position p = 0; p < corpus.end(); ++p) {
            EXPECT_EQ(corpus.nextStop(p), p % 2 == 1 ? p : p == 12 ? 13 : p + 1) << p;
            EXPECT_EQ(corpus.isStop(corpus.tokenId(p)), p % 2 == 1) << p;
            // The backward index reads the same stops, from the other end.
            EXPECT_EQ(corpus.backward().nextStop(12 - p), p % 2 == 1 ? 12 - p : p == 0 ? 13 : 13 - p) << p;
        }
    }
    // Under the byte rules those marks' bytes separate, and "." is the one stop.
    const Corpus bytes(text.data(), static_cast<std::uint32_t>(text.size()));
    ASSERT_EQ(bytes.stopTokens().size(), 1u);
    EXPECT_EQ(bytes.tokenText(bytes.stopTokens()[0]), ".");
}

TEST(CorpusIndexes, FindTokensCutsAndLooksUp)
{
    const std::string text = "don't stop . Stop";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    std::vector<Corpus::TokenId> ids;
    const std::string phrase = " don't\tstop.";
    EXPECT_TRUE(corpus.findTokens(phrase.data(), static_cast<std::uint32_t>(phrase.size()), ids));
    EXPECT_EQ(ids, (Text{corpus.tokenId(0), corpus.tokenId(1), corpus.tokenId(2), corpus.tokenId(3), corpus.tokenId(4)}));
    ids.clear();
    EXPECT_FALSE(corpus.findTokens("stop STOP", 9, ids));  // case matters
    ids.clear();
    EXPECT_TRUE(corpus.findTokens(" \n", 2, ids));
    EXPECT_TRUE(ids.empty());
}

TEST(SuffixArray, LargeTextsSplitTheLcpPassAmongThreads)
{
    // Past a million symbols the LCP pass runs on every core; the array must
    // be what comparing neighbours directly gives.
    std::mt19937 random(1234);
    Text text(1'500'000);
    for (auto &symbol : text)
        symbol = random() % 3;
    const Text sa = buildSuffixArray(text.data(), static_cast<std::uint32_t>(text.size()), 3);
    const Text lcp = buildLcpArray(text.data(), static_cast<std::uint32_t>(text.size()), sa);
    for (std::size_t i = 1; i < sa.size(); ++i) {
        std::uint32_t h = 0;
        while (sa[i] + h < text.size() && sa[i - 1] + h < text.size() && text[sa[i] + h] == text[sa[i - 1] + h])
            ++h;
        ASSERT_EQ(lcp[i], h) << i;
    }
}

TEST(CorpusIndexes, BackwardIndexBuiltAtOnceOrOnFirstUse)
{
    const std::string a = "b a . a b", b = "a a b .";
    const std::string_view documents[] = {a, b};
    const Corpus eager(documents, {}, true);
    const Corpus lazy(documents, {});
    EXPECT_TRUE(std::ranges::equal(eager.backward().suffixArray(), lazy.backward().suffixArray()));
    EXPECT_TRUE(std::ranges::equal(eager.backward().lcpArray(), lazy.backward().lcpArray()));
    EXPECT_EQ(eager.backward().tokenId(0), lazy.tokenId(lazy.end() - 1));
    EXPECT_EQ(eager.backward().boundaryAfter(0), 4u);  // ". b a a" then the boundary
}

}  // namespace
