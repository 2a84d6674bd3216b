// DocumentInputs: writes the document benchmark's inputs: a plain text as HTML pages, TEI files, Word, OpenDocument and e-book files, and PDFs.
#pragma once

#include <cstdint>
#include <string>

// The text is cut into paragraphs (a verse of the KJV: an indented line
// and the lines that carry it on; an unindented line after a blank is a
// heading), taken in order and from the start again when it runs out, and
// dealt to documents of about `documentBytes` of text each, formats in
// turn, until the documents hold the bytes asked for. Each format is
// written as its producers write it, at its smallest: an HTML page with a
// title, <h2> and <p>; a TEI file with its header, a <div> per chapter;
// a DOCX with [Content_Types].xml, word/document.xml (w:p, w:r, w:t) and
// docProps/core.xml; an ODT with its stored mimetype, content.xml (text:h,
// text:p) and meta.xml; an EPUB with its stored mimetype, container.xml,
// the package and an XHTML file per chapter. The containers are written by
// libzip, deflated as office programs deflate them.
class DocumentInputs {
public:
    // Reads `textPath` and writes html/, tei/, docx/, odt/ and epub/ into
    // `folder`, documents of about `documentBytes` of text each, `textBytes`
    // in all; false (and `reason`) when a file cannot be read or written.
    bool write(const std::string &textPath, const std::string &folder, std::uint64_t textBytes,
               std::uint64_t documentBytes, std::string &reason);

    // Writes `pages` pages of the same text as PDFs of `pagesPerFile` pages
    // into `folder` (created), by python3's reportlab when it is there.
    // False (and `reason`: what is missing) when it cannot.
    bool writePdfs(const std::string &textPath, const std::string &folder, int pages, int pagesPerFile,
                   std::string &reason);

    std::uint64_t documents = 0;   // documents written, all formats together
    std::uint64_t paragraphs = 0;  // paragraphs written, all formats together
    std::uint64_t diskBytes = 0;   // the documents' size on disk
};
