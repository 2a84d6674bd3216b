#include "CqlPattern.h"

#include "Utf8.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace {

using Expression = CqlPattern::Expression;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A recursive descent over the text, one function per rule; each returns
// false once it has set the reason.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool pattern(std::vector<Expression> &tokens)
    {
        skipBlanks();
        do {
            Expression token;
            if (!parseToken(token))
                return false;
            tokens.push_back(std::move(token));
            skipBlanks();
        } while (at_ < text_.size());
        return true;
    }

    std::string takeReason() { return std::move(reason_); }

private:
    bool is(char c) const { return at_ < text_.size() && text_[at_] == c; }

    void skipBlanks()
    {
        while (at_ < text_.size() && isBlank(text_[at_]))
            ++at_;
    }

    // The character number (from 1) of byte `at`: the bytes before it that start a character, plus one.
    std::size_t characterAt(std::size_t at) const
    {
        const std::string_view before = text_.substr(0, at);
        return 1 + static_cast<std::size_t>(std::count_if(before.begin(), before.end(), [](char c) {
                   return !isUtf8Continuation(static_cast<unsigned char>(c));
               }));
    }

    bool fail(std::string_view expected, std::size_t at)
    {
        reason_ = "pattern: ";
        reason_ += expected;
        reason_ += " at character ";
        reason_ += std::to_string(characterAt(at));
        if (at >= text_.size())
            reason_ += " (the end)";
        return false;
    }

    bool parseToken(Expression &out)
    {
        if (is('[')) {
            ++at_;
            skipBlanks();
            if (is(']')) {
                ++at_;
                out.kind = Expression::Kind::Any;
                return true;
            }
            if (!expression(out, 0))
                return false;
            if (!is(']'))
                return fail(R"(expected "&", "|" or "]")", at_);
            ++at_;
            return true;
        }
        if (is('"')) {
            out.kind = Expression::Kind::Condition;
            out.condition.layer = "word";
            return quoted(out.condition.regex) && flags(out.condition);
        }
        return fail(R"(expected "[" or a quoted string)", at_);
    }

    // An expression and the blanks after it.
    bool expression(Expression &out, std::size_t depth)
    {
        return chain(out, depth, '|', Expression::Kind::Or);
    }

    // Operands joined by `op` (a term's by "&", an expression's by "|"),
    // and the blanks after them.
    bool chain(Expression &out, std::size_t depth, char op, Expression::Kind kind)
    {
        Expression first;
        if (!(op == '|' ? chain(first, depth, '&', Expression::Kind::And) : factor(first, depth)))
            return false;
        skipBlanks();
        if (!is(op)) {
            out = std::move(first);
            return true;
        }
        out.kind = kind;
        out.operands.push_back(std::move(first));
        while (is(op)) {
            ++at_;
            Expression next;
            if (!(op == '|' ? chain(next, depth, '&', Expression::Kind::And) : factor(next, depth)))
                return false;
            out.operands.push_back(std::move(next));
            skipBlanks();
        }
        return true;
    }

    bool factor(Expression &out, std::size_t depth)
    {
        skipBlanks();
        if (depth >= CqlPattern::maxDepth)
            return fail("nesting deeper than " + std::to_string(CqlPattern::maxDepth) + " levels", at_);
        if (is('(')) {
            ++at_;
            if (!expression(out, depth + 1))
                return false;
            if (!is(')'))
                return fail("expected \"&\", \"|\" or \")\"", at_);
            ++at_;
            return true;
        }
        if (is('!')) {
            ++at_;
            Expression operand;
            if (!factor(operand, depth + 1))
                return false;
            out.kind = Expression::Kind::Not;
            out.operands.push_back(std::move(operand));
            return true;
        }
        const std::size_t nameStart = at_;
        while (at_ < text_.size()) {
            const std::size_t length = nameCharacterLength();
            if (length == 0)
                break;
            at_ += length;
        }
        if (at_ == nameStart)
            return fail(R"(expected a layer name, "(" or "!")", at_);
        out.kind = Expression::Kind::Condition;
        out.condition.layer = std::string(text_.substr(nameStart, at_ - nameStart));
        skipBlanks();
        if (is('!') && at_ + 1 < text_.size() && text_[at_ + 1] == '=') {
            out.condition.negated = true;
            at_ += 2;
        } else if (is('=')) {
            ++at_;
        } else {
            return fail(R"(expected "=" or "!=")", at_);
        }
        skipBlanks();
        if (!is('"'))
            return fail("expected a quoted string", at_);
        return quoted(out.condition.regex) && flags(out.condition);
    }

    // The bytes of the layer-name character at at_: an ASCII letter or
    // digit, "_", "-", or a letter or digit of any script; 0 for anything else.
    std::size_t nameCharacterLength() const
    {
        const auto byte = static_cast<unsigned char>(text_[at_]);
        if (byte < 0x80) {
            const bool name = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                              (byte >= '0' && byte <= '9') || byte == '_' || byte == '-';
            return name ? 1 : 0;
        }
        auto i = static_cast<std::int32_t>(at_);
        UChar32 c = 0;
        U8_NEXT(text_.data(), i, static_cast<std::int32_t>(std::min<std::size_t>(text_.size(), INT32_MAX)), c);
        if (c < 0 || !(u_isUAlphabetic(c) || u_isdigit(c)))
            return 0;
        return static_cast<std::size_t>(i) - at_;
    }

    // The string that opens at at_ (a '"'), its escapes resolved.
    bool quoted(std::string &out)
    {
        const std::size_t open = at_++;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"')
                return true;
            if (c == '\\' && at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\\')) {
                out += text_[at_++];
                continue;
            }
            out += c;  // a backslash before anything else stays, for the regex
        }
        reason_ = "pattern: the string at character " + std::to_string(characterAt(open)) + " has no closing \"";
        return false;
    }

    // The flags after a string, if any.
    bool flags(CqlPattern::Condition &condition)
    {
        const std::size_t before = at_;
        skipBlanks();
        if (!is('%')) {
            at_ = before;
            return true;
        }
        ++at_;
        if (!is('c'))
            return fail(R"(expected "c" after "%" (the one flag: ignore case))", at_);
        ++at_;
        condition.caseInsensitive = true;
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string reason_;
};

void addLayers(const Expression &expression, std::vector<std::string> &layers)
{
    if (expression.kind == Expression::Kind::Condition) {
        if (std::find(layers.begin(), layers.end(), expression.condition.layer) == layers.end())
            layers.push_back(expression.condition.layer);
        return;
    }
    for (const Expression &operand : expression.operands)
        addLayers(operand, layers);
}

}  // namespace

bool CqlPattern::looksLikePattern(std::string_view phrase)
{
    const auto first = std::find_if(phrase.begin(), phrase.end(), [](char c) { return !isBlank(c); });
    return first != phrase.end() && (*first == '[' || *first == '"');
}

CqlPattern::Parsed CqlPattern::parse(std::string_view text)
{
    Parser parser(text);
    std::vector<Expression> tokens;
    Parsed parsed;
    if (parser.pattern(tokens))
        parsed.pattern = CqlPattern(std::move(tokens));
    else
        parsed.reason = parser.takeReason();
    return parsed;
}

std::vector<std::string> CqlPattern::layers() const
{
    std::vector<std::string> names;
    for (const Expression &token : tokens_)
        addLayers(token, names);
    return names;
}
