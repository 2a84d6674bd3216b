// DocumentReader: one document format's reader: a file's bytes in, its text and metadata out.
#pragma once

#include "ExtractedDocument.h"

#include <span>
#include <string_view>

// As Apache Tika's Parser: a reader names the endings it takes and turns a
// whole file into UTF-8 text, a line for each paragraph, heading, list item,
// table cell or line break, plus the metadata the file itself gives. The
// word rules then cut the text as they cut a .txt file. Readers keep no
// state between files and may run on several threads at once; none reads
// anything but the bytes given (no file, no network, no DTD).
class DocumentReader {
public:
    virtual ~DocumentReader() = default;

    // The format as the `format` field names it ("html", "xml").
    virtual std::string_view format() const = 0;
    // The endings of the names it takes (".html", ".htm"), compared byte for byte.
    virtual std::span<const std::string_view> endings() const = 0;
    // Reads `bytes`, a whole file. A file it cannot read gives an
    // ExtractedDocument whose `error` says why in one line; one it reads
    // only in part (ill-formed XML, recovered) gives its text and a warning.
    // The text and the fields are well-formed UTF-8 whatever the file held
    // (a byte that is not becomes U+FFFD).
    ExtractedDocument read(std::string_view bytes) const;

protected:
    // The format's own reading, which read() then makes well-formed.
    virtual ExtractedDocument readFile(std::string_view bytes) const = 0;
};
