// Which tokens the text separates and which touch, as the corpus notes it while cutting.
#include "Corpus.h"
#include "WrittenText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The corpus's tokens joined as separatedBefore says, "|" at a boundary.
std::string writtenOf(const Corpus &corpus)
{
    std::string out;
    for (Corpus::Position p = 0; p < corpus.end(); ++p) {
        if (corpus.tokenId(p) == Corpus::noToken) {
            EXPECT_TRUE(corpus.separatedBefore(p));
            out += '|';
            continue;
        }
        if (p > 0 && corpus.tokenId(p - 1) != Corpus::noToken && corpus.separatedBefore(p))
            out += ' ';
        out += corpus.token(p);
    }
    return out;
}

// Each document's tokens as WrittenText reads them from its bytes, "|" between documents.
std::string writtenFromBytes(const std::vector<std::string> &documents, const CorpusOptions &options)
{
    std::string out;
    for (std::size_t d = 0; d < documents.size(); ++d) {
        if (d > 0)
            out += '|';
        const std::vector<WrittenText::Token> tokens = WrittenText::tokensOf(documents[d], options);
        if (!tokens.empty())
            out += WrittenText::between(documents[d], tokens, 0, tokens.size() - 1);
    }
    return out;
}

Corpus corpusOf(const std::vector<std::string> &documents, const CorpusOptions &options)
{
    std::vector<std::string_view> views(documents.begin(), documents.end());
    return Corpus(views, options);
}

TEST(CorpusSeparators, TellWhereTheTextPartsTokensUnderEachRule)
{
    const CorpusOptions bytes{WordRules::Bytes, false}, unicode{WordRules::Unicode, false},
        segmented{WordRules::Segmented, false}, folded{WordRules::Bytes, true};
    const struct {
        std::string text;
        CorpusOptions options;
        std::string written;
    } cases[] = {
        {"The king's house, \"the end.\"", bytes, "The king's house, \"the end.\""},
        // Blanks, controls, DEL and every byte from 0x80 separate; runs count once.
        {"  a \t\n b\x80" "c\x01\x7f" "d\xc3\xa9" "e  ", bytes, "a b c d e"},
        // Zero bytes are passed over: inside a word, which then spans more
        // bytes than it holds, and between tokens, which still touch.
        {std::string("a\0b c\0,\0 d.\0,", 13), bytes, "ab c, d.,"},
        {std::string("\0\0x\0", 4), bytes, "x"},
        {"Don't SHOUT!", folded, "Don't SHOUT!"},
        // Under the UTF-8 rules: a no-break space and an ill-formed byte separate.
        {"Gr\xc3\xb6\xc3\x9f" "e,\xc2\xa0Stra\xc3\x9f" "e.\xff!x", unicode,
         "Gr\xc3\xb6\xc3\x9f" "e, Stra\xc3\x9f" "e. !x"},
        {std::string("\xc3\xa9\0!\xe3\x80\x82", 7), unicode, "\xc3\xa9!\xe3\x80\x82"},
        // Chinese words touch; "don't" is one word.
        {"\xe6\x88\x91\xe4\xbb\xac\xe5\x96\x9c\xe6\xac\xa2\xe4\xb8\xad\xe5\x9b\xbd\xe3\x80\x82 don't", segmented,
         "\xe6\x88\x91\xe4\xbb\xac\xe5\x96\x9c\xe6\xac\xa2\xe4\xb8\xad\xe5\x9b\xbd\xe3\x80\x82 don't"},
        {std::string("\xe6\x88\x91\0\xe4\xbb\xac,\0 \xe4\xbd\xa0", 14), segmented,
         "\xe6\x88\x91\xe4\xbb\xac, \xe4\xbd\xa0"},
    };
    for (const auto &c : cases) {
        const Corpus corpus(c.text.data(), static_cast<std::uint32_t>(c.text.size()), c.options);
        EXPECT_EQ(writtenOf(corpus), c.written) << c.text;
        EXPECT_EQ(writtenFromBytes({c.text}, c.options), c.written) << c.text;
        EXPECT_EQ(corpus.separatedBits().size(), (corpus.end() + 63) / 64);
    }
    // A document's first token, a boundary and past the end count as separated.
    const Corpus two = corpusOf({",a", "b,"}, bytes);
    EXPECT_EQ(writtenOf(two), ",a|b,");
    EXPECT_TRUE(two.separatedBefore(0));
    EXPECT_TRUE(two.separatedBefore(3));
    EXPECT_TRUE(two.separatedBefore(two.end()));
    EXPECT_FALSE(two.separatedBefore(1));
}

TEST(CorpusSeparators, AgreeWithTheBytesOfRandomTextsOfSeveralDocuments)
{
    // Pieces that touch or part in every way the rules know, joined by
    // nothing, blanks, zero bytes, controls, ill-formed and no-break bytes.
    const std::vector<std::string> pieces = {"a", "Bc", "'", ",", ".", "don't", "3.14", "\xc3\xa9t\xc3\xa9",
                                             "\xe6\x88\x91\xe4\xbb\xac", "\xe4\xb8\xad\xe5\x9b\xbd", "\xe3\x80\x82", "_x"};
    const std::vector<std::string> joins = {"", "", " ", "  ", std::string(1, '\0'), std::string("\0 ", 2), "\t\x01",
                                            "\xff", "\xc2\xa0", "\n"};
    std::mt19937 random(23);
    for (int round = 0; round < 600; ++round) {
        std::vector<std::string> documents(1 + random() % 3);
        for (std::string &document : documents) {
            for (unsigned i = random() % 40; i > 0; --i)
                document += pieces[random() % pieces.size()] + joins[random() % joins.size()];
        }
        for (const WordRules rules : {WordRules::Bytes, WordRules::Unicode, WordRules::Segmented}) {
            const CorpusOptions options{rules, round % 2 == 1};
            ASSERT_EQ(writtenOf(corpusOf(documents, options)), writtenFromBytes(documents, options))
                << "round " << round << " rules " << static_cast<int>(rules);
        }
    }
}

TEST(CorpusSeparators, AgreeWithTheBytesOfALongSegmentedTextCutOnTwoCores)
{
    // Long enough to be cut in blocks on two cores, with zero bytes in
    // words and between them, so that some tokens come gathered.
    std::ifstream in(MORVANET_TEST_DATA_DIR "/chinese-fortunes.txt", std::ios::binary);
    const std::string unit(std::istreambuf_iterator<char>(in), {});
    std::string text;
    for (int k = 0; text.size() < 600000; ++k) {
        text += unit;
        text += k % 2 ? std::string("x\0y\0,\0 z", 8) : std::string("\xe6\x88\x91\0\xe4\xbb\xac\0\xe3\x80\x82", 11);
    }
    const Corpus corpus = corpusOf({text}, {WordRules::Segmented, false});
    EXPECT_EQ(writtenOf(corpus), writtenFromBytes({text}, {WordRules::Segmented, false}));
}

}  // namespace
