// JsonWriter: a tree as nested JSON objects, one node per line.
#pragma once

#include "OutputBuffer.h"
#include "PhraseNode.h"
#include "TreeFormat.h"

#include <string>
#include <string_view>

// {"label": ..., "weight": ..., "children": [...]} for each kept node, with
// format.counts a "count" after the weight; each node starts a line, and a
// node's children are closed by "]}" on a line of its own. No newline after
// the root's closing. Labels become characters by format.encoding.
void writeJson(const PhraseNode &root, const TreeFormat &format, OutputBuffer &output);

