// CorpusRequest: which corpus to open: a path, how much of it to read, and how to cut and compare its text.
#pragma once

#include "CorpusOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CorpusRequest {
    // A file or a folder of texts, documents or annotated files, as the file system's own bytes.
    std::string path;
    // Read at most this many bytes in all (0: no limit). Unset: a file is
    // read to its first 1,000,000 bytes, as the viewer reads it, and a
    // folder whole.
    std::optional<std::uint64_t> maxBytes;
    CorpusOptions options;
    // Build the index of the text read backwards at once, beside the forward
    // one (trees of what comes before a phrase need it); otherwise it is
    // built the first time a backward tree is asked for.
    bool backward = false;
    // A saved index is opened with the word and case options it was saved
    // with, whatever `options` say (request() then tells them), instead of
    // being refused for other ones.
    bool savedOptions = false;
    // When no file has a layer named as options.show says, the word layer
    // is shown instead of refusing the files, and request() tells it (for a
    // plain text, whose one layer is the word layer, always).
    bool wordWhenNoShownLayer = false;
    // The columns of vertical files (.vrt, .vert), as their names; empty
    // for the usual word, pos, lemma.
    std::vector<std::string> columns = {};
    // The conditions a document must meet to be kept ("year>=1850"; see
    // DocumentFilter), on its fields, "path" and "format"; empty keeps all.
    std::vector<std::string> where = {};

    bool operator==(const CorpusRequest &) const = default;
};
