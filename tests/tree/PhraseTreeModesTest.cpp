// searchPhrase backwards, folding case, cutting Unicode text, over several
// documents and stopping at sentence ends, each against the plain reference
// run on the transformed token list.
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"
#include "UnicodeTokens.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using Status = PhraseSearchResult::Status;

struct Mode {
    CorpusOptions options;
    TreeDirection direction = TreeDirection::Forward;
    bool sentences = false;
};

std::string describe(const Strings &documents, const std::string &phrase, const Mode &mode)
{
    std::string text = "phrase '" + phrase + "', words " + std::to_string(static_cast<int>(mode.options.words)) + ", foldCase "
                       + std::to_string(mode.options.foldCase) + ", backward "
                       + std::to_string(mode.direction == TreeDirection::Backward) + ", sentences "
                       + std::to_string(mode.sentences) + ", documents:";
    for (const auto &document : documents)
        text += "\n  '" + document + "'";
    return text;
}

// Compares searchPhrase with the reference over the documents' tokens, a
// distinct "\x01<k>" token (which no text can hold) standing for each boundary.
bool sameTree(const Strings &documents, const std::string &phrase, const Mode &mode)
{
    const CorpusOptions options = mode.options;
    Strings tokens;
    std::vector<std::string_view> views;
    for (const auto &document : documents) {
        if (!views.empty())
            tokens.push_back("\x01" + std::to_string(views.size()));
        views.push_back(document);
        Corpus::tokenize(document.data(), static_cast<std::uint32_t>(document.size()), tokens, options);
    }
    Strings query;
    Corpus::tokenize(phrase.data(), static_cast<std::uint32_t>(phrase.size()), query, options);
    ReferenceRules rules;
    if (options.foldCase) {
        rules.key = [unicode = options.utf8()](const std::string &token) {
            std::string folded;
            appendFolded(token, unicode, folded);
            return folded;
        };
    }
    rules.isBoundary = [](const std::string &token) { return token[0] == '\x01'; };
    if (options.utf8()) {
        rules.isStop = isUnicodeFullStop;
        rules.isSentenceEnd = isUnicodeSentenceEnd;
    }
    rules.backward = mode.direction == TreeDirection::Backward;
    rules.sentences = mode.sentences;

    const Corpus corpus = documents.size() == 1
                              ? Corpus(documents[0].data(), static_cast<std::uint32_t>(documents[0].size()), options)
                              : Corpus(views, options);
    const PhraseSearchResult actual = searchPhrase(corpus, phrase, mode.direction, mode.sentences);
    const auto expected = buildReferenceTree(tokens, query, phrase, rules);
    const Status status = query.empty() ? Status::NoTokens : (expected ? Status::Found : Status::NotFound);
    EXPECT_EQ(actual.status, status) << describe(documents, phrase, mode);
    EXPECT_EQ(actual.root != nullptr, expected != nullptr) << describe(documents, phrase, mode);
    if (actual.status != status || !expected || !actual.root)
        return actual.status == status && (actual.root != nullptr) == (expected != nullptr);
    const std::string difference = firstDifference(*expected, *actual.root);
    EXPECT_EQ(difference, "") << describe(documents, phrase, mode) << "\nexpected:\n"
                              << outlineOf(*expected) << "actual:\n"
                              << outlineOf(*actual.root);
    return difference.empty();
}

// Every mode but the plain one, with one document and with several: the
// word rules (bits 4 and 8), folding, direction and stopping at sentence
// ends (bit 16).
std::vector<Mode> modes()
{
    std::vector<Mode> result;
    for (int bits = 1; bits < 28; ++bits) {
        if ((bits & 12) == 12)
            continue;
        result.push_back({{(bits & 8) != 0   ? WordRules::Segmented
                           : (bits & 4) != 0 ? WordRules::Unicode
                                             : WordRules::Bytes,
                           (bits & 2) != 0},
                          (bits & 1) ? TreeDirection::Backward : TreeDirection::Forward,
                          (bits & 16) != 0});
    }
    return result;
}

// Random texts of pieces from `vocabulary`, cut into up to three documents,
// and phrases of one to three pieces, in every mode.
void checkRandomTexts(const Strings &vocabulary, unsigned seed, int rounds)
{
    std::mt19937 random(seed);
    const std::string joins[] = {" ", " ", " ", "", "\n"};
    for (int round = 0; round < rounds; ++round) {
        Strings documents(1 + (round % 5 == 0 ? random() % 3 : 0));
        for (auto &document : documents) {
            for (unsigned i = random() % (60 / documents.size()); i > 0; --i)
                document += vocabulary[random() % vocabulary.size()] + joins[random() % 5];
        }
        std::string phrase;
        for (unsigned i = 1 + random() % 3; i > 0; --i)
            phrase += vocabulary[random() % vocabulary.size()] + (i > 1 ? " " : "");
        if (round % 13 == 0)
            phrase = "  " + phrase + " ";
        for (const Mode &mode : modes()) {
            if (!sameTree(documents, phrase, mode))
                return;
        }
    }
}

TEST(PhraseTreeModes, TinyMixedCaseVocabularies)
{
    checkRandomTexts({"a", "A", "b", "B", "."}, 1, 1500);
    checkRandomTexts({"a", "A", "."}, 2, 800);
    checkRandomTexts({"ab", "Ab", "aB", "b", "B", "."}, 3, 800);
}

TEST(PhraseTreeModes, TinyUnicodeVocabularies)
{
    // Folds that change length or map several spellings to one (KELVIN SIGN,
    // long s, final sigma, capital sharp s), marks, and a word glued to a mark.
    checkRandomTexts({"\u212A", "k", "K", "\u017F", "s", "S", "\u03C3", "\u03C2", "\u03A3", "\u00E9,", "\u00C9", ".",
                      "\u00AB", "\u1E9E", "\u00DF"},
                     4, 1200);
    // The full stops of other scripts end continuations under the UTF-8
    // rules; under the byte rules their bytes separate.
    checkRandomTexts({"\u4E00", "\u4E8C", "\u3002", "\uFF0E", "\uFF61", "\u0915", "\u0964", "\u0628", "\u06D4", "x", "."},
                     5, 800);
    // Words that the dictionaries cut by their context: the same
    // characters may be one word in one place and two in another.
    checkRandomTexts({"\u6211", "\u4EEC", "\u559C\u6B22", "\u4E2D\u56FD", "\u4EBA", "\u3002", "\u0E2A\u0E27\u0E31\u0E2A",
                      "\u0E14\u0E35", "don't", "3.14", "_"},
                     6, 600);
}

TEST(PhraseTreeModes, TinyVocabulariesOfSentenceEnds)
{
    // "!" and "?" (and under the UTF-8 rules their fullwidth forms) end
    // sentences but are no full stops; repeated stretches make groups of
    // several continuations run into them.
    checkRandomTexts({"a", "A", "b", "!", "?", "\uFF01", "\uFF1F", ".", "\u3002", "a b a", "b ! a"}, 7, 700);
}

TEST(PhraseTreeModes, SentenceEndsFarFromAnyFullStop)
{
    // Hundreds of tokens without a full stop: past a few hundred, the other
    // sentence ends' positions are listed and searched, both ways.
    std::mt19937 random(8);
    for (int round = 0; round < 8; ++round) {
        std::string text;
        for (int i = 0; i < 450; ++i)
            text += random() % 400 == 0 ? "? " : random() % 600 == 0 ? "! " : random() % 2 ? "a " : "b ";
        for (const Mode &mode : modes()) {
            if (mode.sentences && !sameTree({text}, round % 2 ? "a b" : "b", mode))
                return;
        }
    }
}

TEST(PhraseTreeModes, ChainsSpelledByTheirFirstMetOccurrence)
{
    // Each node of an absorbed chain takes its own first-met spelling, from
    // different occurrences; one continuation ends the text inside the chain.
    const Strings cases[] = {{"x a B c . x A b C . x a b"}, {"x A b . y x a B c", "x a b C"}, {"a B x . A b x"}};
    for (const Strings &documents : cases) {
        for (const Mode &mode : modes())
            sameTree(documents, "X", mode);
    }
}

TEST(PhraseTreeModes, DocumentsWithoutStopsOrEndingAlike)
{
    // Without a "." the stop id is that of a boundary; continuations that all
    // end at their document's end, at the same depth, end a group together.
    for (const Mode &mode : modes()) {
        sameTree({"a", "b"}, "a", mode);
        sameTree({"a b", "a b"}, "a", mode);
        sameTree({"b a", "b a", "c b a"}, "A", mode);
    }
}

TEST(PhraseTreeModes, GenesisExcerpt)
{
    std::ifstream file(MORVANET_SAMPLES_DIR "/genesis.txt", std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(file), {});
    ASSERT_GT(text.size(), 20000u);
    text.resize(text.find('\n', 20000));
    const Strings whole{text};
    const std::size_t third = text.find('\n', text.size() / 3);
    const Strings parts{text.substr(0, third), text.substr(third, third), text.substr(2 * third)};
    for (const char *phrase : {"and", "And God said", "the LORD", "GOD", ".", " of the ", "said"}) {
        for (const Mode &mode : modes()) {
            sameTree(whole, phrase, mode);
            sameTree(parts, phrase, mode);
        }
    }
}

TEST(PhraseTreeModes, NoTokensIsToldFromNotFound)
{
    for (const Mode &mode : modes()) {
        sameTree({"a b. A"}, " \t ", mode);
        sameTree({"a b. A"}, "zz", mode);
        sameTree({"a b. A", "c"}, "a b. A c", mode);
    }
    const Corpus unicode("a\u00A0b", 4, {WordRules::Unicode, false});
    EXPECT_EQ(searchPhrase(unicode, "\u00A0\u2003", TreeDirection::Forward).status, Status::NoTokens);
    EXPECT_EQ(searchPhrase(unicode, "\u00A0c", TreeDirection::Backward).status, Status::NotFound);
}

}  // namespace
