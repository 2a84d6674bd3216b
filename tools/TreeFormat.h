// TreeFormat: what the printed formats of a tree share: which columns a line has and how labels are encoded.
#pragma once

#include "TreePruning.h"

struct TreeFormat {
    TreePruning pruning;
    // Print each node's occurrence count beside its weight.
    bool counts = false;
    // Labels are UTF-8 (Unicode rules) rather than Latin-1 bytes; matters for JSON.
    bool utf8 = false;
};
