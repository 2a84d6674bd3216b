// OdtReader: an OpenDocument text's paragraphs and headings (.odt: content.xml) and its metadata (meta.xml).
#pragma once

#include "DocumentReader.h"

// A line per paragraph or heading (text:p, text:h); text:s stands for
// blanks, text:tab for a blank, text:line-break ends a line. Title, author
// (dc:creator, else meta:initial-creator) and date (dc:date, else
// meta:creation-date) from meta.xml.
class OdtReader : public DocumentReader {
public:
    std::string_view format() const override { return "odt"; }
    std::span<const std::string_view> endings() const override;

protected:
    ExtractedDocument readFile(std::string_view bytes) const override;
};
