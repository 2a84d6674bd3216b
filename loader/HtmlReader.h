// HtmlReader: the visible text of an HTML page (.html, .htm, .xhtml) and its title, by libxml2's HTML parser.
#pragma once

#include "DocumentReader.h"

// The text of the body as a browser shows it: script, style, head and
// template left out, entities decoded, a line for each block (paragraph,
// heading, list item, table cell, <br>, ...), <pre> as written. The
// character set is the page's own (a byte order mark or <meta charset>),
// else UTF-8. The title is <title>'s text, the author and date those of
// <meta name="author"> and <meta name="date"> (or dcterms.date, DC.date,
// citation_date). Nothing is fetched: no DTD, no network.
class HtmlReader : public DocumentReader {
public:
    std::string_view format() const override { return "html"; }
    std::span<const std::string_view> endings() const override;

protected:
    ExtractedDocument readFile(std::string_view bytes) const override;
};
