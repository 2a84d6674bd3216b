// LayerTip: every layer's value at one token of an annotated corpus, in one line for a tooltip.
#pragma once

#include "Corpus.h"

#include <QString>

// "word: said · lemma: say · pos: VERB · …", the layers in the corpus's
// order, as plain text; empty for a corpus that is not annotated, and at a
// boundary or past the end. Time: one look-up per layer.
QString layerTip(const Corpus &corpus, Corpus::Position p);
