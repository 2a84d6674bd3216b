#include "XmlReader.h"

#include "TextCollector.h"
#include "XmlTreeWalk.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr std::array<std::string_view, 1> xmlEndings{".xml"};

bool is(const xmlNode *node, const char *name)
{
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char *>(node->name), name) == 0;
}

bool isAny(const xmlNode *node, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (is(node, name))
            return true;
    }
    return false;
}

// A TEI element that stands on a line of its own.
bool teiBlock(const xmlNode *node)
{
    return isAny(node, {"p",     "head",  "l",   "lb",     "item", "cell",  "row",   "div",  "div1", "div2",
                        "div3",  "div4",  "lg",  "sp",     "speaker", "stage", "list", "table", "ab",  "note",
                        "quote", "titlePart", "docTitle", "byline", "closer", "opener", "salute", "signed",
                        "dateline", "trailer", "argument", "epigraph", "figure", "label", "pb", "cb"});
}

// Every external entity or DTD a document names reads as nothing: no file
// is opened and no address fetched for a document's sake.
xmlParserInputPtr refuseExternal(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

void quiet(void *, const char *, ...) {}

struct ContextDeleter {
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};
struct DocumentDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};

std::string text(const xmlNode *node)
{
    std::string out;
    TextCollector collected;
    const auto enter = [&](xmlNode *n) {
        if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content)
            collected.add(reinterpret_cast<const char *>(n->content));
        return true;
    };
    walkXmlTree(const_cast<xmlNode *>(node), enter, [](xmlNode *) {});
    out = collected.take();
    if (!out.empty())
        out.pop_back();
    return out;
}

const xmlNode *child(const xmlNode *node, const char *name)
{
    for (const xmlNode *c = node ? node->children : nullptr; c; c = c->next) {
        if (is(c, name))
            return c;
    }
    return nullptr;
}

// The first element named `name` below `node`, in document order.
const xmlNode *below(const xmlNode *node, const char *name)
{
    const xmlNode *found = nullptr;
    if (!node)
        return nullptr;
    walkXmlTree(const_cast<xmlNode *>(node), [&](xmlNode *n) {
        if (!found && n != node && is(n, name))
            found = n;
        return !found;
    }, [](xmlNode *) {});
    return found;
}

std::string dateOf(const xmlNode *date)
{
    if (!date)
        return {};
    if (xmlChar *when = xmlGetProp(const_cast<xmlNode *>(date), reinterpret_cast<const xmlChar *>("when"))) {
        std::string value(reinterpret_cast<const char *>(when));
        xmlFree(when);
        if (!value.empty())
            return value;
    }
    return text(date);
}

void readTeiHeader(const xmlNode *header, ExtractedDocument &out)
{
    const xmlNode *fileDesc = child(header, "fileDesc");
    const xmlNode *titleStmt = child(fileDesc, "titleStmt");
    if (const xmlNode *title = child(titleStmt, "title"))
        out.fields.emplace_back("title", text(title));
    std::string authors;
    for (const xmlNode *c = titleStmt ? titleStmt->children : nullptr; c; c = c->next) {
        if (is(c, "author"))
            authors += (authors.empty() ? "" : "; ") + text(c);
    }
    if (!authors.empty())
        out.fields.emplace_back("author", authors);
    std::string date = dateOf(below(child(fileDesc, "publicationStmt"), "date"));
    if (date.empty())
        date = dateOf(below(child(fileDesc, "sourceDesc"), "date"));
    if (!date.empty())
        out.fields.emplace_back("date", date);
}

}  // namespace

std::span<const std::string_view> XmlReader::endings() const
{
    return xmlEndings;
}

ExtractedDocument XmlReader::read(std::string_view bytes) const
{
    ExtractedDocument out;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        out.error = "too large for the XML parser (2 GB at most)";
        return out;
    }
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternal);
    });
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context) {
        out.error = "not enough memory for the XML parser";
        return out;
    }
    xmlSetGenericErrorFunc(nullptr, quiet);
    // Entities are substituted by libxml2 itself, within its bounds; no DTD
    // is loaded, so an external one is never fetched.
    constexpr int options = XML_PARSE_RECOVER | XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR
                            | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA | XML_PARSE_COMPACT;
    std::unique_ptr<xmlDoc, DocumentDeleter> doc(
        xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options));
    const xmlError *fault = xmlCtxtGetLastError(context.get());
    const std::string where = fault && fault->message
                                  ? "line " + std::to_string(fault->line) + ": " + std::string(fault->message)
                                  : std::string();
    const auto oneLine = [](std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
            s.pop_back();
        for (char &c : s)
            c = c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
        return s;
    };
    xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root) {
        out.error = "not well-formed XML" + (where.empty() ? std::string() : " (" + oneLine(where) + ")");
        return out;
    }
    if (!context->wellFormed)
        out.warnings.push_back("not well-formed XML, read as far as libxml2 recovers it ("
                               + oneLine(where) + ")");

    TextCollector collected;
    const bool tei = is(root, "TEI") || is(root, "TEI.2") || is(root, "teiCorpus");
    if (tei) {
        if (const xmlNode *header = below(root, "teiHeader"))
            readTeiHeader(header, out);
        int inText = 0;  // inside a <text> (and no header)
        const auto enter = [&](xmlNode *node) {
            if (is(node, "teiHeader"))
                return false;
            if (is(node, "text"))
                ++inText;
            if (inText > 0 && teiBlock(node))
                collected.endLine();
            if (inText > 0 && (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content)
                collected.add(reinterpret_cast<const char *>(node->content));
            return true;
        };
        const auto leave = [&](xmlNode *node) {
            if (inText > 0 && teiBlock(node))
                collected.endLine();
            if (is(node, "text"))
                --inText;
        };
        walkXmlTree(root, enter, leave);
    } else {
        const auto enter = [&](xmlNode *node) {
            if (node->type == XML_ELEMENT_NODE)
                collected.add(" ");
            else if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content)
                collected.add(reinterpret_cast<const char *>(node->content));
            return true;
        };
        const auto leave = [&](xmlNode *node) {
            if (node->type != XML_ELEMENT_NODE)
                return;
            bool holdsElements = false;
            for (const xmlNode *c = node->children; c && !holdsElements; c = c->next)
                holdsElements = c->type == XML_ELEMENT_NODE;
            if (holdsElements)
                collected.endLine();
            else
                collected.add(" ");
        };
        walkXmlTree(root, enter, leave);
    }
    out.text = collected.take();
    return out;
}
