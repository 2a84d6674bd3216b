// TextFormat: what a file holds, told by the ending of its name; the one place the fronts and the folder rules ask.
#pragma once

#include "DocumentReaders.h"
#include "GzipReader.h"

#include <optional>
#include <string>
#include <string_view>

enum class TextFormat {
    Plain,     // ".txt", ".md", or a document a reader turns into text (".html", ".xml", ...): cut by the word rules
    Conllu,    // ".conllu": CoNLL-U, a word per line with its annotations
    Vertical,  // ".vrt", ".vert": a token per line, its annotations in TAB-separated columns
};

// The format of a file named `name` (a bare name or a path), by its ending:
// ".txt", ".md", ".conllu", ".vrt" or ".vert", or one a DocumentReader
// takes, compared byte for byte (so ".TXT" is none of them); a final ".gz"
// is passed over (the file is what it holds, compressed). Nothing for any
// other name; a folder leaves such files out.
inline std::optional<TextFormat> textFormatOf(std::string_view name)
{
    name = withoutGzip(name);
    if (name.ends_with(".txt") || name.ends_with(".md") || documentReaderFor(name))
        return TextFormat::Plain;
    if (name.ends_with(".conllu"))
        return TextFormat::Conllu;
    if (name.ends_with(".vrt") || name.ends_with(".vert"))
        return TextFormat::Vertical;
    return std::nullopt;
}

// The `format` of a file named `name`: its reader's name ("html", "xml"),
// else its ending ("txt", "conllu"), with "+gzip" when it is compressed.
inline std::string formatNameOf(std::string_view name)
{
    const std::string_view inner = withoutGzip(name);
    std::string format;
    if (const DocumentReader *reader = documentReaderFor(inner)) {
        format = reader->format();
    } else {
        const std::size_t dot = inner.rfind('.');
        const std::size_t slash = inner.rfind('/');
        if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
            format = inner.substr(dot + 1);
    }
    return inner.size() < name.size() ? format + "+gzip" : format;
}
