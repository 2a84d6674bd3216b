// XmlReader: the text of an XML file (.xml) by libxml2: a TEI edition's text and header, or any other file's character data.
#pragma once

#include "DocumentReader.h"

// A TEI document (root TEI, TEI.2 or teiCorpus) gives the text of its
// <text> elements (front, body, back), a line for each paragraph, head,
// verse line, item, cell, <lb/> and the like; its <teiHeader> gives
// metadata, not text: "title" and "author" from titleStmt, "date" from
// publicationStmt or else sourceDesc (a date's when attribute, or its text).
// Any other XML gives all its character data, a blank between elements, a
// line for each element that holds others.
//
// Hostile input: no DTD or external entity is ever loaded (an entity that
// names a file or an address reads as nothing), the network is never used,
// and libxml2's bounds on entity expansion and nesting hold (a "billion
// laughs" file is refused). A file that is not well-formed is read as
// libxml2 recovers it, with a warning saying where the first fault is.
class XmlReader : public DocumentReader {
public:
    std::string_view format() const override { return "xml"; }
    std::span<const std::string_view> endings() const override;

protected:
    ExtractedDocument readFile(std::string_view bytes) const override;
};
