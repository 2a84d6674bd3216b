// VerticalReader: reads a vertical file (.vrt, .vert: a token per line, structures in tags) into an AnnotationSink.
#pragma once

#include "AnnotatedReader.h"
#include "AnnotationError.h"
#include "AnnotationSink.h"
#include "LineCursor.h"
#include "Progress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The columns a vertical file is read with when nobody names them, as
// TreeTagger writes them: word, pos, lemma.
std::vector<std::string> defaultVerticalColumns();

// The names in a --columns value: comma-separated, blanks around each name
// dropped. Nothing, with a one-line `reason` when asked for, when the value
// names no column, a name is empty, a name comes twice, or none is "word".
std::optional<std::vector<std::string>> parseVerticalColumns(std::string_view value, std::string *reason);

// The layers a vertical file with these columns gives, in the order the
// sink gets their values: "word" first, then the other columns in their
// order.
std::vector<std::string> verticalLayers(const std::vector<std::string> &columns);

// Reads `bytes`, a whole vertical file whose TAB-separated columns are
// `columns` (as parseVerticalColumns gives them), into `sink` in text order.
//
// A structure line is one that starts with '<', ends with '>' and holds no
// TAB; every other line that is not empty is a position, its values the
// columns in verticalLayers' order (columns past the named ones are passed
// over). "</s>" ends the sentence, and so does the end of the bytes;
// "<text ...>" and "<doc ...>" end it and start a document (told the sink
// just before its first position, if a position came before it in the file);
// "<g/>" makes the next position not `separated`, unless a sentence ends
// first (a sentence's first position is separated). Other structures ("<s>",
// "<p>", "</text>", ...) are passed over. A carriage return ending a line and
// a byte order mark opening the file are passed over.
//
// Returns the first error in the file, after which nothing more is told to
// the sink: a line that is not well-formed UTF-8, or a position with fewer
// columns than named (and, at line 0, columns that name no word). Nothing
// when the whole file was read.
//
// Progress reports Stage::Cutting as `before` plus the bytes read, of
// `total` (0: before plus the size of `bytes`), every few megabytes and at
// the end, reading the stop flag there too (Progress::Stopped).
std::optional<AnnotationError> readVertical(std::string_view bytes, const std::vector<std::string> &columns,
                                            AnnotationSink &sink, const Progress &progress = {},
                                            std::uint64_t before = 0, std::uint64_t total = 0);
// The same, the file's lines given by `lines` (a cursor over a file read a
// block at a time), which tells the progress.
std::optional<AnnotationError> readVertical(LineCursor &lines, const std::vector<std::string> &columns,
                                            AnnotationSink &sink);

// Vertical files as a reader among the others (see AnnotatedReader).
class VerticalReader : public AnnotatedReader {
public:
    std::string_view format() const override { return "vrt"; }
    std::span<const std::string_view> endings() const override;
    std::vector<std::string> layers(const std::vector<std::string> &columns) const override
    {
        return verticalLayers(columns);
    }
    std::optional<AnnotationError> read(std::string_view bytes, const std::vector<std::string> &columns,
                                        AnnotationSink &sink, const Progress &progress, std::uint64_t before,
                                        std::uint64_t total) const override
    {
        return readVertical(bytes, columns, sink, progress, before, total);
    }
    std::optional<AnnotationError> read(LineCursor &lines, const std::vector<std::string> &columns,
                                        AnnotationSink &sink) const override
    {
        return readVertical(lines, columns, sink);
    }
};
