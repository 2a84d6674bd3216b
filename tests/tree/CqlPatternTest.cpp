// Token patterns: what the parser makes of typed text and where it says it fails, and where the
// compiled matcher finds a pattern against a reference that evaluates the parsed tree on every
// position with ICU, value by value.
#include "AnnotatedCorpusBuilder.h"
#include "CqlPattern.h"
#include "PatternMatcher.h"

#include <gtest/gtest.h>
#include <unicode/regex.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Expression = CqlPattern::Expression;
using Kind = CqlPattern::Expression::Kind;
using Positions = std::vector<Corpus::Position>;

CqlPattern parsed(std::string_view text)
{
    CqlPattern::Parsed result = CqlPattern::parse(text);
    EXPECT_TRUE(result.pattern) << text << ": " << result.reason;
    return result.pattern ? *result.pattern : *CqlPattern::parse("[]").pattern;
}

std::string reasonOf(std::string_view text)
{
    const CqlPattern::Parsed result = CqlPattern::parse(text);
    EXPECT_FALSE(result.pattern) << text;
    return result.reason;
}

// The tree written as "(or a=x (and b=y (not c!=z%c)))", to compare shapes at a glance.
std::string shape(const Expression &e)
{
    switch (e.kind) {
    case Kind::Any:
        return "any";
    case Kind::Condition:
        return e.condition.layer + (e.condition.negated ? "!=" : "=") + e.condition.regex +
               (e.condition.caseInsensitive ? "%c" : "");
    default: {
        std::string text = e.kind == Kind::And ? "(and" : e.kind == Kind::Or ? "(or" : "(not";
        for (const Expression &operand : e.operands)
            text += " " + shape(operand);
        return text + ")";
    }
    }
}

TEST(CqlPatternParse, SaysWhatItExpectedAndAtWhichCharacter)
{
    EXPECT_EQ(reasonOf(""), R"(pattern: expected "[" or a quoted string at character 1 (the end))");
    EXPECT_EQ(reasonOf("[word=\"a\""), R"(pattern: expected "&", "|" or "]" at character 10 (the end))");
    EXPECT_EQ(reasonOf("[word=\"a\" pos=\"b\"]"), R"(pattern: expected "&", "|" or "]" at character 11)");
    EXPECT_EQ(reasonOf("[word=a]"), "pattern: expected a quoted string at character 7");
    EXPECT_EQ(reasonOf("[word \"a\"]"), R"(pattern: expected "=" or "!=" at character 7)");
    EXPECT_EQ(reasonOf("[=\"a\"]"), R"(pattern: expected a layer name, "(" or "!" at character 2)");
    EXPECT_EQ(reasonOf("[word=\"a\" | ]"), R"(pattern: expected a layer name, "(" or "!" at character 13)");
    EXPECT_EQ(reasonOf("[(word=\"a\"]"), R"~(pattern: expected "&", "|" or ")" at character 11)~");
    EXPECT_EQ(reasonOf("[] x"), R"(pattern: expected "[" or a quoted string at character 4)");
    EXPECT_EQ(reasonOf("\"a\"%i"), R"(pattern: expected "c" after "%" (the one flag: ignore case) at character 5)");
    EXPECT_EQ(reasonOf("[] \"ab\\\""), R"(pattern: the string at character 4 has no closing ")");
    // Characters, not bytes: "é" is one.
    EXPECT_EQ(reasonOf("\"\xC3\xA9\" ]"), R"(pattern: expected "[" or a quoted string at character 5)");
    // Deep nesting is refused, not recursed into until the stack runs out.
    EXPECT_NE(reasonOf("[" + std::string(100000, '(')).find("nesting deeper than"), std::string::npos);
    EXPECT_NE(reasonOf("[" + std::string(100000, '!')).find("nesting deeper than"), std::string::npos);
    EXPECT_TRUE(CqlPattern::parse("[" + std::string(99, '!') + "word=\"a\"]").pattern);
}

TEST(CqlPatternParse, AndBindsTighterThanOrAndNotTighterThanBoth)
{
    EXPECT_EQ(shape(parsed("[a=\"1\" | b=\"2\" & c=\"3\"]").token(0)), "(or a=1 (and b=2 c=3))");
    EXPECT_EQ(shape(parsed("[a=\"1\" & b=\"2\" | c=\"3\"]").token(0)), "(or (and a=1 b=2) c=3)");
    EXPECT_EQ(shape(parsed("[!a=\"1\" & b=\"2\"]").token(0)), "(and (not a=1) b=2)");
    EXPECT_EQ(shape(parsed("[!(a=\"1\" | b=\"2\") & !!c!=\"3\"]").token(0)), "(and (not (or a=1 b=2)) (not (not c!=3)))");
    EXPECT_EQ(shape(parsed("[a=\"1\" | b=\"2\" | c=\"3\"]").token(0)), "(or a=1 b=2 c=3)");
}

TEST(CqlPatternParse, ReadsStringsFlagsBlanksAndLayerNames)
{
    // \" and \\ are escapes; any other backslash is the regex's.
    EXPECT_EQ(parsed(R"("a\"b")").token(0).condition.regex, "a\"b");
    EXPECT_EQ(parsed(R"("a\\b")").token(0).condition.regex, "a\\b");
    EXPECT_EQ(parsed(R"("\d+\.")").token(0).condition.regex, "\\d+\\.");
    const CqlPattern spaced = parsed("  [ lemma = \"x\" %c & ( pos-2 != \"N\" ) ]\t[ ]\n\"y\"%c  ");
    const CqlPattern tight = parsed("[lemma=\"x\"%c&(pos-2!=\"N\")][]\"y\"%c");
    ASSERT_EQ(spaced.length(), 3u);
    EXPECT_TRUE(std::equal(spaced.tokens().begin(), spaced.tokens().end(), tight.tokens().begin(), tight.tokens().end()));
    EXPECT_EQ(shape(spaced.token(0)), "(and lemma=x%c pos-2!=N)");
    EXPECT_EQ(shape(spaced.token(1)), "any");
    EXPECT_EQ(shape(spaced.token(2)), "word=y%c");
    EXPECT_EQ(shape(parsed("[l\xC3\xA9mme_1=\"\"]").token(0)), "l\xC3\xA9mme_1=");
    EXPECT_EQ(parsed("[lemma=\"a\" & pos=\"b\"] \"c\" [pos=\"d\"]").layers(),
              (std::vector<std::string>{"lemma", "pos", "word"}));

    for (const char *yes : {"[]", "  \"a\"", "\t[word"})
        EXPECT_TRUE(CqlPattern::looksLikePattern(yes)) << yes;
    for (const char *no : {"", "  ", "the [cat]", "'a'"})
        EXPECT_FALSE(CqlPattern::looksLikePattern(no)) << no;
}

// The parsed tree evaluated on every position, each value matched by ICU on its own.
class Reference {
public:
    explicit Reference(const Corpus &corpus) : corpus_(corpus) {}

    bool holds(const Expression &e, Corpus::Position p)
    {
        switch (e.kind) {
        case Kind::Any:
            return true;
        case Kind::Condition: {
            const std::size_t layer = corpus_.findLayer(e.condition.layer);
            return whole(e.condition, corpus_.layerText(layer, corpus_.layerId(layer, p))) != e.condition.negated;
        }
        case Kind::And:
            return std::all_of(e.operands.begin(), e.operands.end(), [&](const Expression &o) { return holds(o, p); });
        case Kind::Or:
            return std::any_of(e.operands.begin(), e.operands.end(), [&](const Expression &o) { return holds(o, p); });
        case Kind::Not:
            return !holds(e.operands[0], p);
        }
        return false;
    }

    bool tokenHolds(const CqlPattern &pattern, std::size_t k, std::uint64_t p)
    {
        return p < corpus_.end() && corpus_.tokenId(static_cast<Corpus::Position>(p)) != Corpus::noToken &&
               holds(pattern.token(k), static_cast<Corpus::Position>(p));
    }

    Positions starts(const CqlPattern &pattern)
    {
        Positions found;
        for (Corpus::Position p = 0; p < corpus_.end(); ++p) {
            bool all = true;
            for (std::size_t k = 0; k < pattern.length() && all; ++k)
                all = tokenHolds(pattern, k, std::uint64_t{p} + k);
            if (all)
                found.push_back(p);
        }
        return found;
    }

private:
    bool whole(const CqlPattern::Condition &c, std::string_view value)
    {
        std::unique_ptr<icu::RegexPattern> &compiled = patterns_[c.regex + (c.caseInsensitive ? "\1" : "")];
        UErrorCode status = U_ZERO_ERROR;
        if (!compiled) {
            UParseError where;
            compiled.reset(icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(c.regex),
                                                      c.caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, where, status));
        }
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(value);
        const std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(text, status));
        const bool matched = matcher->matches(status);
        EXPECT_TRUE(U_SUCCESS(status)) << c.regex;
        return matched;
    }

    const Corpus &corpus_;
    std::map<std::string, std::unique_ptr<icu::RegexPattern>> patterns_;
};

// A random text of word, lemma and part of speech; documents every 97
// positions, and from halfway a file without parts of speech (so "_"). One
// "rare" token, and with `numbered` some thousands of distinct words "w<n>".
std::unique_ptr<Corpus> makeCorpus(CorpusOptions options, std::uint32_t positions, bool numbered = false)
{
    static const std::vector<std::array<std::string_view, 3>> entries = {
        {"The", "the", "DET"},  {"the", "the", "DET"},  {"cats", "cat", "NOUN"},    {"Cat", "cat", "NOUN"},
        {"sat", "sit", "VERB"}, {"sits", "sit", "VERB"}, {"on", "on", "ADP"},       {"mat", "mat", "NOUN"},
        {".", ".", "PUNCT"},    {"42", "42", "NUM"},     {"a.b", "a.b", "X"},       {"axb", "axb", "X"},
        {"x\"y", "x\"y", "X"},  {"\xC3\xA9t\xC3\xA9", "\xC3\xAAtre", "AUX"},     {"\xC3\x89T\xC3\x89", "\xC3\xAAtre", "AUX"}};
    const std::vector<std::string> full{"word", "lemma", "pos"}, partial{"word", "lemma"};
    AnnotatedCorpusBuilder builder(std::move(options));
    builder.startFile(full);
    std::mt19937 random(7);
    for (std::uint32_t i = 0; i < positions; ++i) {
        if (i == positions / 2)
            builder.startFile(partial);
        else if (i % 97 == 0)
            builder.startDocument();
        std::array<std::string_view, 3> values = entries[random() % entries.size()];
        std::string number;
        if (numbered && random() % 2 == 0) {
            number = "w" + std::to_string(random() % 10000);
            values = {number, "w", "NUM"};
        }
        if (i == positions / 3)
            values = {"rare", "rare", "ADJ"};
        builder.token(std::span(values.data(), i < positions / 2 ? 3 : 2), true, i + 1);
        if (values[0] == ".")
            builder.endSentence();
    }
    return builder.finish(false);
}

void expectAgreement(const Corpus &corpus, std::string_view text, bool everyPosition = true)
{
    SCOPED_TRACE(text);
    const CqlPattern pattern = parsed(text);
    PatternMatcher::Compiled compiled = PatternMatcher::compile(pattern, corpus);
    ASSERT_TRUE(compiled.matcher) << compiled.reason;
    const PatternMatcher &matcher = *compiled.matcher;
    Reference reference(corpus);
    const Positions expected = reference.starts(pattern);
    EXPECT_EQ(matcher.allStarts(), expected);
    if (!everyPosition)
        return;
    for (std::uint64_t p = 0; p < corpus.end() + 2; ++p) {
        const auto at = static_cast<Corpus::Position>(p);
        ASSERT_EQ(matcher.matchesAt(at), std::binary_search(expected.begin(), expected.end(), at)) << p;
        for (std::size_t k = 0; k <= pattern.length(); ++k) {
            const bool own = k < pattern.length() && reference.tokenHolds(pattern, k, p);
            ASSERT_EQ(matcher.matchesToken(k, at), own) << "token " << k << " at " << p;
        }
    }
}

const char *const patterns[] = {
    R"("the")", R"("The")", R"("the"%c)", R"("th.")", R"("t.*"%c)", R"([])", R"([] [])", R"("rare")",
    R"([] "rare" [])", R"("zzz")", R"("a.b")", R"("a\.b")", R"("\d+")", R"("x\"y")", "\"\xC3\xA9t\xC3\xA9\"",
    "\"\xC3\xA9T\xC3\xA9\"%c", R"("the" [] "on")", R"([word=".*"] "rare")", R"([pos="NOUN"] [pos!="NOUN"])",
    R"([pos="_"] [pos!="_"])", R"([lemma="sit" & word!="sat"])", R"([word="cats" | pos="VERB" & lemma="sit"])",
    R"([!(pos="NOUN" | pos="DET")])", R"([!pos="NOUN" & lemma="c.*"])", R"~([lemma="(cat|sit)"] "on")~",
    R"([lemma="the"] [lemma!="cat" & (pos="NOUN" | word="42")])", R"([lemma="rare" | lemma="on"] [])",
    R"([pos="DET"] [pos="NOUN"] [pos="VERB"] "on")", R"([word="cats"|word="sat"|word="Cat"])",
    R"("the"%c [] "the")", R"([lemma="cat" | pos="VERB" | lemma="the"])", R"([word="c.*"%c & pos="NOUN" & word!="cats"])",
    R"([!(lemma="cat" | pos="DET") & word!="sits"])"};

// A value written as an exact token reads back as one condition on its
// layer whose regex matches the value whole, and neither a longer nor a
// shorter string nor the metacharacters' meanings.
TEST(CqlPatternExactToken, ReadsBackAsARegexMatchingTheValueAlone)
{
    const std::vector<std::string> values{"unto", "3.14", "a+b", "(x)", "[y]", "{2}", "^$", "a|b", "?*", "say\"s",
                                          "back\\slash", "\\\"", "\\", "\\E", "\u00E9t\u00E9", "%c", "a b"};
    for (const std::string &value : values) {
        for (const bool ignoreCase : {false, true}) {
            const std::string token = CqlPattern::exactToken("lemma", value, ignoreCase);
            const CqlPattern pattern = parsed(token);
            ASSERT_EQ(pattern.length(), 1u) << token;
            const Expression &e = pattern.token(0);
            ASSERT_EQ(e.kind, Kind::Condition) << token;
            EXPECT_EQ(e.condition.layer, "lemma");
            EXPECT_EQ(e.condition.caseInsensitive, ignoreCase);
            EXPECT_FALSE(e.condition.negated);
            UErrorCode status = U_ZERO_ERROR;
            const std::unique_ptr<icu::RegexPattern> regex(icu::RegexPattern::compile(
                icu::UnicodeString::fromUTF8(e.condition.regex), ignoreCase ? UREGEX_CASE_INSENSITIVE : 0, status));
            ASSERT_TRUE(U_SUCCESS(status)) << token << ": " << u_errorName(status);
            const auto matches = [&](const std::string &text) {
                UErrorCode error = U_ZERO_ERROR;
                const icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
                std::unique_ptr<icu::RegexMatcher> matcher(regex->matcher(subject, error));
                return U_SUCCESS(error) && matcher->matches(error) && U_SUCCESS(error);
            };
            EXPECT_TRUE(matches(value)) << token;
            EXPECT_FALSE(matches(value + value)) << token;
            EXPECT_FALSE(matches(value.substr(1))) << token;
            EXPECT_FALSE(matches("x")) << token;
            // A metacharacter stands for itself alone.
            for (std::size_t i = 0; i < value.size(); ++i) {
                std::string other = value;
                other[i] = 'a';
                if (std::ispunct(static_cast<unsigned char>(value[i]))) {
                    EXPECT_FALSE(matches(other)) << token << " matches " << other;
                }
            }
        }
    }
    EXPECT_TRUE(CqlPattern::isLayerName("deprel"));
    EXPECT_TRUE(CqlPattern::isLayerName("x-pos_2"));
    EXPECT_FALSE(CqlPattern::isLayerName(""));
    EXPECT_FALSE(CqlPattern::isLayerName("a.b"));
    EXPECT_FALSE(CqlPattern::isLayerName("a=\"\"] [b"));
}

// What completion is offered at the end of a pattern being typed.
TEST(CqlPatternTyping, FindsTheLayerNameOrValueBeingTyped)
{
    using TypingKind = CqlPattern::Typing::Kind;
    struct Case {
        std::string text;
        TypingKind kind;
        std::string layer;
        std::size_t from;
    };
    const std::vector<Case> cases{
        {"[", TypingKind::Layer, "", 1},
        {"[lemma=\"sa", TypingKind::Value, "lemma", 8},
        {"[pos!=\"N", TypingKind::Value, "pos", 7},
        {"[lemma=\"say\" & p", TypingKind::Layer, "", 15},
        {"[lemma=\"say\" | (!po", TypingKind::Layer, "", 17},
        {"\"the\" \"ca", TypingKind::Value, "word", 7},
        {"[word=\"a\\\"b", TypingKind::Value, "word", 7},
        {"[lemma=\"say\"]", TypingKind::Other, "", 0},
        {"[lemma!", TypingKind::Other, "", 0},
        {"[lemma=\"x\"] lem", TypingKind::Other, "", 0},
        {"[(\"x", TypingKind::Other, "", 0},
    };
    for (const Case &c : cases) {
        const CqlPattern::Typing typing = CqlPattern::typingAt(c.text);
        EXPECT_EQ(typing.kind, c.kind) << c.text;
        if (c.kind == TypingKind::Other)
            continue;
        EXPECT_EQ(typing.layer, c.layer) << c.text;
        EXPECT_EQ(typing.from, c.from) << c.text;
    }
}

TEST(PatternMatcher, AgreesWithTheReferenceOnEveryPosition)
{
    for (const bool foldCase : {false, true}) {
        for (const char *show : {"", "lemma", "pos"}) {
            SCOPED_TRACE(std::string("folding ") + (foldCase ? "yes" : "no") + ", shown layer " + show);
            CorpusOptions options;
            options.foldCase = foldCase;
            options.show = show;
            const std::unique_ptr<Corpus> corpus = makeCorpus(options, 600);
            for (const char *pattern : patterns)
                expectAgreement(*corpus, pattern);
        }
    }
}

TEST(PatternMatcher, AgreesOnACorpusLargeEnoughForBothCores)
{
    // Over 2^16 positions and 2^13 values: the scans and the vocabulary reads split in two.
    const std::unique_ptr<Corpus> corpus = makeCorpus(CorpusOptions{}, 80000, true);
    for (const char *pattern :
         {R"([])", R"("w1.*" [pos!="NUM"])", R"("rare")", R"([word="w12" | word="the"])", R"([word="w[0-9]{3}"%c])"})
        expectAgreement(*corpus, pattern, false);
}

TEST(PatternMatcher, RefusesUnknownLayersAndBadRegularExpressions)
{
    const std::unique_ptr<Corpus> annotated = makeCorpus(CorpusOptions{}, 50);
    const auto reasonFor = [](const Corpus &corpus, std::string_view text) {
        const PatternMatcher::Compiled compiled = PatternMatcher::compile(parsed(text), corpus);
        EXPECT_FALSE(compiled.matcher) << text;
        return compiled.reason;
    };
    // The first refusal in typed order, before any vocabulary is read.
    EXPECT_EQ(reasonFor(*annotated, R"([] [lema="x"] [word="("])"),
              R"(pattern: no layer "lema"; the layers are word, lemma, pos)");
    EXPECT_EQ(reasonFor(*annotated, R"([word="("%c] [lema="x"])"),
              R"(pattern: "(" is no regular expression: U_REGEX_MISMATCHED_PAREN)");
    EXPECT_EQ(reasonFor(*annotated, R"([word="a" | word="b["])"),
              R"(pattern: "b[" is no regular expression: U_REGEX_MISSING_CLOSE_BRACKET)");
    const std::string_view text = "the cat";
    const Corpus plain(std::span(&text, 1));
    EXPECT_EQ(reasonFor(plain, R"("cat" [pos="N"])"), R"(pattern: no layer "pos"; the layers are word)");
}

TEST(PatternMatcher, StopsWhenAsked)
{
    const std::unique_ptr<Corpus> corpus = makeCorpus(CorpusOptions{}, 600);
    std::atomic<bool> stop{true};
    EXPECT_THROW(PatternMatcher::compile(parsed(R"("t.*")"), *corpus, &stop), Progress::Stopped);
    for (const char *text : {R"("rare")", R"([])"}) {
        const PatternMatcher::Compiled compiled = PatternMatcher::compile(parsed(text), *corpus);
        ASSERT_TRUE(compiled.matcher);
        EXPECT_THROW(compiled.matcher->allStarts(&stop), Progress::Stopped) << text;
        EXPECT_FALSE(compiled.matcher->allStarts().empty());
    }
}

}  // namespace
