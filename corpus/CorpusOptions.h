// CorpusOptions: how a corpus cuts its text into tokens and how it compares them.
#pragma once

struct CorpusOptions {
    // Read the text as UTF-8 and cut it by Unicode character categories
    // instead of by single bytes.
    bool unicode = false;
    // Compare tokens case-folded (ASCII letters, or every code point with
    // `unicode`), while labels keep the spelling found in the text.
    bool foldCase = false;

    bool operator==(const CorpusOptions &) const = default;
};
