// TextFormat: what a file holds, told by the ending of its name; the one place the fronts and the folder rules ask.
#pragma once

#include "DocumentReaders.h"
#include "GzipReader.h"

#include <optional>
#include <string>
#include <string_view>

enum class TextFormat {
    Plain,     // ".txt", ".md", or a document a reader turns into text (".html", ".xml", ...): cut by the word rules
    Annotated, // a token a line with its annotations, read by an AnnotatedReader (".conllu", ".vrt", ".vert")
};

// The format of a file named `name` (a bare name or a path), by its ending:
// ".txt", ".md", or one a DocumentReader or an AnnotatedReader takes, compared byte for byte (so ".TXT" is none of them); a final ".gz"
// is passed over (the file is what it holds, compressed). Nothing for any
// other name; a folder leaves such files out.
inline std::optional<TextFormat> textFormatOf(std::string_view name)
{
    name = withoutGzip(name);
    if (name.ends_with(".txt") || name.ends_with(".md") || documentReaderFor(name))
        return TextFormat::Plain;
    if (annotatedReaderFor(name))
        return TextFormat::Annotated;
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
    } else if (const AnnotatedReader *annotated = annotatedReaderFor(inner)) {
        format = annotated->format();
    } else {
        const std::size_t dot = inner.rfind('.');
        const std::size_t slash = inner.rfind('/');
        if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
            format = inner.substr(dot + 1);
    }
    return inner.size() < name.size() ? format + "+gzip" : format;
}
