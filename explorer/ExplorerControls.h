// ExplorerControls: the state of the explorer's controls, which say how a corpus is cut and how a phrase's tree is asked and drawn.
#pragma once

#include "CorpusOptions.h"
#include "Query.h"
#include "TreePruning.h"

#include <cstdint>
#include <optional>

struct ExplorerControls {
    QueryDirection direction = QueryDirection::After;
    // Whether every branch stops after a sentence end (Query::sentences).
    bool sentences = true;
    // How the corpus is cut and compared; changing either means indexing again.
    CorpusOptions corpus;
    TreePruning pruning;
    // How much of a corpus to read (0: all of it); the explorer reads files
    // and folders whole unless told otherwise.
    std::uint64_t maxBytes = 0;

    bool operator==(const ExplorerControls &other) const
    {
        return direction == other.direction && sentences == other.sentences && corpus == other.corpus
               && pruning.maxDepth == other.pruning.maxDepth
               && pruning.minCount == other.pruning.minCount && maxBytes == other.maxBytes;
    }
};
