// CorpusOptions: how a corpus cuts its text into tokens and how it compares them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The rules that cut a text into words and marks.
enum class WordRules : std::uint8_t {
    // Single bytes: ASCII letters and digits build words, each ASCII
    // punctuation or symbol byte is a mark, everything else separates.
    Bytes,
    // UTF-8 cut by Unicode general categories: runs of letters, combining
    // marks and numbers are words, each punctuation or symbol character a mark.
    Unicode,
    // UTF-8 cut into words by ICU's word break rules (with dictionaries for
    // the scripts written without blanks); what is not a word segment is
    // cut as under the Unicode rules.
    Segmented,
};

struct CorpusOptions {
    WordRules words = WordRules::Bytes;
    // Compare tokens case-folded (ASCII letters under the byte rules, every
    // code point under the others), while labels keep the spelling found in
    // the text.
    bool foldCase = false;
    // The layer of an annotated text whose values are the tokens searched,
    // grouped and shown ("lemma", "pos", ...); empty means "word". A plain
    // text has the word layer only.
    std::string show = {};

    // Whether the text is read as UTF-8 (every rule but the byte rules).
    bool utf8() const { return words != WordRules::Bytes; }

    // The shown layer's name.
    std::string_view shownLayer() const { return show.empty() ? std::string_view("word") : std::string_view(show); }

    bool operator==(const CorpusOptions &other) const
    {
        return words == other.words && foldCase == other.foldCase && shownLayer() == other.shownLayer();
    }
};
