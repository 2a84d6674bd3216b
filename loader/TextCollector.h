// TextCollector: gathers the text of a marked-up document into lines, white space run together as a browser shows it.
#pragma once

#include <string>
#include <string_view>

// Character data arrives in pieces; a run of white space (space, TAB, line
// feed, carriage return, form feed) anywhere becomes one blank, and none starts or ends
// a line. endLine() closes the line (a paragraph, an item, a cell); an empty
// line is never written. Preformatted text keeps its own line feeds.
class TextCollector {
public:
    void add(std::string_view text)
    {
        for (const char c : text) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                blank_ = true;
                continue;
            }
            if (blank_ && !lineEmpty())
                text_ += ' ';
            blank_ = false;
            text_ += c;
        }
    }
    // Text whose line feeds end lines and whose blanks stay (<pre>).
    void addPreformatted(std::string_view text)
    {
        for (const char c : text) {
            if (c == '\n')
                endLine();
            else if (c != '\r')
                text_ += c;
        }
        blank_ = false;
    }
    void endLine()
    {
        if (!lineEmpty())
            text_ += '\n';
        blank_ = false;
    }
    std::size_t size() const { return text_.size(); }
    // The text, its last line ended.
    std::string take()
    {
        endLine();
        return std::move(text_);
    }

private:
    bool lineEmpty() const { return text_.empty() || text_.back() == '\n'; }

    std::string text_;
    bool blank_ = false;
};
