#include "OdtReader.h"

#include "OfficeText.h"
#include "TextCollector.h"
#include "XmlTreeWalk.h"

#include <array>
#include <charconv>

namespace {

constexpr std::array<std::string_view, 1> odtEndings{".odt"};

}  // namespace

std::span<const std::string_view> OdtReader::endings() const
{
    return odtEndings;
}

ExtractedDocument OdtReader::readFile(std::string_view bytes) const
{
    ExtractedDocument out;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::open(bytes, out.error);
    if (!archive)
        return out;
    const std::unique_ptr<XmlDocument> content = readXmlMember(*archive, "content.xml", out);
    if (!content)
        return out;
    TextCollector text;
    // Only the body: styles and fonts declared before it hold no text.
    const xmlNode *body = findBelow(content->root(), "body");
    if (body) {
        walkXmlTree(const_cast<xmlNode *>(body), [&](xmlNode *node) {
            if (node->type == XML_TEXT_NODE && node->content)
                text.add(reinterpret_cast<const char *>(node->content));
            else if (isElement(node, "s") || isElement(node, "tab"))
                text.add(" ");  // blanks run together as a page shows them
            else if (isElement(node, "line-break"))
                text.endLine();
            else if (isElement(node, "p") || isElement(node, "h"))
                text.endLine();
            return true;
        }, [&](xmlNode *node) {
            if (isElement(node, "p") || isElement(node, "h"))
                text.endLine();
        });
    }
    out.text = text.take();
    if (archive->has("meta.xml")) {
        ExtractedDocument properties;
        if (const std::unique_ptr<XmlDocument> meta = readXmlMember(*archive, "meta.xml", properties)) {
            addField(out, "title", meta->root(), {"title"});
            addField(out, "author", meta->root(), {"creator", "initial-creator"});
            addField(out, "date", meta->root(), {"date", "creation-date"});
        }
    }
    return out;
}
