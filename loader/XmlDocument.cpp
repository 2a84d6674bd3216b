#include "XmlDocument.h"

#include "TextCollector.h"
#include "XmlTreeWalk.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstring>
#include <mutex>

namespace {

xmlParserInputPtr refuseExternal(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

std::string oneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    for (char &c : text)
        c = c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    return text;
}

}  // namespace

void prepareXmlParser()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternal);
    });
}

XmlDocument::XmlDocument(std::string_view bytes)
{
    prepareXmlParser();
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        fault_ = "too large for the XML parser (2 GB at most)";
        return;
    }
    xmlParserCtxt *context = xmlNewParserCtxt();
    if (!context) {
        fault_ = "not enough memory for the XML parser";
        return;
    }
    constexpr int options = XML_PARSE_RECOVER | XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR
                            | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA | XML_PARSE_COMPACT;
    doc_ = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options);
    wellFormed_ = context->wellFormed != 0 && doc_ != nullptr;
    if (const xmlError *error = xmlCtxtGetLastError(context); error && error->message)
        fault_ = "line " + std::to_string(error->line) + ": " + oneLine(error->message);
    xmlFreeParserCtxt(context);
}

XmlDocument::~XmlDocument()
{
    if (doc_)
        xmlFreeDoc(doc_);
}

xmlNode *XmlDocument::root() const
{
    return doc_ ? xmlDocGetRootElement(doc_) : nullptr;
}

std::string textOf(const xmlNode *node)
{
    TextCollector collected;
    walkXmlTree(const_cast<xmlNode *>(node), [&](xmlNode *n) {
        if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content)
            collected.add(reinterpret_cast<const char *>(n->content));
        return true;
    }, [](xmlNode *) {});
    std::string out = collected.take();
    if (!out.empty())
        out.pop_back();
    return out;
}

std::string attributeOf(const xmlNode *node, const char *name)
{
    for (const xmlAttr *attribute = node ? node->properties : nullptr; attribute; attribute = attribute->next) {
        if (std::strcmp(reinterpret_cast<const char *>(attribute->name), name) != 0)
            continue;
        xmlChar *value = xmlNodeListGetString(node->doc, attribute->children, 1);
        std::string out = value ? reinterpret_cast<const char *>(value) : "";
        xmlFree(value);
        return out;
    }
    return {};
}

bool isElement(const xmlNode *node, const char *name)
{
    return node && node->type == XML_ELEMENT_NODE
           && std::strcmp(reinterpret_cast<const char *>(node->name), name) == 0;
}

const xmlNode *findBelow(const xmlNode *node, const char *name)
{
    const xmlNode *found = nullptr;
    if (!node)
        return nullptr;
    walkXmlTree(const_cast<xmlNode *>(node), [&](xmlNode *n) {
        if (!found && n != node && isElement(n, name))
            found = n;
        return !found;
    }, [](xmlNode *) {});
    return found;
}
