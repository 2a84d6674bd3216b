// TextFormat: what a file holds, told by the ending of its name; the one place the fronts and the folder rules ask.
#pragma once

#include <optional>
#include <string_view>

enum class TextFormat {
    Plain,     // ".txt": running text, cut into tokens by the word rules
    Conllu,    // ".conllu": CoNLL-U, a word per line with its annotations
    Vertical,  // ".vrt", ".vert": a token per line, its annotations in TAB-separated columns
};

// The format of a file named `name` (a bare name or a path), by its ending:
// ".txt", ".conllu", ".vrt" or ".vert", compared byte for byte (so ".TXT" is
// none of them). Nothing for any other name; a folder leaves such files out.
inline std::optional<TextFormat> textFormatOf(std::string_view name)
{
    if (name.ends_with(".txt"))
        return TextFormat::Plain;
    if (name.ends_with(".conllu"))
        return TextFormat::Conllu;
    if (name.ends_with(".vrt") || name.ends_with(".vert"))
        return TextFormat::Vertical;
    return std::nullopt;
}
