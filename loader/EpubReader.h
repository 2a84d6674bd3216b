// EpubReader: an e-book's chapters in reading order (.epub: container, package, spine) read as web pages, and its metadata.
#pragma once

#include "DocumentReader.h"

// META-INF/container.xml names the package (OPF); its spine lists the
// chapters, each read as HtmlReader reads a page, one after another. Title,
// author (dc:creator) and date (dc:date) from the package's metadata.
class EpubReader : public DocumentReader {
public:
    std::string_view format() const override { return "epub"; }
    std::span<const std::string_view> endings() const override;

protected:
    ExtractedDocument readFile(std::string_view bytes) const override;
};
