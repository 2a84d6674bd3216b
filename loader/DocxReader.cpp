#include "DocxReader.h"

#include "OfficeText.h"
#include "TextCollector.h"
#include "XmlTreeWalk.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 1> docxEndings{".docx"};

}  // namespace

std::span<const std::string_view> DocxReader::endings() const
{
    return docxEndings;
}

ExtractedDocument DocxReader::readFile(std::string_view bytes) const
{
    ExtractedDocument out;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::open(bytes, out.error);
    if (!archive)
        return out;
    const std::unique_ptr<XmlDocument> body = readXmlMember(*archive, "word/document.xml", out);
    if (!body)
        return out;
    TextCollector text;
    walkXmlTree(body->root(), [&](xmlNode *node) {
        // Only w:t holds text: field codes (w:instrText) and the rest are not shown.
        if (node->type == XML_TEXT_NODE && node->content && isElement(node->parent, "t"))
            text.add(reinterpret_cast<const char *>(node->content));
        else if (isElement(node, "tab"))
            text.add(" ");
        else if (isElement(node, "br") || isElement(node, "cr"))
            text.endLine();
        return true;
    }, [&](xmlNode *node) {
        if (isElement(node, "p"))
            text.endLine();
    });
    out.text = text.take();
    if (archive->has("docProps/core.xml")) {
        ExtractedDocument properties;
        if (const std::unique_ptr<XmlDocument> core = readXmlMember(*archive, "docProps/core.xml", properties)) {
            addField(out, "title", core->root(), {"title"});
            addField(out, "author", core->root(), {"creator"});
            addField(out, "date", core->root(), {"created", "date"});
        }
    }
    return out;
}
