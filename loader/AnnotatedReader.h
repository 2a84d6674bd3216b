// AnnotatedReader: one annotated format's reader: a file's lines in, layered tokens (word, lemma, tags) out, as a DocumentReader gives text.
#pragma once

#include "AnnotationError.h"
#include "AnnotationSink.h"
#include "LineCursor.h"
#include "Progress.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The other kind of reader beside DocumentReader: its files are a token a
// line with annotations (CoNLL-U, vertical files), read into an
// AnnotationSink instead of into text for the word rules to cut. A reader
// keeps no state between files and may run on several threads at once.
class AnnotatedReader {
public:
    virtual ~AnnotatedReader() = default;

    // The format as the `format` field names it ("conllu", "vrt").
    virtual std::string_view format() const = 0;
    // The endings of the names it takes (".conllu"), compared byte for byte.
    virtual std::span<const std::string_view> endings() const = 0;
    // The layers of each position its files give, in the order the sink
    // gets their values; `columns` names a vertical file's columns.
    virtual std::vector<std::string> layers(const std::vector<std::string> &columns) const = 0;
    // Reads `bytes`, a whole file, into `sink`; the error when it is
    // ill-formed. `progress` hears bytes done of `total`, counting from `before`.
    virtual std::optional<AnnotationError> read(std::string_view bytes, const std::vector<std::string> &columns,
                                                AnnotationSink &sink, const Progress &progress, std::uint64_t before,
                                                std::uint64_t total) const = 0;
    // The same, a block of lines at a time: the file is never held whole.
    virtual std::optional<AnnotationError> read(LineCursor &lines, const std::vector<std::string> &columns,
                                                AnnotationSink &sink) const = 0;
};
