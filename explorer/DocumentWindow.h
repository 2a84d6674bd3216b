// DocumentWindow: the part of a document that a text pane shows around an occurrence, and where the occurrence stands in it.
#pragma once

#include "Corpus.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

struct DocumentWindow {
    std::size_t from = 0, to = 0;                        // the bytes shown: [from, to) of the document
    std::size_t occurrenceFrom = 0, occurrenceTo = 0;    // the occurrence's bytes, within them
    std::uint64_t firstLine = 1, lastLine = 1;           // the lines shown, counted from 1
};

// The lines of `bytes` (the text of the corpus document that holds the
// occurrence of `length` tokens at `start`, on line `line`) from `linesAround`
// before the occurrence's line to `linesAround` after it, at most
// `bytesAround` bytes on either side of that line; of a line longer than
// twice that, the part around the occurrence. Time: the bytes up to the
// window's end, and the tokens of the occurrence's line before it cut again;
// never the rest.
DocumentWindow documentWindow(const Corpus &corpus, std::string_view bytes, Corpus::Position start,
                              std::uint32_t length, std::uint64_t line, std::uint64_t linesAround = 200,
                              std::size_t bytesAround = 256 * 1024);
