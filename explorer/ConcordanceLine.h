// ConcordanceLine: one line of a concordance as the lines pane hands it on: the document, the line and the occurrence.
#pragma once

#include "Corpus.h"

#include <QMetaType>

#include <cstdint>

struct ConcordanceLine {
    std::uint32_t document = 0;      // the document's index in its opened corpus
    std::uint64_t line = 0;          // counted from 1 by line feeds
    Corpus::Position start = 0;      // the occurrence's first token
    std::uint32_t length = 0;        // and how many tokens it has

    bool operator==(const ConcordanceLine &) const = default;
};

Q_DECLARE_METATYPE(ConcordanceLine)
