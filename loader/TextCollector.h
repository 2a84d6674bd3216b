// TextCollector: gathers the text of a marked-up document into lines, white space run together as a browser shows it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
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
        // A run at a time, appended whole: words and the single blanks
        // between them stand as they are. A byte at a time was the largest
        // share of reading a TEI file.
        const char *at = text.data();
        const char *const end = at + text.size();
        while (at < end) {
            if (isBlank(*at)) {
                blank_ = true;
                ++at;
                continue;
            }
            const char *const run = at;
            at = endOfRun(at, end);
            if (blank_ && !lineEmpty())
                text_ += ' ';
            blank_ = false;
            text_.append(run, static_cast<std::size_t>(at - run));
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
    static bool isBlank(char c)
    {
        return c == ' ' || (c >= '\t' && c <= '\r');  // TAB, line feed, vertical tab, form feed, carriage return
    }
    // The first byte from `at` on that is a blank other than one space
    // between two other bytes: where a run that stands as written ends.
    // Eight bytes at a time while a ninth can be seen, as bits: the high
    // bit of each byte that is a blank.
    static const char *endOfRun(const char *at, const char *end)
    {
        if constexpr (std::endian::native == std::endian::little) {
            constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7F, high = 0x8080808080808080;
            while (end - at >= 9) {
                std::uint64_t word;
                std::memcpy(&word, at, sizeof word);
                // Per byte of its low seven bits, none carrying into the next.
                const std::uint64_t ascii = ~word & high, seven = word & low7;
                const std::uint64_t atLeast9 = (seven + 0x7777777777777777) & high;
                const std::uint64_t atMost13 = ~(seven + 0x7272727272727272) & high;
                const std::uint64_t space = ~((seven ^ 0x2020202020202020) + low7) & high & ascii;
                const std::uint64_t other = atLeast9 & atMost13 & ascii;  // TAB to carriage return
                const std::uint64_t nextBlank =
                    ((space | other) >> 8) | (isBlank(at[8]) ? std::uint64_t{0x80} << 56 : 0);
                const std::uint64_t stops = other | (space & nextBlank);
                if (stops != 0)
                    return at + std::countr_zero(stops) / 8;
                at += 8;
            }
        }
        while (at < end) {
            if (!isBlank(*at))
                ++at;
            else if (*at == ' ' && at + 1 < end && !isBlank(at[1]))
                at += 2;
            else
                break;
        }
        return at;
    }
    bool lineEmpty() const { return text_.empty() || text_.back() == '\n'; }

    std::string text_;
    bool blank_ = false;
};
