// OutlineWriter: a tree as an indented outline, one node per line.
#pragma once

#include "OutputBuffer.h"
#include "PhraseNode.h"
#include "TreeFormat.h"

// Pre-order, one line per kept node: two spaces per depth, with
// format.counts the count and a TAB, then the weight (%.9g), a TAB, the label.
void writeOutline(const PhraseNode &root, const TreeFormat &format, OutputBuffer &output);
