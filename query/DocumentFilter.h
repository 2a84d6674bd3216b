// DocumentFilter: the conditions --where sets on a document's fields ("year>=1850", "author=Dickens*"), all of which must hold.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A condition is FIELD OP VALUE in one piece, blanks around each part
// allowed: OP is = or != (the value as text: equal, or matching where '*'
// stands for any run of characters), or <, <=, >, >= (as numbers when both
// sides are decimal numbers, as a year is; else as text, byte by byte). A
// field a document does not have is empty: "title!=X" holds for it, and
// "year>=1850" does not.
class DocumentFilter {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    // The filter of `conditions`; nothing, with a one-line `why`, when one
    // is not FIELD OP VALUE.
    static std::optional<DocumentFilter> parse(const std::vector<std::string> &conditions, std::string &why);

    bool empty() const { return conditions_.empty(); }
    // Whether a document whose fields are `fields` meets every condition.
    bool matches(const Fields &fields) const;

private:
    enum class Op { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };
    struct Condition {
        std::string field;
        Op op = Op::Equal;
        std::string value;
    };
    static bool holds(const Condition &condition, std::string_view value);

    std::vector<Condition> conditions_;
};
