// DocxReader: a Word document's paragraphs (.docx: word/document.xml) and its metadata (docProps/core.xml).
#pragma once

#include "DocumentReader.h"

// A line per paragraph (w:p), in order; a tab (w:tab) is a blank and a
// break (w:br, w:cr) ends a line. Title, author (dc:creator) and date
// (dcterms:created) from the core properties.
class DocxReader : public DocumentReader {
public:
    std::string_view format() const override { return "docx"; }
    std::span<const std::string_view> endings() const override;

protected:
    ExtractedDocument readFile(std::string_view bytes) const override;
};
