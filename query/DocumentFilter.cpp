#include "DocumentFilter.h"

#include <charconv>

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<double> number(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Whether `text` matches `pattern`, where '*' stands for any run; without
// recursion, so that a pattern of many stars costs its length times the text's.
bool globMatches(std::string_view pattern, std::string_view text)
{
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

std::optional<DocumentFilter> DocumentFilter::parse(const std::vector<std::string> &conditions, std::string &why)
{
    DocumentFilter filter;
    for (const std::string &text : conditions) {
        const std::size_t at = text.find_first_of("=!<>");
        Condition condition;
        std::size_t length = 1;
        if (at != std::string::npos) {
            const char first = text[at];
            const bool equalsNext = at + 1 < text.size() && text[at + 1] == '=';
            if (first == '=') {
                condition.op = Op::Equal;
            } else if (first == '!' && equalsNext) {
                condition.op = Op::NotEqual;
                length = 2;
            } else if (first == '<') {
                condition.op = equalsNext ? Op::LessOrEqual : Op::Less;
                length = equalsNext ? 2 : 1;
            } else if (first == '>') {
                condition.op = equalsNext ? Op::GreaterOrEqual : Op::Greater;
                length = equalsNext ? 2 : 1;
            } else {
                length = 0;
            }
        }
        condition.field = at == std::string::npos ? std::string() : std::string(trimmed(std::string_view(text).substr(0, at)));
        if (at == std::string::npos || length == 0 || condition.field.empty()) {
            why = "--where '" + text + "' is not FIELD OP VALUE (OP one of = != < <= > >=)";
            return std::nullopt;
        }
        condition.value = trimmed(std::string_view(text).substr(at + length));
        filter.conditions_.push_back(std::move(condition));
    }
    return filter;
}

bool DocumentFilter::holds(const Condition &condition, std::string_view value)
{
    switch (condition.op) {
    case Op::Equal: return globMatches(condition.value, value);
    case Op::NotEqual: return !globMatches(condition.value, value);
    default: break;
    }
    const std::optional<double> left = number(value), right = number(condition.value);
    if (value.empty())
        return false;  // no value is neither before nor after another
    const int order = left && right ? (*left < *right ? -1 : *left > *right ? 1 : 0)
                                    : value.compare(condition.value) < 0 ? -1
                                    : value.compare(condition.value) > 0 ? 1
                                                                         : 0;
    switch (condition.op) {
    case Op::Less: return order < 0;
    case Op::LessOrEqual: return order <= 0;
    case Op::Greater: return order > 0;
    default: return order >= 0;
    }
}

bool DocumentFilter::matches(const Fields &fields) const
{
    for (const Condition &condition : conditions_) {
        std::string_view value;
        for (const auto &[name, given] : fields) {
            if (name == condition.field) {
                value = given;
                break;
            }
        }
        if (!holds(condition, value))
            return false;
    }
    return true;
}
