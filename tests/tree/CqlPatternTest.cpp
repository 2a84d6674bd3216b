// Token patterns: what the parser makes of typed text and where it says it fails.
#include "CqlPattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Expression = CqlPattern::Expression;
using Kind = CqlPattern::Expression::Kind;

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

}  // namespace
