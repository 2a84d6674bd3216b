// CqlPattern: a token pattern typed in a small subset of CQL, parsed into one condition per token.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The language:
//
//   pattern := token (blanks? token)*
//   token   := "[]" | "[" expr "]" | string flags?      a bare string tests the word layer
//   expr    := term ("|" term)*
//   term    := factor ("&" factor)*                     so "&" binds tighter than "|"
//   factor  := layer ("=" | "!=") string flags? | "(" expr ")" | "!" factor
//   string  := '"' ... '"'                              \" and \\ are escapes; any other
//                                                       backslash stays, for the regex
//   flags   := "%c"                                     ignore case
//
// Blanks (space, tab, line feed, carriage return) may stand around tokens
// and operators and inside brackets; "[ ]" is "[]". A layer name is letters
// (any script), digits, "_" and "-". A string is an ICU regular expression
// that must match a value whole; "!=" is the negation of "=". Nesting (of
// parentheses and "!") goes at most maxDepth deep.
class CqlPattern {
public:
    // A test of one layer's value: whether it matches `regex` whole
    // (ignoring case when `caseInsensitive`), or with `negated` whether it does not.
    struct Condition {
        std::string layer;
        std::string regex;  // escapes resolved: what ICU compiles
        bool caseInsensitive = false;
        bool negated = false;
        bool operator==(const Condition &) const = default;
    };

    // What one token must be: an expression tree over conditions.
    struct Expression {
        enum class Kind { Any, Condition, And, Or, Not };
        Kind kind = Kind::Any;
        Condition condition;               // Kind::Condition
        std::vector<Expression> operands;  // And, Or: two or more, in typed order; Not: one
        bool operator==(const Expression &) const = default;
    };

    struct Parsed;
    struct Typing;

    static constexpr std::size_t maxDepth = 100;

    // Whether a phrase typed in a search field is meant as a pattern: its
    // first character after blanks is "[" or '"'.
    static bool looksLikePattern(std::string_view phrase);

    // The pattern `text` writes, or why it writes none: a one-line reason
    // that says what was expected and where, as "pattern: expected \"]\" at
    // character 12", characters (code points) counted from 1 in `text`, the
    // place after the last one being "character N (the end)". Never throws
    // but std::bad_alloc.
    static Parsed parse(std::string_view text);

    // Whether `name` reads as a layer name in a pattern (see the language).
    static bool isLayerName(std::string_view name);

    // The token that holds exactly the value `value` on `layer`, ignoring
    // case when `ignoreCase`: [layer="value"] (with %c after the string).
    // Each regular expression metacharacter of the value, the backslash
    // among them, gets a backslash before it; then the string writes a quote
    // as \" and a backslash as \\ (a backslash of the value becomes four).
    // parse() reads it back as one condition whose regex matches `value`
    // whole and nothing else. Requires isLayerName(layer).
    static std::string exactToken(std::string_view layer, std::string_view value, bool ignoreCase);

    // What is being typed at the end of `text`, an unfinished pattern: for
    // completion. Never fails: text it cannot place is Typing::Kind::Other.
    static Typing typingAt(std::string_view text);

    // The number of tokens: at least one.
    std::size_t length() const { return tokens_.size(); }
    // Token k's expression, k < length().
    const Expression &token(std::size_t k) const { return tokens_[k]; }
    std::span<const Expression> tokens() const { return tokens_; }
    // The names of the layers the conditions test, each once, in the order first typed.
    std::vector<std::string> layers() const;

private:
    explicit CqlPattern(std::vector<Expression> tokens) : tokens_(std::move(tokens)) {}

    std::vector<Expression> tokens_;
};

// What CqlPattern::parse gives: the pattern, or the reason there is none.
struct CqlPattern::Parsed {
    std::optional<CqlPattern> pattern;
    std::string reason;  // one line, when there is no pattern
};

// What CqlPattern::typingAt finds at the end of a pattern being typed.
struct CqlPattern::Typing {
    enum class Kind {
        Other,  // nothing to complete
        Layer,  // a layer name, after "[", "&", "|", "(" or a "!" that negates
        Value,  // a string's content after LAYER= or LAYER!= (a bare string: the word layer)
    };
    Kind kind = Kind::Other;
    std::string layer;     // Value: the layer the string tests
    std::size_t from = 0;  // the byte where the name or the string's content being typed starts
    bool inBrackets = false;  // the end is inside "[...": a "]" closes the token
};
