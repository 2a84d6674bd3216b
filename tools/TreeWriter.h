// TreeWriter: one tree or both trees of a phrase in a printed format, as the command prints them.
#pragma once

#include "OutputBuffer.h"
#include "PhraseNode.h"
#include "TreeFormat.h"

// Writes the tree of what precedes a phrase (`backward`) and the tree of what
// follows it (`forward`), either of them null but not both. As an outline:
// the backward tree, an empty line, the forward one. As JSON (`json`): the
// one tree, or {"before": ..., "after": ...}; a newline at the end.
void writeTrees(const PhraseNode *backward, const PhraseNode *forward, const TreeFormat &format, bool json,
                OutputBuffer &output);
