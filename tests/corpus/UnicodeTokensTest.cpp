// The Unicode tokenizer against a plain reference, on random UTF-8 fragments
// and real text, and case folding.
#include "UnicodeTokens.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::string>;

Tokens unicodeTokens(std::string_view text)
{
    Tokens out;
    std::string word;
    forEachUnicodeToken(text.data(), static_cast<std::uint32_t>(text.size()), word,
                        [&out](std::string_view token) { out.emplace_back(token); });
    return out;
}

Tokens byteTokens(std::string_view text)
{
    Tokens out;
    std::string word;
    forEachToken(text.data(), static_cast<std::uint32_t>(text.size()), word,
                 [&out](std::string_view token) { out.emplace_back(token); });
    return out;
}

// The next code point of s[0, n), decoded one byte at a time by the table of
// well-formed UTF-8 sequences: {code point, length}, or {-1, length of the
// maximal subpart} when ill-formed.
std::pair<std::int32_t, std::size_t> decodeOne(const unsigned char *s, std::size_t n)
{
    const unsigned lead = s[0];
    if (lead < 0x80)
        return {static_cast<std::int32_t>(lead), 1};
    std::size_t trail;
    unsigned low = 0x80, high = 0xBF;
    std::int32_t c;
    if (lead >= 0xC2 && lead <= 0xDF)
        trail = 1, c = lead & 0x1F;
    else if (lead == 0xE0)
        trail = 2, c = 0, low = 0xA0;
    else if (lead == 0xED)
        trail = 2, c = 0xD, high = 0x9F;
    else if (lead >= 0xE1 && lead <= 0xEF)
        trail = 2, c = lead & 0x0F;
    else if (lead == 0xF0)
        trail = 3, c = 0, low = 0x90;
    else if (lead == 0xF4)
        trail = 3, c = 4, high = 0x8F;
    else if (lead >= 0xF1 && lead <= 0xF3)
        trail = 3, c = lead & 0x07;
    else
        return {-1, 1};
    for (std::size_t k = 1; k <= trail; ++k) {
        if (k >= n || s[k] < low || s[k] > high)
            return {-1, k};
        c = c << 6 | (s[k] & 0x3F);
        low = 0x80, high = 0xBF;
    }
    return {c, trail + 1};
}

enum class Kind { Word, Mark, Other };

Kind kindOf(std::int32_t c)
{
    switch (u_charType(c)) {
    case U_UPPERCASE_LETTER: case U_LOWERCASE_LETTER: case U_TITLECASE_LETTER: case U_MODIFIER_LETTER:
    case U_OTHER_LETTER: case U_NON_SPACING_MARK: case U_COMBINING_SPACING_MARK: case U_ENCLOSING_MARK:
    case U_DECIMAL_DIGIT_NUMBER: case U_LETTER_NUMBER: case U_OTHER_NUMBER:
        return Kind::Word;
    case U_CONNECTOR_PUNCTUATION: case U_DASH_PUNCTUATION: case U_START_PUNCTUATION: case U_END_PUNCTUATION:
    case U_INITIAL_PUNCTUATION: case U_FINAL_PUNCTUATION: case U_OTHER_PUNCTUATION:
    case U_MATH_SYMBOL: case U_CURRENCY_SYMBOL: case U_MODIFIER_SYMBOL: case U_OTHER_SYMBOL:
        return Kind::Mark;
    default:
        return Kind::Other;
    }
}

Tokens referenceTokens(std::string_view text)
{
    Tokens out;
    std::string word;
    bool inWord = false;
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, length] = decodeOne(s + i, text.size() - i);
        const std::string_view bytes = text.substr(i, length);
        i += length;
        if (c == 0)
            continue;
        const Kind kind = c < 0 ? Kind::Other : kindOf(c);
        if (kind == Kind::Word) {
            word += bytes, inWord = true;
            continue;
        }
        if (inWord)
            out.push_back(word), word.clear(), inWord = false;
        if (kind == Kind::Mark)
            out.emplace_back(bytes);
    }
    if (inWord)
        out.push_back(word);
    return out;
}

std::string utf8(char32_t c)
{
    char bytes[U8_MAX_LENGTH];
    std::int32_t n = 0;
    U8_APPEND_UNSAFE(bytes, n, static_cast<UChar32>(c));
    return std::string(bytes, static_cast<std::size_t>(n));
}

// Random text made of UTF-8 fragments, whole and broken.
std::string randomText(std::mt19937 &random, std::size_t pieces)
{
    static const std::vector<std::string> fragments = {
        "a", "Z", "7", " ", ".", "'", "^", "\x7f", std::string(1, '\0'),
        "\xc3\xa9", "\xc3\x9f", "\xe4\xb8\xad", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xcc\x81",  // é ß 中 € 😀, U+0301
        "\xc2\xa0", "\xe2\x80\x8b", "\xee\x80\x80", "\xcd\xb8", "\xe2\x80\xa8", "\xd9\xa3",      // Zs Cf Co Cn Zl, Nd
        "\xc0\x80", "\xc1\x81", "\xe0\x81\x81", "\xf0\x80\x81\x81",  // overlong U+0000 and 'A's
        "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80", "\xf5", "\xff", "\x80", "\xbf",
    };
    std::string text;
    for (std::size_t k = 0; k < pieces; ++k) {
        const unsigned pick = random() % 9;
        if (pick < 5) {
            text += fragments[random() % fragments.size()];
        } else if (pick == 5) {
            // A multi-byte character cut short.
            const std::string whole = utf8(static_cast<char32_t>(0x80 + random() % 0x10FF80));
            text += whole.substr(0, 1 + random() % (whole.size() - 1));
        } else if (pick == 6) {
            char32_t c = random() % 0x110000;
            if (c >= 0xD800 && c < 0xE000)
                c = 0x4E00;
            text += utf8(c);
        } else if (pick == 7) {
            text += static_cast<char>(random());
        } else {
            // ASCII long enough to fill whole blocks of the tokenizer, now
            // and then as a word that spans a block.
            const unsigned blankEvery = random() % 4 == 0 ? 1000 : 6;
            for (std::size_t n = random() % 200; n > 0; --n)
                text += random() % blankEvery == 0 ? ' ' : static_cast<char>('a' + random() % 26);
        }
    }
    return text;
}

TEST(UnicodeTokens, MatchTheReferenceOnRandomAndRealText)
{
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(random, 1 + random() % 80);
        ASSERT_EQ(unicodeTokens(text), referenceTokens(text)) << ::testing::PrintToString(text);
    }

    std::ifstream file(MORVANET_SOURCE_DIR "/../shared/corpora/czech-market.txt", std::ios::binary);
    if (!file)
        GTEST_SKIP() << "no Czech corpus beside the source tree";
    std::string text(200 * 1024, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    const Tokens tokens = unicodeTokens(text);
    EXPECT_EQ(tokens, referenceTokens(text));
    EXPECT_GT(tokens.size(), text.size() / 20);
}

TEST(UnicodeTokens, NamedCases)
{
    EXPECT_EQ(unicodeTokens("caf\xc3\xa9 au lait"), (Tokens{"caf\xc3\xa9", "au", "lait"}));
    EXPECT_EQ(unicodeTokens("Gr\xc3\xb6\xc3\x9f" "e!"), (Tokens{"Gr\xc3\xb6\xc3\x9f" "e", "!"}));
    EXPECT_EQ(unicodeTokens("e\xcc\x81t\xc3\xa9\xe2\x80\x94\xe4\xb8\xad\xe6\x96\x87"),  // combining acute, em dash
              (Tokens{"e\xcc\x81t\xc3\xa9", "\xe2\x80\x94", "\xe4\xb8\xad\xe6\x96\x87"}));
    // A broken sequence does not swallow the character after it.
    EXPECT_EQ(unicodeTokens("x\xe2\x82" "A"), (Tokens{"x", "A"}));
    EXPECT_EQ(unicodeTokens("x\xed\xa0\x80y\xc0\x80z\xf4\x90\x80\x80w"), (Tokens{"x", "y", "z", "w"}));
    EXPECT_EQ(unicodeTokens("ab\xe4\xb8"), (Tokens{"ab"}));
    // U+0000 inside a word is passed over; outside one it ends nothing.
    EXPECT_EQ(unicodeTokens(std::string_view("a\0b \0\xc3\xa9\0\0" "c.", 11)), (Tokens{"ab", "\xc3\xa9" "c", "."}));
    // Exactly `length` bytes are read.
    EXPECT_EQ(unicodeTokens(std::string_view("word\xc3\xa9", 5)), (Tokens{"word"}));

    // emit returning false stops the scan.
    Tokens seen;
    std::string word;
    const std::string text = "one two three";
    forEachUnicodeToken(text.data(), static_cast<std::uint32_t>(text.size()), word, [&seen](std::string_view t) {
        seen.emplace_back(t);
        return seen.size() < 2;
    });
    EXPECT_EQ(seen, (Tokens{"one", "two"}));
}

TEST(UnicodeTokens, AsciiIsCutAsByTheByteRules)
{
    for (int b = 0; b < 128; ++b) {
        const std::string text = {'x', static_cast<char>(b), 'y', ' ', static_cast<char>(b)};
        EXPECT_EQ(unicodeTokens(text), byteTokens(text)) << "byte " << b;
    }
    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        std::string text(random() % 300, ' ');
        for (char &c : text)
            c = static_cast<char>(random() % 4 == 0 ? 0x20 + random() % 0x5F : random() % 0x80);
        ASSERT_EQ(unicodeTokens(text), byteTokens(text)) << ::testing::PrintToString(text);
    }
}

std::string folded(std::string_view token, bool unicode)
{
    std::string out = "<";
    appendFolded(token, unicode, out);
    return out;
}

TEST(UnicodeTokens, Folding)
{
    EXPECT_EQ(folded("\xc3\x89" "COLE", true), "<\xc3\xa9" "cole");
    EXPECT_EQ(folded("Stra\xc3\x9f" "e", true), "<stra\xc3\x9f" "e");  // simple folding keeps ß
    EXPECT_EQ(folded("\xe2\x84\xaa", true), "<k");                     // KELVIN SIGN
    EXPECT_EQ(folded("\xc8\xba", true), "<\xe2\xb1\xa5");              // Ⱥ folds to three bytes
    EXPECT_EQ(folded("\xce\xa3\xcf\x82", true), "<\xcf\x83\xcf\x83");  // Σς
    EXPECT_EQ(folded("\xc3\x89" "COLE", false), "<\xc3\x89" "cole");
    EXPECT_EQ(folded("A\xff" "B", true), "<a\xff" "b");
}

}  // namespace
