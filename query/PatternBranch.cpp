#include "PatternBranch.h"

#include "CqlPattern.h"

std::string patternBranch(const Corpus &corpus, std::string_view pattern, std::span<const Corpus::TokenId> before,
                          std::span<const Corpus::TokenId> after)
{
    const std::string_view layer = corpus.layerName(corpus.shownLayer());
    if (!CqlPattern::isLayerName(layer))
        return {};
    const bool fold = corpus.options().foldCase;
    std::string text;
    for (const Corpus::TokenId id : before) {
        text += CqlPattern::exactToken(layer, corpus.tokenText(id), fold);
        text += ' ';
    }
    text += pattern;
    for (const Corpus::TokenId id : after) {
        text += ' ';
        text += CqlPattern::exactToken(layer, corpus.tokenText(id), fold);
    }
    return text;
}
