#include "DocumentInputs.h"

#include "ChildProcess.h"

#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

struct Paragraph {
    std::string text;
    bool heading = false;
};

// The text's paragraphs: blank lines end one, an indented line starts one
// (a verse), an unindented line carries the open one on or, after a blank,
// is a heading. White space is run together, as the readers give it.
std::vector<Paragraph> paragraphsOf(const std::string &text)
{
    std::vector<Paragraph> out;
    bool open = false;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + from, end - from);
        from = end + 1;
        const bool indented = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.empty()) {
            open = false;
            continue;
        }
        if (open && !indented) {
            out.back().text += ' ';
        } else {
            out.push_back({std::string(), !indented});
            open = true;
        }
        // Runs of blanks inside the line become one.
        for (std::size_t i = 0; i < line.size(); ++i) {
            if ((line[i] == ' ' || line[i] == '\t') && !out.back().text.empty() && out.back().text.back() == ' ')
                continue;
            out.back().text += line[i] == '\t' ? ' ' : line[i];
        }
    }
    return out;
}

// `text` with the characters that markup gives a meaning escaped.
std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

bool writeFile(const std::string &path, const std::string &bytes, std::string &reason)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) {
        reason = path + ": cannot be written";
        return false;
    }
    return true;
}

struct Member {
    std::string name;
    std::string bytes;
    bool stored = false;  // the mimetype of ODT and EPUB: first and not deflated
};

bool writeZip(const std::string &path, const std::vector<Member> &members, std::string &reason)
{
    int error = 0;
    zip_t *zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) {
        reason = path + ": libzip cannot create it";
        return false;
    }
    for (const Member &member : members) {
        // libzip reads the bytes when the archive is closed; the members outlive that.
        zip_source_t *source = zip_source_buffer(zip, member.bytes.data(), member.bytes.size(), 0);
        const zip_int64_t index = source ? zip_file_add(zip, member.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            reason = path + ": " + zip_strerror(zip);
            zip_discard(zip);
            return false;
        }
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), member.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 0);
    }
    if (zip_close(zip) != 0) {
        reason = path + ": " + zip_strerror(zip);
        zip_discard(zip);
        return false;
    }
    return true;
}

// One document's paragraphs, with its title.
struct Document {
    std::string title;
    std::vector<const Paragraph *> paragraphs;
};

std::string html(const Document &document)
{
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
                      + escaped(document.title) + "</title>\n<meta name=\"author\" content=\"The translators\">\n"
                      + "</head>\n<body>\n";
    for (const Paragraph *paragraph : document.paragraphs)
        out += (paragraph->heading ? "<h2>" : "<p>") + escaped(paragraph->text)
               + (paragraph->heading ? "</h2>\n" : "</p>\n");
    return out + "</body>\n</html>\n";
}

std::string tei(const Document &document)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TEI xmlns=\"http://www.tei-c.org/ns/1.0\">\n"
                      "<teiHeader><fileDesc><titleStmt><title>"
                      + escaped(document.title)
                      + "</title><author>The translators</author></titleStmt><publicationStmt><date "
                        "when=\"1611\">1611</date></publicationStmt><sourceDesc><p>The King James Version</p>"
                        "</sourceDesc></fileDesc></teiHeader>\n<text><body>\n<div>\n";
    bool first = true;
    for (const Paragraph *paragraph : document.paragraphs) {
        if (paragraph->heading) {
            if (!first)
                out += "</div>\n<div>\n";
            out += "<head>" + escaped(paragraph->text) + "</head>\n";
        } else {
            out += "<p>" + escaped(paragraph->text) + "</p>\n";
        }
        first = false;
    }
    return out + "</div>\n</body></text>\n</TEI>\n";
}

bool docx(const Document &document, const std::string &path, std::string &reason)
{
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document "
                       "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";
    for (const Paragraph *paragraph : document.paragraphs) {
        body += paragraph->heading ? "<w:p><w:pPr><w:pStyle w:val=\"Heading2\"/></w:pPr><w:r><w:t xml:space=\"preserve\">"
                                   : "<w:p><w:r><w:t xml:space=\"preserve\">";
        body += escaped(paragraph->text) + "</w:t></w:r></w:p>";
    }
    body += "</w:body></w:document>";
    const std::vector<Member> members{
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
         "ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
         "<Override PartName=\"/docProps/core.xml\" "
         "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/></Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"word/document.xml\"/><Relationship Id=\"rId2\" "
         "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" "
         "Target=\"docProps/core.xml\"/></Relationships>"},
        {"word/document.xml", std::move(body)},
        {"docProps/core.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<cp:coreProperties "
         "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\"><dc:title>"
             + escaped(document.title)
             + "</dc:title><dc:creator>The translators</dc:creator><dcterms:created>1611-01-01T00:00:00Z"
               "</dcterms:created></cp:coreProperties>"},
    };
    return writeZip(path, members, reason);
}

bool odt(const Document &document, const std::string &path, std::string &reason)
{
    std::string content = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
                          "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\">"
                          "<office:body><office:text>";
    for (const Paragraph *paragraph : document.paragraphs) {
        content += paragraph->heading ? "<text:h text:outline-level=\"2\">" : "<text:p>";
        content += escaped(paragraph->text) + (paragraph->heading ? "</text:h>" : "</text:p>");
    }
    content += "</office:text></office:body></office:document-content>";
    const std::vector<Member> members{
        {"mimetype", "application/vnd.oasis.opendocument.text", true},
        {"META-INF/manifest.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest "
         "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">"
         "<manifest:file-entry manifest:full-path=\"/\" "
         "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/><manifest:file-entry "
         "manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/><manifest:file-entry "
         "manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/></manifest:manifest>"},
        {"content.xml", std::move(content)},
        {"meta.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
         "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" office:version=\"1.3\"><office:meta>"
         "<dc:title>"
             + escaped(document.title)
             + "</dc:title><meta:initial-creator>The translators</meta:initial-creator><meta:creation-date>"
               "1611-01-01T00:00:00</meta:creation-date></office:meta></office:document-meta>"},
    };
    return writeZip(path, members, reason);
}

// An e-book's chapters: a new XHTML file at a heading once the one open holds this much.
constexpr std::size_t epubChapterBytes = 32 << 10;

bool epub(const Document &document, const std::string &path, std::string &reason)
{
    std::vector<std::string> chapters;
    for (const Paragraph *paragraph : document.paragraphs) {
        if (chapters.empty() || (paragraph->heading && chapters.back().size() >= epubChapterBytes))
            chapters.emplace_back();
        chapters.back() += (paragraph->heading ? "<h2>" : "<p>") + escaped(paragraph->text)
                           + (paragraph->heading ? "</h2>\n" : "</p>\n");
    }
    std::vector<Member> members{
        {"mimetype", "application/epub+zip", true},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<container version=\"1.0\" "
         "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
         "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles></container>"},
    };
    std::string manifest, spine;
    for (std::size_t k = 0; k < chapters.size(); ++k) {
        const std::string id = "ch" + std::to_string(k + 1);
        manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"" + id + "\"/>";
    }
    members.push_back(
        {"OEBPS/content.opf",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package xmlns=\"http://www.idpf.org/2007/opf\" "
         "version=\"3.0\" unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
         "<dc:identifier id=\"id\">morvanet-bench</dc:identifier><dc:title>"
             + escaped(document.title)
             + "</dc:title><dc:creator>The translators</dc:creator><dc:date>1611</dc:date><dc:language>en"
               "</dc:language></metadata><manifest>"
             + manifest + "</manifest><spine>" + spine + "</spine></package>"});
    for (std::size_t k = 0; k < chapters.size(); ++k)
        members.push_back({"OEBPS/ch" + std::to_string(k + 1) + ".xhtml",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
                           "<head><title>"
                               + escaped(document.title) + "</title></head><body>\n" + chapters[k]
                               + "</body></html>\n"});
    return writeZip(path, members, reason);
}

bool readAll(const std::string &path, std::string &text, std::string &reason)
{
    std::ifstream in(path, std::ios::binary);
    if (in)
        text.assign(std::istreambuf_iterator<char>(in), {});
    if (!in || text.empty()) {
        reason = path + ": cannot be read, or empty";
        return false;
    }
    return true;
}

}  // namespace

bool DocumentInputs::write(const std::string &textPath, const std::string &folder, std::uint64_t textBytes,
                           std::uint64_t documentBytes, std::string &reason)
{
    std::string text;
    if (!readAll(textPath, text, reason))
        return false;
    const std::vector<Paragraph> all = paragraphsOf(text);
    if (all.empty()) {
        reason = textPath + ": holds no paragraph";
        return false;
    }
    const char *formats[] = {"html", "tei", "docx", "odt", "epub"};
    for (const char *format : formats)
        std::filesystem::create_directories(folder + "/" + format);
    std::size_t next = 0;
    std::uint64_t written = 0;
    while (written < textBytes) {
        Document document;
        std::uint64_t held = 0;
        while (held < documentBytes && written + held < textBytes) {
            const Paragraph &paragraph = all[next];
            next = (next + 1) % all.size();
            document.paragraphs.push_back(&paragraph);
            held += paragraph.text.size() + 1;  // a line feed after each
        }
        const char *format = formats[documents % 5];
        char name[32];
        std::snprintf(name, sizeof name, "%04llu.", static_cast<unsigned long long>(documents + 1));
        const std::string path = folder + "/" + format + "/" + name + (format == std::string("tei") ? "xml" : format);
        document.title = "Document " + std::to_string(documents + 1);
        const std::string_view kind = format;
        const bool made = kind == "html"  ? writeFile(path, html(document), reason)
                          : kind == "tei" ? writeFile(path, tei(document), reason)
                          : kind == "docx" ? docx(document, path, reason)
                          : kind == "odt"  ? odt(document, path, reason)
                                           : epub(document, path, reason);
        if (!made)
            return false;
        diskBytes += std::filesystem::file_size(path);
        paragraphs += document.paragraphs.size();
        written += held;
        ++documents;
    }
    return true;
}

bool DocumentInputs::writePdfs(const std::string &textPath, const std::string &folder, int pages, int pagesPerFile,
                               std::string &reason)
{
    const std::string python = "/usr/bin/python3";
    std::string failure;
    runProcess({python, "-c", "import reportlab"}, 60, failure);
    if (!failure.empty()) {
        reason = "no python3 with reportlab (" + python + " -c 'import reportlab' " + failure + ")";
        return false;
    }
    std::filesystem::create_directories(folder);
    // The text's lines in order, 50 to a page, from the start again when they run out.
    const char *script = R"(import sys
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas
text, out, pages, per = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
lines = [l.strip() for l in open(text, encoding='utf-8', errors='replace') if l.strip()]
k = 0
for f in range((pages + per - 1) // per):
    c = canvas.Canvas('%s/%04d.pdf' % (out, f + 1), pagesize=A4, invariant=1)
    c.setTitle('Document %d' % (f + 1))
    c.setAuthor('The translators')
    for p in range(min(per, pages - f * per)):
        c.setFont('Helvetica', 10)
        y = 800
        for _ in range(50):
            c.drawString(50, y, lines[k % len(lines)])
            k += 1
            y -= 15
        c.showPage()
    c.save()
)";
    runProcess({python, "-c", script, textPath, folder, std::to_string(pages), std::to_string(pagesPerFile)}, 600,
               failure);
    if (!failure.empty()) {
        reason = "reportlab could not write the PDFs (" + failure + ")";
        return false;
    }
    return true;
}
