// ConlluReader: reads a CoNLL-U file's words, their annotations, sentences and documents into an AnnotationSink.
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

// The layers each position of a CoNLL-U file carries, in the order the sink
// gets their values: "word" (FORM), "lemma" (LEMMA), "pos" (UPOS), "xpos"
// (XPOS), "feats" (FEATS), "deprel" (DEPREL).
std::vector<std::string> conlluLayers();

// Reads `bytes`, a whole CoNLL-U file, into `sink`, in text order.
//
// Each word line (10 TAB-separated columns, an integer ID) is a position, its
// values the columns as written ("_" stays "_"). Multiword-token ranges
// ("1-2") and empty nodes ("1.1") are no positions. A blank line ends the
// sentence, and so does the end of the bytes. Comment lines ("#") are passed
// over, except "# newdoc" (alone or with " id = ..."), which ends the
// sentence and starts a document (told the sink just before its first
// position, if a position came before it in the file). A position is not
// `separated` when the word line before it in the sentence has
// "SpaceAfter=No" among its MISC items ('|'-separated), or when it follows
// the last word of a multiword token whose range line has it; a sentence's
// first position is. A carriage return ending a line and a byte order mark
// opening the file are passed over.
//
// Returns the first error in the file, after which nothing more is told to
// the sink: a line that is not well-formed UTF-8, a line that is none of the
// above and has other than 10 columns, or an ID that is not a number, a
// range or a decimal. Nothing when the whole file was read.
//
// Progress reports Stage::Cutting as `before` plus the bytes read, of
// `total` (0: before plus the size of `bytes`), every few megabytes and at
// the end, reading the stop flag there too (Progress::Stopped).
std::optional<AnnotationError> readConllu(std::string_view bytes, AnnotationSink &sink,
                                          const Progress &progress = {}, std::uint64_t before = 0,
                                          std::uint64_t total = 0);
// The same, the file's lines given by `lines` (a cursor over a file read a
// block at a time), which tells the progress.
std::optional<AnnotationError> readConllu(LineCursor &lines, AnnotationSink &sink);

// The CoNLL-U format as a reader among the others (see AnnotatedReader).
class ConlluReader : public AnnotatedReader {
public:
    std::string_view format() const override { return "conllu"; }
    std::span<const std::string_view> endings() const override;
    std::vector<std::string> layers(const std::vector<std::string> &) const override { return conlluLayers(); }
    std::optional<AnnotationError> read(std::string_view bytes, const std::vector<std::string> &, AnnotationSink &sink,
                                        const Progress &progress, std::uint64_t before,
                                        std::uint64_t total) const override
    {
        return readConllu(bytes, sink, progress, before, total);
    }
    std::optional<AnnotationError> read(LineCursor &lines, const std::vector<std::string> &,
                                        AnnotationSink &sink) const override
    {
        return readConllu(lines, sink);
    }
};
