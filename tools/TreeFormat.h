// TreeFormat: what the printed formats of a tree share: which columns a line has and how labels are encoded.
#pragma once

#include "LabelText.h"
#include "PatternSearch.h"
#include "TreePruning.h"

#include <charconv>
#include <cstdint>
#include <span>
#include <string>

struct TreeFormat {
    TreePruning pruning;
    // Print each node's occurrence count beside its weight.
    bool counts = false;
    // How label bytes become characters; matters for JSON.
    LabelEncoding encoding = LabelEncoding::Latin1;
    // A pattern's forms, which JSON gives the root (see patternForms); empty for a phrase.
    std::span<const PatternForm> forms;
};

// Appends a weight as printf's "%.9g" writes it, without parsing a format per line.
inline void appendWeight(std::string &out, float weight)
{
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, static_cast<double>(weight), std::chars_format::general, 9).ptr;
    out.append(text, end);
}

// Appends an occurrence count in decimal.
inline void appendCount(std::string &out, std::uint32_t count)
{
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, count).ptr;
    out.append(text, end);
}
