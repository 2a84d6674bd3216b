// Where tokens start in their bytes, and the line of every token (and every layer value of an annotated one): against texts made so.
#include "AnnotatedCorpusBuilder.h"
#include "Corpus.h"
#include "CorpusIndex.h"
#include "Tokenizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const CorpusOptions everyMode[] = {
    {WordRules::Bytes, false},   {WordRules::Bytes, true},     {WordRules::Unicode, false},
    {WordRules::Unicode, true},  {WordRules::Segmented, false}, {WordRules::Segmented, true}};

// A document made of tokens with the offset of each one's first byte; its
// words may hold zero bytes, and the separators blank lines and zero bytes.
struct Made {
    std::string bytes;
    std::vector<std::string> tokens;  // as the corpus spells them
    std::vector<std::uint32_t> starts;
};

Made makeDocument(std::mt19937 &random, std::size_t pieces, bool unicode)
{
    using namespace std::string_literals;
    // The last of each list is cut only by the UTF-8 rules.
    const std::string words[] = {"a", "Bc", "x\0y"s, "the", "Q\0\0r"s, "ab\0cd\0"s, "\xC3\xA9t\xC3\xA9"};
    const std::string marks[] = {".", ",", "\xE3\x80\x82"};
    const std::string separators[] = {" ", "\n", "\n\n", " \0"s, "\n\0 "s, " \n \n", "\t", std::string(70, ' ') + "\n"};
    Made made;
    for (std::size_t i = 0; i < pieces; ++i) {
        made.bytes += separators[random() % std::size(separators)];
        const bool mark = random() % 4 == 0;
        const std::size_t choices = (mark ? std::size(marks) : std::size(words)) - (unicode ? 0 : 1);
        const std::string &piece = mark ? marks[random() % choices] : words[random() % choices];
        std::string spelled;
        for (const char c : piece) {
            if (c != '\0')
                spelled += c;
        }
        made.starts.push_back(static_cast<std::uint32_t>(made.bytes.size()));
        made.tokens.push_back(spelled);
        made.bytes += piece;
    }
    return made;
}

// 1 plus the line feeds before `offset`.
std::uint64_t naiveLine(const std::string &bytes, std::uint32_t offset)
{
    std::uint64_t line = 1;
    for (std::uint32_t i = 0; i < offset; ++i)
        line += bytes[i] == '\n';
    return line;
}

TEST(CorpusLines, EachTokenStartsAtItsFirstByteAndIsOnItsLine)
{
    std::mt19937 random(11);
    for (int round = 0; round < 30; ++round) {
        for (const CorpusOptions &options : everyMode) {
            std::vector<Made> made(1 + random() % 4);
            std::vector<std::string_view> views;
            for (Made &document : made) {
                document = makeDocument(random, random() % 200, options.utf8());
                if (random() % 5 == 0)
                    document.bytes += "\n\n";  // trailing blank lines
                views.emplace_back(document.bytes);
                // The tokenizer hands each token with the offset of its first byte.
                std::vector<std::uint32_t> starts;
                std::string word;
                forEachTokenOf(options, document.bytes.data(), static_cast<std::uint32_t>(document.bytes.size()), word,
                               [&](std::string_view, std::uint32_t start) { starts.push_back(start); });
                ASSERT_EQ(starts, document.starts);
            }
            const Corpus corpus(views, options);
            std::size_t hint = 0;
            Corpus::Position p = 0;
            for (std::size_t d = 0; d < made.size(); ++d, ++p) {
                for (std::size_t k = 0; k < made[d].tokens.size(); ++k, ++p) {
                    ASSERT_EQ(corpus.token(p), made[d].tokens[k]);
                    const std::uint64_t line = naiveLine(made[d].bytes, made[d].starts[k]);
                    ASSERT_EQ(corpus.lineOf(p), line) << "document " << d << " token " << k;
                    ASSERT_EQ(corpus.lineOf(p, hint), line) << "document " << d << " token " << k;
                }
            }
        }
    }
}

TEST(CorpusLines, Utf16TextsWithAndWithoutAByteOrderMark)
{
    // Every other byte is zero: the words are gathered across them, and each
    // keeps the line of its first byte.
    const std::string text = "one two\n\nthree\nfour five six\n seven\n";
    const std::vector<std::uint64_t> lines = {1, 1, 3, 4, 4, 4, 5};
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {false, true}) {
            std::string utf16 = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
            for (const char c : text) {
                utf16 += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
            }
            for (const CorpusOptions &options : everyMode) {
                const Corpus corpus(utf16.data(), static_cast<std::uint32_t>(utf16.size()), options);
                ASSERT_EQ(corpus.tokenCount(), lines.size());
                std::size_t hint = 0;
                for (Corpus::Position p = 0; p < corpus.end(); ++p) {
                    EXPECT_EQ(corpus.lineOf(p), lines[p]) << p;
                    EXPECT_EQ(corpus.lineOf(p, hint), lines[p]) << p;
                }
            }
        }
    }
}

}  // namespace

// An annotated corpus keeps a value per layer and a line per token in less
// room than an id and a line entry a token: layers as narrow as their
// values (widened as values come), lines as runs. Made or saved, it reads
// back what was given.
TEST(AnnotatedCorpusLines, EveryValueAndLineReadsBackAsGivenMadeAndSaved)
{
    std::mt19937 random(18);
    const std::vector<std::string> layers{"word", "many", "some", "few"};
    AnnotatedCorpusBuilder builder(CorpusOptions{});
    struct Given {
        std::vector<std::string> values;  // empty at a boundary
        std::uint64_t line = 0;
    };
    std::vector<Given> given;
    std::uint64_t line = 1;
    for (int file = 0; file < 3; ++file) {
        if (file > 0)
            given.push_back({});
        builder.startFile(layers);
        line = 1 + random() % 3;
        for (int k = 0; k < 40'000; ++k) {
            // Mostly a token a line, as annotated files write them; sometimes
            // a jump (comments, blank lines) or tokens sharing a line.
            const unsigned step = random() % 10;
            line += step < 7 ? 1 : step < 9 ? 2 + random() % 3 : 0;
            Given g{{"w" + std::to_string(random() % 50), "m" + std::to_string(file * 40'000 + k),
                     "s" + std::to_string(random() % 300), "f" + std::to_string(random() % 3)},
                    line};
            const std::vector<std::string_view> views(g.values.begin(), g.values.end());
            builder.token(views, true, line);
            given.push_back(std::move(g));
            if (k % 5000 == 4999 && file == 1) {
                builder.startDocument();
                given.push_back({});
            }
        }
    }
    builder.addPlainFile("one two\nthree\n\nfour five six\n");
    given.push_back({});
    for (const auto &[word, at] : std::vector<std::pair<std::string, std::uint64_t>>{
             {"one", 1}, {"two", 1}, {"three", 2}, {"four", 4}, {"five", 4}, {"six", 4}})
        given.push_back({{word, "_", "_", "_"}, at});
    const std::unique_ptr<const Corpus> made = builder.finish(true);

    const std::string path = ::testing::TempDir() + "annotated-lines.idx";
    std::string reason;
    std::vector<CorpusIndex::Source> sources(made->boundaries().size() + 1, CorpusIndex::Source{"x.conllu", 0, 0});
    ASSERT_TRUE(CorpusIndex::save(*made, sources, "x.conllu", path, {}, reason)) << reason;
    EXPECT_EQ(CorpusIndex::check(path), "");
    const CorpusIndex::Opened saved = CorpusIndex::open(path);
    ASSERT_TRUE(saved.corpus) << saved.reason;
    for (const Corpus *corpus : {made.get(), saved.corpus.get()}) {
        ASSERT_EQ(corpus->end(), given.size());
        std::size_t hint = 0;
        for (Corpus::Position p = 0; p < given.size(); ++p) {
            for (std::size_t layer = 0; layer < layers.size(); ++layer) {
                const Corpus::TokenId id = corpus->layerId(layer, p);
                if (given[p].values.empty())
                    ASSERT_EQ(id, Corpus::noToken) << p;
                else
                    ASSERT_EQ(corpus->layerText(layer, id), given[p].values[layer]) << p << " " << layers[layer];
            }
            if (!given[p].values.empty()) {
                ASSERT_EQ(corpus->lineOf(p), given[p].line) << p;
                ASSERT_EQ(corpus->lineOf(p, hint), given[p].line) << p;
            }
        }
    }
    std::remove(path.c_str());
}
