// PdfReader: a PDF's text, page by page in reading order, and its document information, by poppler.
#pragma once

#include "DocumentReader.h"

// Each page's text as poppler reads it in reading order (a line of the page
// a line), the pages in order. Title, author and creation date ("date",
// YYYY-MM-DD when the file writes it as PDF dates are written) from the
// document information. An encrypted file is refused: it needs a password.
class PdfReader : public DocumentReader {
public:
    std::string_view format() const override { return "pdf"; }
    std::span<const std::string_view> endings() const override;

protected:
    ExtractedDocument readFile(std::string_view bytes) const override;
};
