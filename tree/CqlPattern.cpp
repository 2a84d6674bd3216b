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

bool CqlPattern::isLayerName(std::string_view name)
{
    // The parser's own rule: a condition on it reads back with this name.
    if (name.empty())
        return false;
    std::string token = "[";
    token += name;
    token += "=\"\"]";
    const Parsed parsed = parse(token);
    return parsed.pattern && parsed.pattern->token(0).kind == Expression::Kind::Condition
           && parsed.pattern->token(0).condition.layer == name;
}

std::string CqlPattern::exactToken(std::string_view layer, std::string_view value, bool ignoreCase)
{
    // ICU's metacharacters outside a set; a backslash before any other
    // ASCII punctuation would be harmless too, but is not needed.
    constexpr std::string_view meta = "\\^$.|?*+()[]{}";
    std::string token = "[";
    token += layer;
    token += "=\"";
    for (const char c : value) {
        if (c == '\\') {
            token += "\\\\\\\\";  // the regex's \\, each backslash escaped for the string
        } else if (c == '"') {
            token += "\\\"";
        } else {
            if (meta.find(c) != std::string_view::npos)
                token += "\\\\";  // the regex's backslash, escaped for the string
            token += c;
        }
    }
    token += '"';
    if (ignoreCase)
        token += "%c";
    token += ']';
    return token;
}

CqlPattern::Typing CqlPattern::typingAt(std::string_view text)
{
    const auto nameByte = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
               || (byte >= '0' && byte <= '9') || byte == '_' || byte == '-';
    };
    // The last byte before `at` that is not a blank, or npos.
    const auto before = [&text](std::size_t at) {
        while (at > 0 && isBlank(text[at - 1]))
            --at;
        return at == 0 ? std::string_view::npos : at - 1;
    };
    Typing typing;
    bool inString = false;
    bool inBrackets = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '[') {
            inBrackets = true;
        } else if (c == ']') {
            inBrackets = false;
        } else if (c == '"') {
            inString = true;
            typing.from = i + 1;
            typing.layer.clear();
            if (!inBrackets) {
                typing.layer = "word";  // a bare string
                continue;
            }
            // LAYER= or LAYER!= before it.
            std::size_t at = before(i);
            if (at == std::string_view::npos || text[at] != '=')
                continue;
            at = at > 0 && text[at - 1] == '!' ? at - 1 : at;
            const std::size_t nameEnd = before(at) == std::string_view::npos ? 0 : before(at) + 1;
            std::size_t nameStart = nameEnd;
            while (nameStart > 0 && nameByte(text[nameStart - 1]))
                --nameStart;
            typing.layer = std::string(text.substr(nameStart, nameEnd - nameStart));
        }
    }
    typing.inBrackets = inBrackets;
    if (inString) {
        typing.kind = typing.layer.empty() ? Typing::Kind::Other : Typing::Kind::Value;
        return typing;
    }
    typing.layer.clear();
    if (!inBrackets)
        return typing;
    std::size_t start = text.size();
    while (start > 0 && nameByte(text[start - 1]))
        --start;
    const std::size_t at = before(start);
    if (at == std::string_view::npos)
        return typing;
    const char opener = text[at];
    // A "!" negates after what opens a factor; after a name it starts "!=".
    const std::size_t beforeBang = opener == '!' ? before(at) : std::string_view::npos;
    const bool negation = opener == '!' && beforeBang != std::string_view::npos
                          && std::string_view("[&|(!").find(text[beforeBang]) != std::string_view::npos;
    if (opener == '[' || opener == '&' || opener == '|' || opener == '(' || negation) {
        typing.kind = Typing::Kind::Layer;
        typing.from = start;
    }
    return typing;
}
