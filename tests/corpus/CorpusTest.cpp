// The tokenizer's byte classes and the corpus's interned storage.
#include "Corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

Tokens tokensOf(std::string_view text)
{
    Tokens out;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), out);
    return out;
}

Tokens corpusTokens(const Corpus &corpus)
{
    Tokens out;
    for (Corpus::Position p = corpus.first(); p != corpus.end(); p = Corpus::advance(p))
        out.emplace_back(corpus.token(p));
    return out;
}

TEST(Tokenize, WordsMarksAndSeparators)
{
    EXPECT_EQ(tokensOf("don't"), (Tokens{"don", "'", "t"}));
    EXPECT_EQ(tokensOf("a.b 3.14"), (Tokens{"a", ".", "b", "3", ".", "14"}));
    EXPECT_EQ(tokensOf("Hello, World!"), (Tokens{"Hello", ",", "World", "!"}));
    EXPECT_EQ(tokensOf("snake_case e-mail"), (Tokens{"snake", "_", "case", "e", "-", "mail"}));
    EXPECT_EQ(tokensOf("...?!"), (Tokens{".", ".", ".", "?", "!"}));
    EXPECT_EQ(tokensOf("abc123 The the"), (Tokens{"abc123", "The", "the"}));
    EXPECT_EQ(tokensOf("ends with end"), (Tokens{"ends", "with", "end"}));
    EXPECT_EQ(tokensOf("caf\xc3\xa9 au lait"), (Tokens{"caf", "au", "lait"}));
    EXPECT_EQ(tokensOf("caf\xe9 au lait"), (Tokens{"caf", "au", "lait"}));
    EXPECT_EQ(tokensOf("a\rb\nc\td\fe\x7f" "f\x01g"), (Tokens{"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_TRUE(tokensOf("").empty());
    EXPECT_TRUE(tokensOf(" \t\r\n  \n").empty());
}

TEST(Tokenize, EveryByteValueHasItsClass)
{
    for (int b = 0; b < 256; ++b) {
        const char text[3] = {'x', static_cast<char>(b), 'y'};
        Tokens out;
        Corpus::tokenize(text, 3, out);
        const bool word = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
        const bool mark = b >= 0x21 && b <= 0x7E && !word;
        if (b == 0)
            EXPECT_EQ(out, (Tokens{"xy"})) << "zero byte";
        else if (word)
            EXPECT_EQ(out, (Tokens{std::string{'x', static_cast<char>(b), 'y'}})) << b;
        else if (mark)
            EXPECT_EQ(out, (Tokens{"x", std::string(1, static_cast<char>(b)), "y"})) << b;
        else
            EXPECT_EQ(out, (Tokens{"x", "y"})) << b;
    }
}

TEST(Tokenize, ZeroBytesJoinAndLengthLimits)
{
    const char joined[] = {'a', 'b', '\0', 'c', 'd'};
    Tokens out;
    Corpus::tokenize(joined, 5, out);
    EXPECT_EQ(out, (Tokens{"abcd"}));

    // Only `length` bytes count; a word the limit cuts ends there.
    const char text[] = "hello world";
    out.clear();
    Corpus::tokenize(text, 8, out);
    EXPECT_EQ(out, (Tokens{"hello", "wo"}));

    // Tokens are appended after what the list already holds.
    out = {"kept"};
    Corpus::tokenize("a b", 3, out);
    EXPECT_EQ(out, (Tokens{"kept", "a", "b"}));
}

TEST(Tokenize, ZeroBytesAnywhere)
{
    // Zero bytes before, inside and after words, next to marks and at the limit.
    const std::string text("\0ab\0\0c d\0.\0e \0 f\0", 16);
    Tokens out;
    Corpus::tokenize(text.data(), static_cast<std::uint32_t>(text.size()), out);
    EXPECT_EQ(out, (Tokens{"abc", "d", ".", "e", "f"}));
    // A word joined across a zero byte, then another word: the scratch word is not carried over.
    const std::string two("x\0y z", 5);
    out.clear();
    Corpus::tokenize(two.data(), 5, out);
    EXPECT_EQ(out, (Tokens{"xy", "z"}));
    const Corpus corpus(two.data(), 5);
    EXPECT_EQ(corpusTokens(corpus), (Tokens{"xy", "z"}));
}

// The rules written out plainly, one byte and one token string at a time.
Tokens plainTokens(const std::string &text)
{
    Tokens out;
    std::string current;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool word = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
        if (word) {
            current += c;
        } else if (b != 0) {
            if (!current.empty())
                out.push_back(current);
            current.clear();
            if (b >= 0x21 && b <= 0x7E)
                out.emplace_back(1, c);
        }
    }
    if (!current.empty())
        out.push_back(current);
    return out;
}

TEST(Tokenize, LongTextsAgreeWithThePlainRules)
{
    // Texts long enough to span many 64-byte blocks, with words that end at,
    // cross and fill block edges, every byte value, and sometimes zero bytes.
    std::mt19937 random(2024);
    const std::string pieces[] = {"a", "ab", "Word9", ".", "!?", " ", "\t\r\n", "\x7f", "\xc3\xa9", "\xff",
                                  std::string(63, 'x'), std::string(64, 'y'), std::string(65, 'z'),
                                  std::string(200, 'q'), std::string(1, '\0'), "a\0b", "\0."};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const bool zeros = round % 4 == 0;
        const int count = std::uniform_int_distribution<int>(0, round < 100 ? 30 : 300)(random);
        for (int k = 0; k < count; ++k) {
            const int pick = std::uniform_int_distribution<int>(0, 17)(random);
            if (pick == 17)
                text += static_cast<char>(std::uniform_int_distribution<int>(zeros ? 0 : 1, 255)(random));
            else if (zeros || (pick != 14 && pick != 15 && pick != 16))
                text += pieces[pick];
        }
        EXPECT_EQ(tokensOf(text), plainTokens(text)) << "round " << round;
        const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
        EXPECT_EQ(corpusTokens(corpus), plainTokens(text)) << "round " << round;
        std::vector<Corpus::TokenId> ids;
        EXPECT_TRUE(corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), ids));
        EXPECT_EQ(ids, std::vector<Corpus::TokenId>(corpus.tokenIds().begin(), corpus.tokenIds().end())) << "round " << round;
        // The same text cut short at every length near a block edge.
        for (const std::size_t cut : {std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{128}}) {
            if (cut <= text.size()) {
                EXPECT_EQ(tokensOf(std::string_view(text).substr(0, cut)), plainTokens(text.substr(0, cut)));
            }
        }
    }
    std::string everyByte;
    for (int round = 0; round < 3; ++round) {
        for (int b = round == 2 ? 0 : 1; b < 256; ++b)
            everyByte += static_cast<char>(b);
        EXPECT_EQ(tokensOf(everyByte), plainTokens(everyByte));
    }
}

TEST(Corpus, HoldsTheTokensInOrderWithEachDistinctTokenOnce)
{
    const std::string text = "the cat. The cat sat on the mat.";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    EXPECT_EQ(corpusTokens(corpus), tokensOf(text));
    EXPECT_EQ(corpus.tokenCount(), 10u);
    EXPECT_EQ(corpus.vocabularySize(), 7u);  // the cat . The sat on mat
    EXPECT_EQ(corpus.tokenId(0), corpus.tokenId(7));
    EXPECT_NE(corpus.tokenId(0), corpus.tokenId(3));
    EXPECT_EQ(corpus.findToken("cat"), corpus.tokenId(1));
    EXPECT_EQ(std::vector<Corpus::TokenId>(corpus.stopTokens().begin(), corpus.stopTokens().end()),
              std::vector<Corpus::TokenId>{corpus.findToken(".")});
    EXPECT_EQ(corpus.findToken("dog"), Corpus::noToken);
    EXPECT_EQ(corpus.findToken(""), Corpus::noToken);
    EXPECT_EQ(corpus.findToken("!"), Corpus::noToken);
}

TEST(Corpus, TellsApartTokensOfEveryLengthThatShareBytes)
{
    // Words of one letter and of many lengths, alike but for one byte at the
    // start, the middle or the end; one-letter words and marks by their byte.
    std::string text = "a b Z 7 . , ";
    Tokens expected = {"a", "b", "Z", "7", ".", ","};
    for (std::size_t n = 2; n <= 40; ++n) {
        const std::string plain(n, 'a');
        std::string first = plain, middle = plain, last = plain;
        first.front() = 'b';
        middle[n / 2] = 'b';
        last.back() = 'b';
        for (const std::string &word : {plain, first, middle, last}) {
            if (std::find(expected.begin(), expected.end(), word) == expected.end())
                expected.push_back(word);
            text += word + ' ';
        }
    }
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    ASSERT_EQ(corpus.vocabularySize(), expected.size());
    for (Corpus::TokenId id = 0; id < corpus.vocabularySize(); ++id) {
        EXPECT_EQ(corpus.tokenText(id), expected[id]);
        EXPECT_EQ(corpus.findToken(expected[id]), id) << expected[id];
    }
    // Absent: a letter not in the text, a non-ASCII byte, a longer or a cut word.
    EXPECT_EQ(corpus.findToken("c"), Corpus::noToken);
    EXPECT_EQ(corpus.findToken("\xe9"), Corpus::noToken);
    EXPECT_EQ(corpus.findToken(std::string(41, 'a')), Corpus::noToken);
    EXPECT_EQ(corpus.findToken("aaaaaaaaab" + std::string(1, 'a')), Corpus::noToken);
    EXPECT_EQ(corpus.findToken("a b"), Corpus::noToken);
}

TEST(Corpus, EmptyAndBlankTextsGiveEmptyCorpora)
{
    const Corpus empty(nullptr, 0);
    EXPECT_EQ(empty.tokenCount(), 0u);
    EXPECT_EQ(empty.first(), empty.end());
    EXPECT_TRUE(empty.stopTokens().empty());

    const Corpus blank(" \n\t ", 4);
    EXPECT_EQ(blank.tokenCount(), 0u);
}

TEST(Corpus, SpansOfTokensArePlainTextWhateverBytesSurroundThem)
{
    // Every byte value next to a word: Latin-1 letters, controls and DEL
    // separate, so no token holds one, and drawing may cut spans short.
    std::string text;
    for (int b = 1; b < 256; ++b) {
        text += "w";
        text += static_cast<char>(b);
    }
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    ASSERT_GT(corpus.tokenCount(), 94u);
    EXPECT_TRUE(corpus.plainSpan(0, static_cast<std::uint32_t>(corpus.tokenCount())));
    EXPECT_TRUE(corpus.plainSpan(corpus.end(), 0));
}

TEST(Corpus, InternsManyDistinctTokens)
{
    // Enough distinct words to grow the hash table several times.
    std::string text;
    for (int i = 0; i < 50000; ++i)
        text += "w" + std::to_string(i) + " w" + std::to_string(i / 2) + ' ';
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    ASSERT_EQ(corpus.tokenCount(), 100000u);
    EXPECT_EQ(corpus.vocabularySize(), 50000u);
    EXPECT_EQ(corpusTokens(corpus), tokensOf(text));
    for (int i = 0; i < 50000; i += 997)
        EXPECT_EQ(corpus.tokenText(corpus.findToken("w" + std::to_string(i))), "w" + std::to_string(i));
}

TEST(Corpus, FindsTheTokensOfLongSearchTextsOverLargeVocabularies)
{
    // A vocabulary large enough for the lookups that go in batches, and a
    // small one, each searched with its whole text (a label that is the text).
    for (const int words : {30000, 50}) {
        std::string text;
        for (int i = 0; i < 40000; ++i)
            text += "w" + std::to_string(i % words) + (i % 7 == 0 ? ". " : i % 5 == 0 ? " a " : " ");
        const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
        std::vector<Corpus::TokenId> ids{42};
        ASSERT_TRUE(corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), ids));
        ASSERT_EQ(ids.size(), corpus.tokenCount() + 1);
        EXPECT_EQ(ids.front(), 42u);  // appended after what was there
        EXPECT_TRUE(std::equal(ids.begin() + 1, ids.end(), corpus.tokenIds().begin()));

        // A zero byte inside a word, among tokens waiting for their lookup.
        std::string search = "w1 w2 w3 w" + std::string(1, '\0') + "4 w5 . a w6";
        ids.clear();
        ASSERT_TRUE(corpus.findTokens(search.data(), static_cast<std::uint32_t>(search.size()), ids));
        ASSERT_EQ(ids.size(), 8u);
        EXPECT_EQ(corpus.tokenText(ids[3]), "w4");
        EXPECT_EQ(corpus.tokenText(ids[7]), "w6");

        // One token missing, first, last, or amid others; a missing one-letter word or mark.
        for (const char *missing : {"zz", "z", "!"}) {
            for (const std::size_t at : {std::size_t{0}, std::size_t{17}, std::size_t{40}}) {
                std::string probe;
                for (std::size_t k = 0; k < 41; ++k)
                    probe += k == at ? std::string(missing) + ' ' : "w" + std::to_string(k % words) + ' ';
                ids.clear();
                EXPECT_FALSE(corpus.findTokens(probe.data(), static_cast<std::uint32_t>(probe.size()), ids))
                    << missing << " at " << at << " of " << words;
            }
        }
    }
}

}  // namespace
