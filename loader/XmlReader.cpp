#include "XmlReader.h"

#include "TextCollector.h"
#include "XmlDocument.h"
#include "XmlTreeWalk.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace {

constexpr std::array<std::string_view, 1> xmlEndings{".xml"};

bool isAny(const xmlNode *node, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (isElement(node, name))
            return true;
    }
    return false;
}

// The TEI elements that stand on lines of their own, sorted for a binary
// search: each element is looked up as it is entered and as it is left,
// where comparing its name with each in turn took a tenth of the reading.
constexpr std::array<std::string_view, 36> teiBlocks{
    "ab",    "argument", "byline", "cb",      "cell",      "closer",  "dateline", "div",   "div1",
    "div2",  "div3",     "div4",   "docTitle", "epigraph", "figure",  "head",     "item",  "l",
    "label", "lb",       "lg",     "list",    "note",      "opener",  "p",        "pb",    "quote",
    "row",   "salute",   "signed", "sp",      "speaker",   "stage",   "table",    "titlePart", "trailer"};
static_assert(std::is_sorted(teiBlocks.begin(), teiBlocks.end()));

// A TEI element that stands on a line of its own.
bool teiBlock(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE
           && std::binary_search(teiBlocks.begin(), teiBlocks.end(),
                                 std::string_view(reinterpret_cast<const char *>(node->name)));
}

const xmlNode *child(const xmlNode *node, const char *name)
{
    for (const xmlNode *c = node ? node->children : nullptr; c; c = c->next) {
        if (isElement(c, name))
            return c;
    }
    return nullptr;
}

std::string dateOf(const xmlNode *date)
{
    if (!date)
        return {};
    std::string when = attributeOf(date, "when");
    return when.empty() ? textOf(date) : when;
}

void readTeiHeader(const xmlNode *header, ExtractedDocument &out)
{
    const xmlNode *fileDesc = child(header, "fileDesc");
    const xmlNode *titleStmt = child(fileDesc, "titleStmt");
    if (const xmlNode *title = child(titleStmt, "title"))
        out.fields.emplace_back("title", textOf(title));
    std::string authors;
    for (const xmlNode *c = titleStmt ? titleStmt->children : nullptr; c; c = c->next) {
        if (isElement(c, "author"))
            authors += (authors.empty() ? "" : "; ") + textOf(c);
    }
    if (!authors.empty())
        out.fields.emplace_back("author", authors);
    std::string date = dateOf(findBelow(child(fileDesc, "publicationStmt"), "date"));
    if (date.empty())
        date = dateOf(findBelow(child(fileDesc, "sourceDesc"), "date"));
    if (!date.empty())
        out.fields.emplace_back("date", date);
}

bool isText(const xmlNode *node)
{
    return (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content;
}

}  // namespace

std::span<const std::string_view> XmlReader::endings() const
{
    return xmlEndings;
}

ExtractedDocument XmlReader::readFile(std::string_view bytes) const
{
    ExtractedDocument out;
    const XmlDocument document(bytes);
    xmlNode *root = document.root();
    if (!root) {
        out.error = "not well-formed XML" + (document.fault().empty() ? std::string() : " (" + document.fault() + ")");
        return out;
    }
    if (!document.wellFormed())
        out.warnings.push_back("not well-formed XML, read as far as libxml2 recovers it (" + document.fault() + ")");

    TextCollector collected;
    if (isAny(root, {"TEI", "TEI.2", "teiCorpus"})) {
        if (const xmlNode *header = findBelow(root, "teiHeader"))
            readTeiHeader(header, out);
        int inText = 0;  // inside a <text> (and no header)
        const auto enter = [&](xmlNode *node) {
            if (isElement(node, "teiHeader"))
                return false;
            if (isElement(node, "text"))
                ++inText;
            if (inText > 0 && teiBlock(node))
                collected.endLine();
            if (inText > 0 && isText(node))
                collected.add(reinterpret_cast<const char *>(node->content));
            return true;
        };
        const auto leave = [&](xmlNode *node) {
            if (inText > 0 && teiBlock(node))
                collected.endLine();
            if (isElement(node, "text"))
                --inText;
        };
        walkXmlTree(root, enter, leave);
    } else {
        const auto enter = [&](xmlNode *node) {
            if (node->type == XML_ELEMENT_NODE)
                collected.add(" ");
            else if (isText(node))
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
